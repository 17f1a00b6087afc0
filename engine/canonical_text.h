#pragma once

#include <QString>

/// `text` in canonical composed form (NFC), in time proportional to its length; it shares `text`'s storage
/// when `text` is in that form already. Any thread.
[[nodiscard]] QString canonicallyComposed(const QString& text);
