#pragma once

#include "platform/window_system.h"

#include <QWidget>

#include <memory>

/// A frameless tool window that floats above ordinary windows on every desktop, takes the keyboard focus
/// each time it is shown and hides when Velmora stops being the active application. Its content draws its
/// own rounded card on a transparent background.
class FloatingPanel final : public QWidget
{
    Q_OBJECT

public:
    /// Created hidden at `contentRect` (in Qt's coordinates), its native window made at once, its size fixed.
    explicit FloatingPanel(const QRect& contentRect);

    /// The view that fills the panel; the panel owns it from now on.
    void setContentView(std::unique_ptr<QWidget> view);

    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;

private:
    void updateShape();

    platform::WindowSystem m_windowSystem;
};
