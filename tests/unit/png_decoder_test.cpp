#include "platform/png_decoder.h"

#include "platform/image.h"

#include <QColorSpace>
#include <QRandomGenerator>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <tuple>

#include <libdeflate.h>

namespace {

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

quint32 crcOf(QByteArrayView nameAndData)
{
    return libdeflate_crc32(0, nameAndData.data(), std::size_t(nameAndData.size()));
}

QByteArray chunk(const char* name, const QByteArray& data)
{
    const auto nameAndData = QByteArray(name, 4) + data;
    return bigEndian(quint32(data.size())) + nameAndData + bigEndian(crcOf(nameAndData));
}

QByteArray zlibStream(const QByteArray& bytes)
{
    const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(6), &libdeflate_free_compressor);
    QByteArray stream(qsizetype(libdeflate_zlib_compress_bound(compressor.get(), std::size_t(bytes.size()))), '\0');
    stream.resize(qsizetype(libdeflate_zlib_compress(compressor.get(), bytes.data(), std::size_t(bytes.size()),
                                                     stream.data(), std::size_t(stream.size()))));
    return stream;
}

/// A PNG to be encoded, 7 x 6 RGB by default, each row after filter types 0 to 4 in turn. Its samples differ by
/// little from their neighbours, as in screenshots, which gives the Paeth filter ties to break.
struct Png
{
    quint32 width = 7;
    quint32 height = 6;
    uchar colourType = 2;
    uchar bitDepth = 8;
    uchar interlace = 0;
    QByteArray beforePixels;
    QByteArray afterPixels;
    std::function<void(QByteArray& rows)> changeRows = [](QByteArray&) {};

    [[nodiscard]] QByteArray encoded() const
    {
        const int samples = colourType == 6 ? 4 : colourType == 2 ? 3 : 1;
        QRandomGenerator random(width * 31 + colourType);
        QByteArray rows;
        for (quint32 y = 0; y < height; ++y) {
            rows += char(y % 5);
            for (quint32 i = 0; i < width * samples * bitDepth / 8; ++i) {
                rows += char(random.bounded(-1, 2));
            }
        }
        changeRows(rows);
        const auto stream = zlibStream(rows);
        const auto header =
            bigEndian(width) + bigEndian(height) + char(bitDepth) + char(colourType) + '\0' + '\0' + char(interlace);
        // Two chunks of pixels, which the decoder must join.
        return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + beforePixels +
               chunk("IDAT", stream.first(stream.size() / 2)) + chunk("IDAT", stream.sliced(stream.size() / 2)) +
               afterPixels + chunk("IEND", {});
    }
};

QByteArray png(const std::function<void(Png&)>& change)
{
    Png picture;
    change(picture);
    return picture.encoded();
}

// Room for pictures of up to 4 M pixels, as damage to a header can ask for terabytes.
QImage plainImage(QSize size, QImage::Format format)
{
    return qint64(size.width()) * size.height() <= 1 << 22 ? QImage(size, format) : QImage();
}

void expectSamePicture(const QImage& actual, const QImage& expected)
{
    ASSERT_EQ(actual.isNull(), expected.isNull());
    ASSERT_EQ(actual.size(), expected.size());
    EXPECT_EQ(actual.format(), expected.format());
    EXPECT_EQ(actual.dotsPerMeterX(), expected.dotsPerMeterX());
    EXPECT_EQ(actual.dotsPerMeterY(), expected.dotsPerMeterY());
    EXPECT_EQ(actual.colorSpace(), expected.colorSpace());
    EXPECT_EQ(actual.textKeys(), expected.textKeys());
    for (int y = 0; y < actual.height(); ++y) {
        ASSERT_EQ(std::memcmp(actual.constScanLine(y), expected.constScanLine(y),
                              std::size_t(actual.width() * actual.depth() / 8)),
                  0)
            << "row " << y;
    }
}

/// `bytes` with the CRC of every chunk that lies within them made right again.
QByteArray withRightCrcs(QByteArray bytes)
{
    for (qsizetype at = 8; bytes.size() - at >= 12;) {
        const auto length = qFromBigEndian<quint32>(bytes.constData() + at);
        if (length > quint64(bytes.size() - at - 12)) {
            break;
        }
        qToBigEndian(crcOf(QByteArrayView(bytes).sliced(at + 4, length + 4)), bytes.data() + at + 8 + length);
        at += 12 + qsizetype(length);
    }
    return bytes;
}

