#pragma once

#include "app/panel.h"

#include <QWidget>

/// A frameless tool window that floats above ordinary windows on every desktop, takes the keyboard
/// focus when shown and hides when Velmora stops being the active application. Its content draws its
/// own rounded card on a transparent background.
class FloatingPanel final : public QWidget, public Panel
{
    Q_OBJECT

public:
    /// Created hidden, with its native window made at once, the frame's size fixed for good.
    explicit FloatingPanel(const platform::Rect& contentRect);

    [[nodiscard]] platform::Rect frame() const override;
    void setFrameOrigin(platform::Point origin) override;
    void makeKeyAndOrderFront() override;
    void orderOut() override;
    [[nodiscard]] bool isVisible() const override;
    void setContentView(std::unique_ptr<QWidget> view) override;

protected:
    bool event(QEvent* event) override;

private:
    void updateShape();
};
