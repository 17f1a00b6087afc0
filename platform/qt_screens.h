#pragma once

#include "platform/screens.h"

#include <QPoint>
#include <QRect>

namespace platform {

// Qt's global coordinates put the origin at the top-left of the virtual desktop with y down; ours put
// it at the bottom-left of the primary screen with y up. `primary` is the primary screen's geometry in
// Qt's coordinates.
[[nodiscard]] Rect fromQtRect(const QRect& rect, const QRect& primary);
[[nodiscard]] Point fromQtPoint(const QPoint& point, const QRect& primary);
/// The top-left corner, in Qt's coordinates, of a window whose geometry is `rect`.
[[nodiscard]] QPoint toQtTopLeft(const Rect& rect, const QRect& primary);

/// The screens of the running QGuiApplication.
class QtScreens final : public Screens
{
public:
    [[nodiscard]] std::vector<Screen> screens() const override;
    [[nodiscard]] std::optional<Screen> activeScreen() const override;
    [[nodiscard]] Point pointerPosition() const override;
    [[nodiscard]] QPoint topLeftInQt(const Rect& rect) const override;
};

} // namespace platform
