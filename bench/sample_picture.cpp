#include "bench/sample_picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <random>

namespace {

QByteArray encodePng(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

QByteArray gradientPng(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, QColor(30, 60, 150));
    gradient.setColorAt(1, QColor(240, 180, 90));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    return encodePng(image);
}

QByteArray screenshotPng(int width, int height, int variant)
{
    // Seeded by the variant, so that a run offers the same pictures to every program it compares.
    std::mt19937 random(static_cast<std::mt19937::result_type>(variant));
    const auto below = [&random](int limit) { return static_cast<int>(random() % static_cast<unsigned>(limit)); };

    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, QColor::fromHsv(below(360), 120, 150));
    gradient.setColorAt(1, QColor::fromHsv(below(360), 90, 230));
    painter.fillRect(image.rect(), gradient);

    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(15);
    painter.setFont(font);
    const int lineHeight = 19;
    static const char* const words[] = {
        "return",    "const",  "auto",    "window",        "clipboard", "for",
        "if",        "int",    "QString", "nullptr",       "update()",  "{",
        "}",         "=",      "+=",      "selection",     "history",   "// why",
        "std::move", "0x1fff", "true",    "tr(\"Clear\")",
    };
    for (int window = 0; window < 6; ++window) {
        const QRect frame(below(width / 2), below(height / 2), width / 3 + below(width / 3),
                          height / 3 + below(height / 3));
        painter.fillRect(frame, QColor::fromHsv(below(360), 20, 245));
        painter.fillRect(QRect(frame.topLeft(), QSize(frame.width(), 28)), QColor::fromHsv(below(360), 60, 90));
        painter.setPen(QColor(40, 40, 40));
        painter.drawRect(frame);
        for (int y = frame.top() + 28 + lineHeight; y < frame.bottom(); y += lineHeight) {
            QString line(below(8) * 4, QLatin1Char(' '));
            for (int word = below(12); word >= 0; --word) {
                line += QLatin1String(words[below(std::size(words))]) + QLatin1Char(' ');
            }
            painter.setPen(QColor::fromHsv(below(360), 200, 120));
            painter.drawText(frame.left() + 8, y, line);
        }
    }
    painter.end();
    return encodePng(image);
}
