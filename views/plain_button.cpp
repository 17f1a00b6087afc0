#include "views/plain_button.h"

#include "views/symbols.h"

#include <QPainter>

PlainButton::PlainButton(QPalette::ColorRole colorRole, QWidget* parent)
    : QAbstractButton(parent), m_colorRole(colorRole)
{
    setFocusPolicy(Qt::NoFocus);
}

QSize PlainButton::sizeHint() const
{
    if (!icon().isNull()) {
        return iconSize();
    }
    return fontMetrics().size(Qt::TextSingleLine, text());
}

void PlainButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (isDown()) {
        painter.setOpacity(pressedOpacity);
    }
    const auto color = palette().color(m_colorRole);
    if (!icon().isNull()) {
        QRect symbol(QPoint(), iconSize());
        symbol.moveCenter(rect().center());
        paintSymbol(painter, symbol, icon(), color);
        return;
    }
    painter.setPen(color);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}
