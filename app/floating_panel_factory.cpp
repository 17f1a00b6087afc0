#include "app/floating_panel_factory.h"

#include "app/floating_panel.h"
#include "system/auto_paste.h"
#include "views/content_view.h"

std::unique_ptr<Panel> FloatingPanelFactory::makePanel(const platform::Rect& contentRect)
{
    return std::make_unique<FloatingPanel>(contentRect);
}

std::unique_ptr<QWidget> FloatingPanelFactory::makeContentView(ClipboardManager& manager)
{
    return std::make_unique<ContentView>(
        manager, m_mainQueue, [this] { performAutoPaste(m_notifications, m_application, m_mainQueue, m_keyEvents); },
        [this] { m_application.terminate(); });
}
