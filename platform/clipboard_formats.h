#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringConverter>

#include <array>
#include <optional>
#include <vector>

namespace platform {

/// Password managers offer it beside a secret they copy, asking clipboard histories to keep it out.
inline constexpr auto passwordManagerHint = "x-kde-passwordManagerHint";
inline constexpr auto pngMimeType = "image/png";

/// A form in which owners offer text, and its encoding.
struct TextForm
{
    const char* target;
    QStringConverter::Encoding encoding;
};

/// In order of preference. Plain "text/plain" is the locale's encoding, UTF-8 on any current system.
inline constexpr std::array<TextForm, 4> textForms = {{
    {"UTF8_STRING", QStringConverter::Utf8},
    {"text/plain;charset=utf-8", QStringConverter::Utf8},
    {"STRING", QStringConverter::Latin1},
    {"text/plain", QStringConverter::Utf8},
}};

/// `bytes` decoded into room that may be backed by huge pages; invalid UTF-8 becomes U+FFFD, never a failure.
[[nodiscard]] QString decodeText(QByteArrayView bytes, QStringConverter::Encoding encoding);

/// The MIME type under which Qt reads pictures in `format` ("png", "jpeg", ...), if any.
[[nodiscard]] QString mimeTypeForFormat(const QByteArray& format);

/// The picture form to ask for: PNG, the lossless form every application writes, else the first picture
/// format offered that Qt reads.
[[nodiscard]] std::optional<QByteArray> chooseImageTarget(const std::vector<QByteArray>& targets);

} // namespace platform
