#include "bench/sample_picture.h"

#include "platform/image.h"

#include <QByteArray>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

namespace {

QImage screenshot(int variant, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(static_cast<quint32>(variant) * 7919u + 1u);
    image.fill(QColor::fromHsv(random.bounded(360), 30, 235));
    QPainter painter(&image);
    for (int panel = 0; panel < 6; ++panel) {
        const QRect area(random.bounded(3000), random.bounded(1600), 400 + random.bounded(1400),
                         200 + random.bounded(900));
        painter.fillRect(area, QColor::fromHsv(random.bounded(360), 20 + random.bounded(60), 200 + random.bounded(55)));
        for (int y = area.top() + 12; y < area.bottom() - 12; y += 22) {
            for (int x = area.left() + 10; x < area.right() - 10; x += 9) {
                if (random.bounded(5) != 0) {
                    painter.fillRect(QRect(x, y, 6, 12 - random.bounded(6)), QColor(30, 30, 30 + random.bounded(40)));
                }
            }
        }
    }
    QLinearGradient gradient(0, 0, image.width(), 0);
    gradient.setColorAt(0, QColor::fromHsv(random.bounded(360), 200, 200));
    gradient.setColorAt(1, QColor::fromHsv(random.bounded(360), 200, 120));
    painter.fillRect(QRect(0, 0, image.width(), 60), gradient);
    painter.end();
    return image;
}

} // namespace

QByteArray encodedScreenshot(int variant, QSize size, const char* format)
{
    return platform::encodeImage(screenshot(variant, size), format).value_or(QByteArray());
}
