#include "app/floating_panel.h"

#include "platform/qt_screens.h"
#include "platform/window_properties.h"
#include "views/content_view.h"
#include "views/continuous_rounded_rect.h"

#include <QApplication>
#include <QEvent>
#include <QPainterPath>
#include <QRegion>
#include <QVBoxLayout>
#include <QWindow>

#include <cassert>

namespace {

// The outline of the card that the content draws; without a compositor the window is cut to it.
QRegion cardRegion(const QRect& rect)
{
    return QRegion(continuousRoundedRect(QRectF(rect), ContentView::cornerRadius).toFillPolygon().toPolygon());
}

} // namespace

FloatingPanel::FloatingPanel(const platform::Rect& contentRect)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Velmora"));
    setFixedSize(static_cast<int>(contentRect.size.width), static_cast<int>(contentRect.size.height));
    move(platform::QtScreens::topLeftInQt(contentRect));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    create();
    platform::setWindowClass(*windowHandle(), QByteArrayLiteral("velmora"), QByteArrayLiteral("Velmora"));
}

platform::Rect FloatingPanel::frame() const
{
    return platform::QtScreens::rectFromQt(geometry());
}

void FloatingPanel::setFrameOrigin(platform::Point origin)
{
    move(platform::QtScreens::topLeftInQt({origin, frame().size}));
}

void FloatingPanel::makeKeyAndOrderFront()
{
    const bool wasHidden = !QWidget::isVisible();
    if (wasHidden) {
        platform::setOnAllDesktops(*windowHandle());
    }
    updateShape();
    show();
    if (wasHidden) {
        platform::setOnAllDesktops(*windowHandle());
    }
    raise();
    activateWindow();
}

void FloatingPanel::orderOut()
{
    hide();
}

bool FloatingPanel::isVisible() const
{
    return QWidget::isVisible();
}

void FloatingPanel::setContentView(std::unique_ptr<QWidget> view)
{
    assert(layout()->isEmpty() && "the panel gets its content once");
    layout()->addWidget(view.release());
}

bool FloatingPanel::event(QEvent* event)
{
    // The panel also loses the focus to Velmora's own windows (the About alert); it hides only when
    // the focus goes to another application.
    if (event->type() == QEvent::WindowDeactivate && !QApplication::activeWindow()) {
        hide();
    }
    return QWidget::event(event);
}

void FloatingPanel::updateShape()
{
    if (platform::hasCompositor()) {
        clearMask();
    } else {
        setMask(cardRegion(rect()));
    }
}
