#include "views/thumbnail_cache.h"

#include "engine/clipboard_manager.h"
#include "views/continuous_rounded_rect.h"

#include <QBrush>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <unordered_set>

QImage makeThumbnail(const QImage& image, int side, qreal cornerRadius)
{
    if (image.isNull() || side <= 0) {
        return {};
    }
    const auto scaled = image.scaled(side, side, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const auto square = scaled.copy((scaled.width() - side) / 2, (scaled.height() - side) / 2, side, side);
    QImage thumbnail(side, side, QImage::Format_ARGB32_Premultiplied);
    thumbnail.fill(Qt::transparent);
    QPainter painter(&thumbnail);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(square));
    painter.drawPath(continuousRoundedRect(QRectF(0, 0, side, side), cornerRadius));
    return thumbnail;
}

QPixmap ThumbnailCache::thumbnail(const QUuid& id, const QImage& source, qreal pixelRatio)
{
    if (source.isNull()) {
        return {};
    }
    const auto found = m_thumbnails.find(id);
    if (found != m_thumbnails.end() && found->second.pixelRatio == pixelRatio) {
        return found->second.pixmap;
    }
    const int pixels = static_cast<int>(std::ceil(side * pixelRatio));
    auto pixmap = QPixmap::fromImage(makeThumbnail(source, pixels, cornerRadius * pixelRatio));
    pixmap.setDevicePixelRatio(pixelRatio);
    m_thumbnails.insert_or_assign(id, Thumbnail{pixmap, pixelRatio});
    return pixmap;
}

void ThumbnailCache::keepOnly(const QAbstractItemModel& history)
{
    if (m_thumbnails.empty()) {
        return;
    }
    std::unordered_set<QUuid, ClipboardItem::IdHash> ids;
    for (int row = 0; row < history.rowCount(); ++row) {
        ids.insert(history.index(row, 0).data(ClipboardManager::IdRole).toUuid());
    }
    std::erase_if(m_thumbnails, [&ids](const auto& entry) { return !ids.contains(entry.first); });
}
