#pragma once

#include <QString>

/// Text of about `size` UTF-16 units that looks like prose, with accented letters and line feeds, distinct per
/// `seed` from its first line on and the same in every run. It holds no 'q', for searches that find nothing.
[[nodiscard]] QString prose(qsizetype size, int seed);
