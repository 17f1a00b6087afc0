#pragma once

#include <QIcon>

class QColor;
class QPainter;
class QRect;

/// The symbol images of the panel and the tray.
enum class Symbol
{
    MagnifyingGlass,
    Power,
    DocOnClipboard,
};

/// The icon of the theme under the freedesktop name closest to the symbol, else the bundled drawing.
[[nodiscard]] QIcon symbolIcon(Symbol symbol);

/// Draws `icon` centred in `rect` as a silhouette in `color`, as symbol images are drawn, whatever the
/// colours of the theme's icon.
void paintSymbol(QPainter& painter, const QRect& rect, const QIcon& icon, const QColor& color);
