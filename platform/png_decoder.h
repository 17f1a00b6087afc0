#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>

namespace platform {

/// Decodes the PNG pictures screenshots are made of, 8-bit RGB or RGBA without interlacing, colour profile or
/// text, several times faster than Qt's reader, which inflates with zlib. The QImage it gives is the one Qt's
/// reader gives: format, pixels and resolution. A null QImage for every other PNG and for anything malformed,
/// which is Qt's to decode or to refuse.
///
/// The picture goes in room from `allocate`, which may give a null QImage to refuse the size.
[[nodiscard]] QImage decodeCommonPng(QByteArrayView bytes, QImage (*allocate)(QSize, QImage::Format));

} // namespace platform
