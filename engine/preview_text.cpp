#include "engine/preview_text.h"

#include <algorithm>

namespace {

// One line of the row is at most a few hundred pixels wide, and no visible character is narrower than a
// pixel: laying out more than this would only be cut away, and a long text would be shaped on every paint.
constexpr qsizetype previewLength = 1024;

} // namespace

QString previewText(const QString& text)
{
    auto length = std::min(text.size(), previewLength);
    if (length < text.size() && text.at(length - 1).isHighSurrogate()) {
        --length;
    }
    auto preview = text.first(length);
    preview.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return preview;
}
