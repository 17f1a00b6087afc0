#include "platform/desktop_application.h"

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

} // namespace

void DesktopApplication::activate()
{
    // One of ours may be active already: shown windows ask to be activated themselves, and activating
    // twice must not forget where the user came from.
    if (const auto foreign = m_windowSystem.foreignActiveWindow()) {
        m_previousWindow = foreign;
    }
    QWidget* target = QApplication::activeModalWidget();
    for (auto* window : shownWindows()) {
        window->raise();
        target = target ? target : window;
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
        m_windowSystem.forceActiveWindow(*previous);
    }
}

void DesktopApplication::quit()
{
    QCoreApplication::exit(0);
}

} // namespace platform
