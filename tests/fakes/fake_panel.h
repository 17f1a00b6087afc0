#pragma once

#include "app/panel_factory.h"
#include "tests/fakes/call_log.h"

#include <QWidget>

#include <memory>
#include <vector>

/// A panel without a window: it records what it is asked and shows nothing.
class FakePanel final : public Panel
{
public:
    FakePanel(const platform::Rect& contentRect, CallLog* log) : m_frame(contentRect), m_log(log) {}

    [[nodiscard]] platform::Rect frame() const override { return m_frame; }
    void setFrameOrigin(platform::Point origin) override
    {
        record("setFrameOrigin");
        m_frame.origin = origin;
    }
    void makeKeyAndOrderFront() override
    {
        record("makeKeyAndOrderFront");
        m_visible = true;
        ++m_showCount;
    }
    void orderOut() override
    {
        record("orderOut");
        m_visible = false;
    }
    [[nodiscard]] bool isVisible() const override { return m_visible; }
    void setContentView(std::unique_ptr<QWidget> view) override
    {
        record("setContentView");
        m_contentView = std::move(view);
        ++m_contentViewCount;
    }

    [[nodiscard]] int showCount() const { return m_showCount; }
    [[nodiscard]] int contentViewCount() const { return m_contentViewCount; }

private:
    void record(const char* call)
    {
        if (m_log) {
            m_log->record(call);
        }
    }

    platform::Rect m_frame;
    CallLog* m_log;
    bool m_visible = false;
    int m_showCount = 0;
    int m_contentViewCount = 0;
    std::unique_ptr<QWidget> m_contentView;
};

/// Makes fake panels; the content views it makes are null, and it remembers whose history they were for.
class FakePanelFactory final : public PanelFactory
{
public:
    explicit FakePanelFactory(CallLog* log = nullptr) : m_log(log) {}

    [[nodiscard]] std::unique_ptr<Panel> makePanel(const platform::Rect& contentRect) override
    {
        if (m_log) {
            m_log->record("makePanel");
        }
        m_contentRects.push_back(contentRect);
        auto panel = std::make_unique<FakePanel>(contentRect, m_log);
        m_lastPanel = panel.get();
        return panel;
    }

    [[nodiscard]] std::unique_ptr<QWidget> makeContentView(ClipboardManager& manager) override
    {
        if (m_log) {
            m_log->record("makeContentView");
        }
        m_contentManagers.push_back(&manager);
        return nullptr;
    }

    [[nodiscard]] FakePanel* lastPanel() const { return m_lastPanel; }
    [[nodiscard]] const std::vector<platform::Rect>& contentRects() const { return m_contentRects; }
    [[nodiscard]] const std::vector<ClipboardManager*>& contentManagers() const { return m_contentManagers; }

private:
    CallLog* m_log;
    FakePanel* m_lastPanel = nullptr;
    std::vector<platform::Rect> m_contentRects;
    std::vector<ClipboardManager*> m_contentManagers;
};
