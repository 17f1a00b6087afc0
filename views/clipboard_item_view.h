#pragma once

#include "engine/clipboard_item.h"

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

#include <functional>

class ThumbnailCache;

/// One row of the history list: a thumbnail beside the caption "Image", or the text on one line. The
/// accent colour fills the row while the pointer is over it; a click anywhere in it runs its action once.
/// GUI thread.
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
    [[nodiscard]] bool isHovered() const { return m_isHovered; }

    /// The beginning of `text` that one line can show, with each line feed replaced by a space.
    [[nodiscard]] static QString previewText(const QString& text);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

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
