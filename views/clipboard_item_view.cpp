#include "views/clipboard_item_view.h"

#include "views/continuous_rounded_rect.h"
#include "views/plain_button.h"
#include "views/thumbnail_cache.h"

#include <QAccessible>
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QPen>

#include <algorithm>
#include <cassert>
#include <utility>

namespace {

// One line of the row is at most a few hundred pixels wide, and no visible character is narrower than a
// pixel: laying out more than this would only be cut away, and a long text would be shaped on every paint.
constexpr qsizetype previewLength = 1024;
constexpr qreal outlineOpacity = 0.3;
constexpr qreal placeholderOpacity = 0.12;

QString withEllipsis(QString text)
{
    text.chop(text.size() >= 2 && text.back().isLowSurrogate() ? 2 : 1);
    return text + QChar(0x2026);
}

QColor outlineColor()
{
    QColor color(Qt::gray);
    color.setAlphaF(outlineOpacity);
    return color;
}

} // namespace

ClipboardItemView::ClipboardItemView(ClipboardItem item, std::function<void()> action, ThumbnailCache& thumbnails,
                                     QWidget* parent)
    : QAbstractButton(parent), m_item(std::move(item)), m_action(std::move(action)), m_thumbnails(thumbnails)
{
    assert(m_action && "a row runs its action on every click");
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] { m_action(); });
    // Rows are built on the refresh that follows a capture, while the panel may be hidden: decoding the
    // picture now keeps it off the path from the hot key to the panel on screen.
    if (m_item.image()) {
        m_thumbnail = m_thumbnails.thumbnail(m_item, devicePixelRatioF());
    }
}

QString ClipboardItemView::previewText(const QString& text)
{
    auto length = std::min(text.size(), previewLength);
    if (length < text.size() && text.at(length - 1).isHighSurrogate()) {
        --length;
    }
    auto preview = text.first(length);
    preview.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return preview;
}

int ClipboardItemView::contentHeight() const
{
    if (m_item.image()) {
        return ThumbnailCache::side;
    }
    if (m_item.text()) {
        return fontMetrics().height();
    }
    return 0;
}

QSize ClipboardItemView::sizeHint() const
{
    return {2 * horizontalPadding + ThumbnailCache::side, contentHeight() + 2 * verticalPadding};
}

QSize ClipboardItemView::minimumSizeHint() const
{
    return {2 * horizontalPadding, contentHeight() + 2 * verticalPadding};
}

QString ClipboardItemView::accessibleText() const
{
    if (m_item.image()) {
        return tr("Image");
    }
    return previewText(m_item.text().value_or(QString()));
}

void ClipboardItemView::setSelected(bool isSelected)
{
    if (m_isHovered == isSelected) {
        return;
    }
    m_isHovered = isSelected;
    update();
    // The keyboard focus stays in the search field: a screen reader learns of the current row from these.
    QAccessible::State changed;
    changed.selected = true;
    changed.focused = true;
    QAccessibleStateChangeEvent stateChange(this, changed);
    QAccessible::updateAccessibility(&stateChange);
    if (m_isHovered) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

void ClipboardItemView::enterEvent(QEnterEvent* event)
{
    setSelected(true);
    QAbstractButton::enterEvent(event);
    emit hoverChanged(true);
}

void ClipboardItemView::leaveEvent(QEvent* event)
{
    setSelected(false);
    QAbstractButton::leaveEvent(event);
    emit hoverChanged(false);
}

void ClipboardItemView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (isDown()) {
        painter.setOpacity(PlainButton::pressedOpacity);
    }
    if (m_isHovered) {
        painter.fillRect(rect(), palette().color(QPalette::Highlight));
    }
    const auto content = rect().adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    if (m_item.image()) {
        paintImage(painter, content);
    } else if (m_item.text()) {
        paintText(painter, content, *m_item.text());
    }
}

void ClipboardItemView::paintImage(QPainter& painter, const QRect& content)
{
    const QRect square(content.left(), content.top() + (content.height() - ThumbnailCache::side) / 2,
                       ThumbnailCache::side, ThumbnailCache::side);
    const auto pixelRatio = painter.device()->devicePixelRatioF();
    if (m_thumbnail.devicePixelRatio() != pixelRatio) {
        // Now on a screen of another pixel ratio.
        m_thumbnail = m_thumbnails.thumbnail(m_item, pixelRatio);
    }
    if (m_thumbnail.isNull()) {
        // A picture that cannot be decoded (corrupt, or too large) shows a neutral square, not a hole.
        auto neutral = palette().color(QPalette::WindowText);
        neutral.setAlphaF(placeholderOpacity);
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(continuousRoundedRect(QRectF(square), ThumbnailCache::cornerRadius), neutral);
        painter.restore();
    } else {
        painter.drawPixmap(square.topLeft(), m_thumbnail);
    }

    QPen outline(outlineColor(), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    outline.setMiterLimit(10);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(outline);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(continuousRoundedRect(QRectF(square), ThumbnailCache::cornerRadius));
    painter.restore();

    // The caption keeps the secondary colour while the row is hovered.
    auto italic = font();
    italic.setItalic(true);
    painter.setFont(italic);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const auto caption = content.adjusted(ThumbnailCache::side + spacing, 0, 0, 0);
    const auto text = QFontMetrics(italic).elidedText(tr("Image"), Qt::ElideRight, caption.width(), Qt::TextSingleLine);
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

void ClipboardItemView::paintText(QPainter& painter, const QRect& content, const QString& text) const
{
    const auto preview = previewText(text);
    auto line = fontMetrics().elidedText(preview, Qt::ElideRight, content.width(), Qt::TextSingleLine);
    if (line == preview && preview.size() < text.size()) {
        // What was cut off before laying out never fits either.
        line = withEllipsis(preview);
    }
    painter.setPen(m_isHovered ? QColor(Qt::white) : palette().color(QPalette::WindowText));
    painter.drawText(content, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line);
}
