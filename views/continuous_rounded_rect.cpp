#include "views/continuous_rounded_rect.h"

#include <QPointF>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

// The corner starts this many radii from the corner point, as continuous corners do.
constexpr qreal cornerExtent = 1.528665;
// Exponent of the superellipse arc whose midpoint lies where a circular corner's does:
// extent * (1 - 2^(-1/n)) = 1 - 1/sqrt(2).
const qreal superellipseExponent = -std::log(2.0) / std::log(1.0 - (1.0 - 1.0 / std::sqrt(2.0)) / cornerExtent);
constexpr int segmentsPerCorner = 16;

// Points of one corner, from the end of the edge before it to the start of the edge after it, for a corner
// at `corner` whose edges run towards `alongFirst` and `alongSecond` (unit vectors pointing away from it).
void addCorner(QPainterPath& path, QPointF corner, QPointF alongFirst, QPointF alongSecond, qreal extent)
{
    const qreal exponent = 2.0 / superellipseExponent;
    for (int step = 0; step <= segmentsPerCorner; ++step) {
        const qreal angle = std::numbers::pi / 2 * step / segmentsPerCorner;
        // Superellipse |x|^n + |y|^n = 1 centred `extent` away from the corner along both edges.
        const qreal x = std::pow(std::cos(angle), exponent);
        const qreal y = std::pow(std::sin(angle), exponent);
        const QPointF point = corner + alongFirst * extent * (1.0 - y) + alongSecond * extent * (1.0 - x);
        path.lineTo(point);
    }
}

} // namespace

QPainterPath continuousRoundedRect(const QRectF& rect, qreal radius)
{
    QPainterPath path;
    const qreal extent = std::clamp(radius * cornerExtent, 0.0, std::min(rect.width(), rect.height()) / 2);
    if (extent <= 0) {
        path.addRect(rect);
        return path;
    }
    const QPointF right(1, 0);
    const QPointF down(0, 1);
    path.moveTo(rect.left() + extent, rect.top());
    addCorner(path, rect.topRight(), -right, down, extent);
    addCorner(path, rect.bottomRight(), -down, -right, extent);
    addCorner(path, rect.bottomLeft(), right, -down, extent);
    addCorner(path, rect.topLeft(), down, right, extent);
    path.closeSubpath();
    return path;
}
