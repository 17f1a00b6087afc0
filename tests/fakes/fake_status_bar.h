#pragma once

#include "platform/status_bar.h"
#include "tests/fakes/call_log.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

/// A status item button that records how it was set up; `click()` sends its action as a click would.
class FakeStatusBarButton final : public platform::StatusBarButton
{
public:
    void setImage(const QString& systemSymbolName, const QString& accessibilityDescription) override
    {
        m_symbolName = systemSymbolName;
        m_accessibilityDescription = accessibilityDescription;
    }
    void setAction(Action action) override { m_action = std::move(action); }
    void sendActionOn(platform::EventMask mask) override { m_mask = mask; }

    /// Runs the action with this button as the sender; false when no action is set.
    bool click()
    {
        if (!m_action) {
            return false;
        }
        m_action(this);
        return true;
    }

    [[nodiscard]] const QString& symbolName() const { return m_symbolName; }
    [[nodiscard]] const QString& accessibilityDescription() const { return m_accessibilityDescription; }
    [[nodiscard]] const std::optional<platform::EventMask>& mask() const { return m_mask; }

private:
    QString m_symbolName;
    QString m_accessibilityDescription;
    Action m_action;
    std::optional<platform::EventMask> m_mask;
};

/// Makes status items with or without a button, as a desktop with or without a tray would.
class FakeStatusBar final : public platform::StatusBar
{
public:
    enum class Tray
    {
        Present,
        Absent,
    };

    explicit FakeStatusBar(Tray tray = Tray::Present, CallLog* log = nullptr) : m_tray(tray), m_log(log) {}

    [[nodiscard]] std::unique_ptr<platform::StatusItem> statusItem(double length) override
    {
        if (m_log) {
            m_log->record("statusItem");
        }
        m_lengths.push_back(length);
        auto item = std::make_unique<Item>();
        if (m_tray == Tray::Present) {
            item->ownedButton = std::make_unique<FakeStatusBarButton>();
            m_lastButton = item->ownedButton.get();
        }
        return item;
    }

    /// The button of the last item made, or null; valid while that item lives.
    [[nodiscard]] FakeStatusBarButton* lastButton() const { return m_lastButton; }
    [[nodiscard]] const std::vector<double>& lengths() const { return m_lengths; }

private:
    struct Item final : platform::StatusItem
    {
        [[nodiscard]] platform::StatusBarButton* button() override { return ownedButton.get(); }
        std::unique_ptr<FakeStatusBarButton> ownedButton;
    };

    Tray m_tray;
    CallLog* m_log;
    FakeStatusBarButton* m_lastButton = nullptr;
    std::vector<double> m_lengths;
};
