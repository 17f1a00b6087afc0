#include "bench/sample_picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

QImage screenshot(int variant)
{
    QImage image(3840, 2160, QImage::Format_RGB32);
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

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

QByteArray gradientPng(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, QColor(30, 60, 150));
    gradient.setColorAt(1, QColor(240, 180, 90));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    return encoded(image);
}
