#pragma once

#include <QPainterPath>
#include <QRectF>

/// A rounded rectangle in the continuous corner style: each corner leaves its edges without a jump in
/// curvature (a superellipse arc) and looks as round as a circular corner of `radius`.
[[nodiscard]] QPainterPath continuousRoundedRect(const QRectF& rect, qreal radius);
