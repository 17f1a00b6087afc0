#pragma once

#include "app/panel_factory.h"
#include "platform/application.h"
#include "platform/dispatch.h"
#include "platform/key_event_service.h"
#include "platform/notification_center.h"

/// Makes the real panel, a FloatingPanel, and its content, the history view, whose rows paste what
/// they put back on the clipboard and whose quit button ends the application.
class FloatingPanelFactory final : public PanelFactory
{
public:
    /// Each service must outlive the views made here.
    FloatingPanelFactory(platform::MainQueue& mainQueue, platform::Application& application,
                         platform::NotificationCenter& notifications, platform::KeyEventService& keyEvents)
        : m_mainQueue(mainQueue), m_application(application), m_notifications(notifications), m_keyEvents(keyEvents)
    {
    }

    [[nodiscard]] std::unique_ptr<Panel> makePanel(const platform::Rect& contentRect) override;
    [[nodiscard]] std::unique_ptr<QWidget> makeContentView(ClipboardManager& manager) override;

private:
    platform::MainQueue& m_mainQueue;
    platform::Application& m_application;
    platform::NotificationCenter& m_notifications;
    platform::KeyEventService& m_keyEvents;
};
