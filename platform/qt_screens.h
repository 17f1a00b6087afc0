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
/// The top-left corner, in Qt's coordinates, of a window whose frame is `frame`.
[[nodiscard]] QPoint toQtTopLeft(const Rect& frame, const QRect& primary);

/// The screens of the running QGuiApplication.
class QtScreens final : public Screens
{
public:
    [[nodiscard]] std::vector<Screen> screens() const override;
    [[nodiscard]] std::optional<Screen> mainScreen() const override;
    [[nodiscard]] Point mouseLocation() const override;

    /// A window's frame, from its geometry in Qt's coordinates.
    [[nodiscard]] static Rect rectFromQt(const QRect& rect);
    /// Where a window must be moved, in Qt's coordinates, for its frame to be `frame`.
    [[nodiscard]] static QPoint topLeftInQt(const Rect& frame);
};

} // namespace platform
