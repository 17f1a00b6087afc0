#pragma once

#include "app/panel_factory.h"
#include "tests/fakes/call_log.h"

#include <QWidget>

#include <memory>

/// A panel without a window: it logs what it is asked and shows nothing.
class FakePanel final : public Panel
{
public:
    FakePanel(const platform::Rect& frame, CallLog& log) : m_frame(frame), m_log(log) {}

    [[nodiscard]] platform::Rect frame() const override { return m_frame; }
    void setFrameOrigin(platform::Point origin) override
    {
        m_log.push_back("setFrameOrigin");
        m_frame.origin = origin;
    }
    void makeKeyAndOrderFront() override
    {
        m_log.push_back("makeKeyAndOrderFront");
        m_visible = true;
    }
    void orderOut() override
    {
        m_log.push_back("orderOut");
        m_visible = false;
    }
    [[nodiscard]] bool isVisible() const override { return m_visible; }
    void setContentView(std::unique_ptr<QWidget>) override { m_log.push_back("setContentView"); }

private:
    platform::Rect m_frame;
    CallLog& m_log;
    bool m_visible = false;
};

/// Makes fake panels, and null content views.
class FakePanelFactory final : public PanelFactory
{
public:
    explicit FakePanelFactory(CallLog& log) : m_log(log) {}

    [[nodiscard]] std::unique_ptr<Panel> makePanel(const platform::Rect& contentRect) override
    {
        m_log.push_back("makePanel");
        return std::make_unique<FakePanel>(contentRect, m_log);
    }
    [[nodiscard]] std::unique_ptr<QWidget> makeContentView(ClipboardManager&) override
    {
        m_log.push_back("makeContentView");
        return nullptr;
    }

private:
    CallLog& m_log;
};
