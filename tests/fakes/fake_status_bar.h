#pragma once

#include "platform/status_bar.h"
#include "tests/fakes/call_log.h"

#include <QString>

#include <memory>
#include <utility>

/// A tray item's button that logs how it is set up; `click()` sends its action as a click would.
class FakeStatusBarButton final : public platform::StatusBarButton
{
public:
    explicit FakeStatusBarButton(CallLog& log) : m_log(log) {}

    void setImage(const QString& systemSymbolName, const QString& accessibilityDescription) override
    {
        m_log.push_back(QStringLiteral("setImage %1 %2").arg(systemSymbolName, accessibilityDescription).toStdString());
    }
    void setAction(Action action) override { m_action = std::move(action); }
    void sendActionOn(platform::EventMask mask) override
    {
        m_log.push_back("sendActionOn 0x" + QString::number(mask, 16).toStdString());
    }

    void click() { m_action(this); }

private:
    CallLog& m_log;
    Action m_action;
};

/// Makes tray items that share one button, as a desktop with a tray does.
class FakeStatusBar final : public platform::StatusBar
{
public:
    explicit FakeStatusBar(CallLog& log) : m_log(log), m_button(log) {}

    [[nodiscard]] std::unique_ptr<platform::StatusItem> statusItem(double) override
    {
        m_log.push_back("statusItem");
        return std::make_unique<Item>(m_button);
    }

    [[nodiscard]] FakeStatusBarButton& button() { return m_button; }

private:
    struct Item final : platform::StatusItem
    {
        explicit Item(FakeStatusBarButton& button) : fake(button) {}
        [[nodiscard]] platform::StatusBarButton* button() override { return &fake; }
        FakeStatusBarButton& fake;
    };

    CallLog& m_log;
    FakeStatusBarButton m_button;
};
