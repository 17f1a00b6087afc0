#pragma once

#include "platform/screens.h"

#include <memory>

class QWidget;

/// The window that shows the history, as the delegate drives it. GUI thread only.
class Panel
{
public:
    virtual ~Panel() = default;

    [[nodiscard]] virtual platform::Rect frame() const = 0;
    virtual void setFrameOrigin(platform::Point origin) = 0;
    /// Shows the panel in front of ordinary windows and gives it the keyboard focus.
    virtual void makeKeyAndOrderFront() = 0;
    virtual void orderOut() = 0;
    [[nodiscard]] virtual bool isVisible() const = 0;
    /// The view that fills the panel; the panel owns it from now on.
    virtual void setContentView(std::unique_ptr<QWidget> view) = 0;
};
