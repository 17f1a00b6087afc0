#include "app/floating_panel.h"

#include "views/content_view.h"
#include "views/continuous_rounded_rect.h"

#include <QGuiApplication>
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

FloatingPanel::FloatingPanel(const QRect& contentRect)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Velmora"));
    setFixedSize(contentRect.size());
    move(contentRect.topLeft());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    create();
    // Whichever of Velmora's windows had the focus (the panel, the About alert above it), the panel goes
    // when another application takes it. Qt may report that Velmora went inactive late, after the panel was
    // shown again: the window manager says whose window is active now.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive && !m_windowSystem.isOwnWindowActive()) {
            hide();
        }
    });
}

void FloatingPanel::setContentView(std::unique_ptr<QWidget> view)
{
    assert(layout()->isEmpty() && "the panel gets its content once");
    layout()->addWidget(view.release());
}

void FloatingPanel::setVisible(bool visible)
{
    if (!visible || isVisible()) {
        QWidget::setVisible(visible);
        return;
    }
    m_windowSystem.setOnAllDesktops(*windowHandle());
    updateShape();
    QWidget::setVisible(true);
    m_windowSystem.setOnAllDesktops(*windowHandle());
    raise();
    activateWindow();
}

bool FloatingPanel::event(QEvent* event)
{
    // Shown right after it was hidden, the panel may be managed anew only after the show asked for every
    // desktop, and land on the current one: once active, it is surely managed, and the request holds.
    if (event->type() == QEvent::WindowActivate) {
        m_windowSystem.setOnAllDesktops(*windowHandle());
    }
    return QWidget::event(event);
}

void FloatingPanel::updateShape()
{
    if (m_windowSystem.isCompositingActive()) {
        clearMask();
    } else {
        setMask(cardRegion(rect()));
    }
}
