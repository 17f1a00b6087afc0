#include "views/clipboard_item_view.h"

#include "engine/clipboard_manager.h"
#include "engine/preview_text.h"
#include "views/continuous_rounded_rect.h"
#include "views/plain_button.h"
#include "views/thumbnail_cache.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QWidget>

namespace {

constexpr qreal outlineOpacity = 0.3;
constexpr qreal placeholderOpacity = 0.12;

QString withEllipsis(QString text)
{
    text.chop(text.size() >= 2 && text.back().isLowSurrogate() ? 2 : 1);
    return text + QChar(0x2026);
}

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(alpha);
    return color;
}

} // namespace

ClipboardItemView::ClipboardItemView(ThumbnailCache& thumbnails, QObject* parent)
    : QStyledItemDelegate(parent), m_thumbnails(thumbnails)
{}

void ClipboardItemView::setPressedRow(const QModelIndex& index)
{
    m_pressedRow = index;
}

QSize ClipboardItemView::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    int content = 0;
    if (index.data(ClipboardManager::ThumbnailRole).isValid()) {
        content = ThumbnailCache::side;
    } else if (!index.data(Qt::DisplayRole).isNull()) {
        content = option.fontMetrics.height();
    }
    return {2 * horizontalPadding + ThumbnailCache::side, content + 2 * verticalPadding + separatorHeight};
}

void ClipboardItemView::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect row = option.rect.adjusted(0, 0, 0, -separatorHeight);
    painter->save();
    painter->fillRect(QRect(option.rect.left(), row.bottom() + 1, option.rect.width(), separatorHeight),
                      withAlpha(option.palette.color(QPalette::WindowText), separatorOpacity));
    if (index == m_pressedRow) {
        painter->setOpacity(PlainButton::pressedOpacity);
    }
    if (option.state.testFlag(QStyle::State_Selected)) {
        painter->fillRect(row, option.palette.color(QPalette::Highlight));
    }
    const auto content = row.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    const auto text = index.data(Qt::DisplayRole);
    if (index.data(ClipboardManager::ThumbnailRole).isValid()) {
        paintImage(*painter, option, index, content);
    } else if (!text.isNull()) {
        paintText(*painter, option, content, text.toString());
    }
    painter->restore();
}

void ClipboardItemView::paintImage(QPainter& painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                                   const QRect& content) const
{
    const QRect square(content.left(), content.top() + (content.height() - ThumbnailCache::side) / 2,
                       ThumbnailCache::side, ThumbnailCache::side);
    const auto thumbnail = m_thumbnails.thumbnail(index.data(ClipboardManager::IdRole).toUuid(),
                                                  index.data(ClipboardManager::ThumbnailRole).value<QImage>(),
                                                  painter.device()->devicePixelRatioF());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (thumbnail.isNull()) {
        // A picture that cannot be decoded (corrupt, or too large) shows a neutral square, not a hole.
        painter.fillPath(continuousRoundedRect(QRectF(square), ThumbnailCache::cornerRadius),
                         withAlpha(option.palette.color(QPalette::WindowText), placeholderOpacity));
    } else {
        painter.drawPixmap(square.topLeft(), thumbnail);
    }
    QPen outline(withAlpha(Qt::gray, outlineOpacity), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    outline.setMiterLimit(10);
    painter.setPen(outline);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(continuousRoundedRect(QRectF(square), ThumbnailCache::cornerRadius));
    painter.restore();

    // The caption keeps the secondary colour while the row is selected.
    auto italic = option.font;
    italic.setItalic(true);
    painter.setFont(italic);
    painter.setPen(option.palette.color(QPalette::PlaceholderText));
    const auto caption = content.adjusted(ThumbnailCache::side + spacing, 0, 0, 0);
    const auto text = QFontMetrics(italic).elidedText(tr("Image"), Qt::ElideRight, caption.width(), Qt::TextSingleLine);
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

void ClipboardItemView::paintText(QPainter& painter, const QStyleOptionViewItem& option, const QRect& content,
                                  const QString& text)
{
    const auto preview = previewText(text);
    auto line = option.fontMetrics.elidedText(preview, Qt::ElideRight, content.width(), Qt::TextSingleLine);
    if (line == preview && preview.size() < text.size()) {
        // What was cut off before laying out never fits either.
        line = withEllipsis(preview);
    }
    painter.setFont(option.font);
    painter.setPen(option.palette.color(option.state.testFlag(QStyle::State_Selected) ? QPalette::HighlightedText
                                                                                      : QPalette::WindowText));
    painter.drawText(content, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line);
}
