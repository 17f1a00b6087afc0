#pragma once

#include "engine/clipboard_item.h"

#include <QPixmap>
#include <QUuid>

#include <cstddef>
#include <memory>
#include <unordered_map>

class QAbstractItemModel;

/// The 40 x 40 thumbnails of the image entries, scaled to fill, centred and cut to a rounded square.
/// Each is scaled from the small source the entry keeps from its one decode, once per entry and pixel ratio,
/// not on every paint. GUI thread.
class ThumbnailCache final
{
public:
    static constexpr int side = 40;
    static constexpr qreal cornerRadius = 6;

    /// The thumbnail of the entry `id`, made from its thumbnail `source`, for a device of `pixelRatio`; a null
    /// pixmap for a null source (an entry without an image, or whose image cannot be decoded).
    [[nodiscard]] QPixmap thumbnail(const QUuid& id, const QImage& source, qreal pixelRatio);
    /// Forgets the thumbnails of entries that are not rows of `history`, by their `ClipboardManager::IdRole`.
    void keepOnly(const QAbstractItemModel& history);

    [[nodiscard]] std::size_t size() const { return m_thumbnails.size(); }

private:
    struct Thumbnail
    {
        QPixmap pixmap;
        qreal pixelRatio = 1;
    };

    std::unordered_map<QUuid, Thumbnail, ClipboardItem::IdHash> m_thumbnails;
};

/// `image` scaled to fill a square of `side` pixels, centred, with the overflow cut away and the corners
/// rounded to `cornerRadius` pixels (transparent outside).
[[nodiscard]] QImage makeThumbnail(const QImage& image, int side, qreal cornerRadius);
