#pragma once

#include <QString>

/// The beginning of `text` that one line of the panel can show, with each line feed replaced by a space:
/// what a row paints and what a screen reader reads of it. Any thread.
[[nodiscard]] QString previewText(const QString& text);