TEST(PngDecoderTest, DecodesCommonPicturesAsQtsReaderDoesAndLeavesItTheRest)
{
    const auto resolution = [](quint32 x, char unit) { return chunk("pHYs", bigEndian(x) + bigEndian(x + 1) + unit); };
    // Name, picture, whether the decoder takes it.
    const std::tuple<const char*, QByteArray, bool> rows[] = {
        {"RGB", png([](Png&) {}), true},
        {"RGBA", png([](Png& p) { p.colourType = 6; }), true},
        {"one pixel", png([](Png& p) { p.width = p.height = 1; }), true},
        {"a resolution in metres", png([&](Png& p) { p.beforePixels = resolution(3780, 1); }), true},
        {"a resolution in no unit", png([&](Png& p) { p.beforePixels = resolution(1, 0); }), true},
        {"a time of change", png([](Png& p) { p.afterPixels = chunk("tIME", QByteArray(7, '\1')); }), true},
        {"bytes after the end", png([](Png&) {}) + "more", true},
        {"a text", png([](Png& p) { p.afterPixels = chunk("tEXt", QByteArray("Title\0Velmora", 13)); }), false},
        {"a gamma", png([](Png& p) { p.beforePixels = chunk("gAMA", bigEndian(45455)); }), false},
        {"a resolution in an unknown unit", png([&](Png& p) { p.beforePixels = resolution(3780, 2); }), false},
        {"interlaced", png([](Png& p) { p.interlace = 1; }), false},
        {"16 bits a sample", png([](Png& p) { p.bitDepth = 16; }), false},
        {"grey", png([](Png& p) { p.colourType = 0; }), false},
        {"an unknown filter type", png([](Png& p) { p.changeRows = [](QByteArray& rows) { rows[0] = 5; }; }), false},
        {"a byte of pixels missing", png([](Png& p) { p.changeRows = [](QByteArray& rows) { rows.chop(1); }; }), false},
        {"a byte of pixels too many", png([](Png& p) { p.changeRows = [](QByteArray& rows) { rows += '\0'; }; }),
         false},
        {"a wrong CRC", png([](Png&) {}).replace("IEND\xae", "IEND\xaf"), false},
        {"no end", png([](Png&) {}).chopped(12), false},
    };
    for (const auto& [name, bytes, taken] : rows) {
        SCOPED_TRACE(name);
        const auto qts = QImage::fromData(bytes, "png");
        const auto ours = platform::decodeCommonPng(bytes, plainImage);
        EXPECT_EQ(!ours.isNull(), taken);
        if (taken) {
            expectSamePicture(ours, qts);
        }
        const auto image = platform::Image::fromEncoded(bytes);
        expectSamePicture(image ? image->toQImage() : QImage(), qts);
    }
}

TEST(PngDecoderTest, TakesADamagedPictureOnlyAsQtsReaderReadsIt)
{
    // RGB rows are inflated into the picture's own memory, RGBA ones beside it.
    const QByteArray wholes[] = {png([](Png&) {}), png([](Png& p) {
                                     p.colourType = 6;
                                     p.beforePixels = chunk("pHYs", bigEndian(3780) + bigEndian(3780) + '\1');
                                 })};
    QRandomGenerator random(7);
    int taken = 0;
    for (int attempt = 0; attempt < 500; ++attempt) {
        auto bytes = wholes[attempt % 2];
        bytes[8 + random.bounded(bytes.size() - 8)] ^= char(1 << random.bounded(8));
        bytes = withRightCrcs(bytes);
        const auto ours = platform::decodeCommonPng(bytes, plainImage);
        if (!ours.isNull()) {
            ++taken;
            SCOPED_TRACE(bytes.toHex().toStdString());
            expectSamePicture(ours, QImage::fromData(bytes, "png"));
        }
    }
    // Some damage leaves a readable picture, a changed resolution or pixel for one.
    EXPECT_GT(taken, 0);
}

TEST(PngDecoderTest, RefusesThePictureWhereNoRoomIsGiven)
{
    EXPECT_TRUE(platform::decodeCommonPng(png([](Png&) {}), [](QSize, QImage::Format) { return QImage(); }).isNull());
}

} // namespace
