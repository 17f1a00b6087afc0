#pragma once

#include "engine/clipboard_item.h"

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

#include <functional>

class ThumbnailCache;

/// One row of the history list: a thumbnail beside the caption "Image", or the text on one line. The
/// accent colour fills the row while the pointer is over it, or while the list has selected it from the
/// keyboard; a click anywhere in it runs its action once. GUI thread.
class ClipboardItemView final : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int spacing = 12;
    static constexpr int verticalPadding = 8;
    static constexpr int horizontalPadding = 12;

    /// `thumbnails` keeps the thumbnail of an image entry, made here rather than on the first paint, and
    /// must outlive the row.
    ClipboardItemView(ClipboardItem item, std::function<void()> action, ThumbnailCache& thumbnails,
                      QWidget* parent = nullptr);

    [[nodiscard]] const ClipboardItem& item() const { return m_item; }
    /// Whether the row is drawn highlighted: the pointer is over it, or the list selected it.
    [[nodiscard]] bool isHovered() const { return m_isHovered; }
    /// Highlights the row, or not, as the list's selection moves; the pointer's next move overrides it.
    void setSelected(bool isSelected);
    /// What a screen reader names the row after: the one-line preview, or "Image".
    [[nodiscard]] QString accessibleText() const;

    /// The beginning of `text` that one line can show, with each line feed replaced by a space.
    [[nodiscard]] static QString previewText(const QString& text);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

signals:
    /// The pointer entered (true) or left (false) the row, which has already highlighted itself or not.
    void hoverChanged(bool isHovered);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void paintImage(QPainter& painter, const QRect& content);
    void paintText(QPainter& painter, const QRect& content, const QString& text) const;
    [[nodiscard]] int contentHeight() const;

    ClipboardItem m_item;
    std::function<void()> m_action;
    ThumbnailCache& m_thumbnails;
    QPixmap m_thumbnail;
    bool m_isHovered = false;
};
