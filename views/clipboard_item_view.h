#pragma once

#include <QPersistentModelIndex>
#include <QString>
#include <QStyledItemDelegate>

class ThumbnailCache;

/// Paints one row of the history list and the separator under it: a thumbnail beside the caption "Image",
/// or the text on one line. The accent colour fills the selected row, which the pointer and the keys move.
/// GUI thread.
class ClipboardItemView final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int spacing = 12;
    static constexpr int verticalPadding = 8;
    static constexpr int horizontalPadding = 12;
    static constexpr int separatorHeight = 1;
    static constexpr qreal separatorOpacity = 0.12;

    /// `thumbnails` keeps the thumbnails of the image entries and must outlive the delegate.
    explicit ClipboardItemView(ThumbnailCache& thumbnails, QObject* parent = nullptr);

    /// Draws the row at `index` dimmed, as a plain button while the mouse button is down on it; an invalid
    /// index for none.
    void setPressedRow(const QModelIndex& index);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void paintImage(QPainter& painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                    const QRect& content) const;
    static void paintText(QPainter& painter, const QStyleOptionViewItem& option, const QRect& content,
                          const QString& text);

    ThumbnailCache& m_thumbnails;
    QPersistentModelIndex m_pressedRow;
};
