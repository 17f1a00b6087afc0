#include "views/symbols.h"

#include <QColor>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QString>

#include <initializer_list>

namespace {

QIcon themedIcon(std::initializer_list<const char*> names, const char* bundled)
{
    for (const char* name : names) {
        if (QIcon::hasThemeIcon(QString::fromLatin1(name))) {
            return QIcon::fromTheme(QString::fromLatin1(name));
        }
    }
    return QIcon(QString::fromLatin1(bundled));
}

} // namespace

QIcon symbolIcon(Symbol symbol)
{
    switch (symbol) {
    case Symbol::MagnifyingGlass:
        return themedIcon({"edit-find", "system-search"}, ":/views/icons/magnifyingglass.svg");
    case Symbol::Power:
        return themedIcon({"system-shutdown", "application-exit"}, ":/views/icons/power.svg");
    case Symbol::DocOnClipboard:
        return themedIcon({"edit-paste"}, ":/views/icons/doc.on.clipboard.svg");
    }
    return {};
}

void paintSymbol(QPainter& painter, const QRect& rect, const QIcon& icon, const QColor& color)
{
    const qreal pixelRatio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    auto image = icon.pixmap(rect.size(), pixelRatio).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return;
    }
    {
        QPainter tint(&image);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(image.rect(), color);
    }
    const QSizeF size = image.deviceIndependentSize();
    const QRectF target(rect.x() + (rect.width() - size.width()) / 2, rect.y() + (rect.height() - size.height()) / 2,
                        size.width(), size.height());
    painter.drawImage(target, image);
}
