#include "platform/desktop_application.h"

#include "platform/x11/window_focus.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <utility>
#include <vector>

namespace platform {

namespace {

/// Our shown top-level widgets. Those that bypass the window manager are left out: the tray's XEmbed icon
/// is one, and hiding it would take it out of the tray.
std::vector<QWidget*> shownWindows()
{
    std::vector<QWidget*> result;
    for (auto* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && !widget->windowFlags().testFlag(Qt::BypassWindowManagerHint)) {
            result.push_back(widget);
        }
    }
    return result;
}

bool isOurWindow(std::uint32_t window)
{
    const auto windows = QGuiApplication::allWindows();
    // handle() first: winId() would create a native window for one that has none.
    return std::any_of(windows.begin(), windows.end(),
                       [window](QWindow* ours) { return ours->handle() && ours->winId() == window; });
}

} // namespace

DesktopApplication::DesktopApplication() : m_foreignWindows(std::make_unique<x11::ForeignWindowTracker>(isOurWindow))
{
}

DesktopApplication::~DesktopApplication() = default;

void DesktopApplication::activate()
{
    // One of ours may be active already: shown windows ask to be activated themselves, and activating
    // twice must not forget where the user came from. The tracker knows which window had it before.
    const auto active = x11::activeWindow();
    if (active && !isOurWindow(*active)) {
        m_previousWindow = active;
    } else if (const auto foreign = m_foreignWindows->lastForeignWindow()) {
        m_previousWindow = foreign;
    }
    QWidget* target = QApplication::activeModalWidget();
    for (auto* window : shownWindows()) {
        window->raise();
        if (!target) {
            target = window;
        }
    }
    if (target) {
        target->activateWindow();
    }
}

void DesktopApplication::hide()
{
    for (auto* window : shownWindows()) {
        window->hide();
    }
    if (const auto previous = std::exchange(m_previousWindow, std::nullopt)) {
        x11::activateWindow(*previous);
    }
}

void DesktopApplication::quit()
{
    QCoreApplication::exit(0);
}

} // namespace platform
