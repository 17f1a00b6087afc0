#pragma once

#include "platform/tray.h"
#include "tests/fakes/call_log.h"

#include <utility>

/// Records how the icon is shown; `click` plays the tray host.
class FakeTray final : public platform::Tray
{
public:
    explicit FakeTray(CallLog& log) : m_log(log) {}

    void show(const QIcon& icon, const QString& name, ClickHandler clicked) override
    {
        m_log.push_back(Call::ShowTray);
        m_hasIcon = !icon.isNull();
        m_name = name;
        m_clicked = std::move(clicked);
    }

    [[nodiscard]] bool hasIcon() const { return m_hasIcon; }
    [[nodiscard]] const QString& name() const { return m_name; }
    void click(Qt::MouseButton button) const { m_clicked(button); }

private:
    CallLog& m_log;
    bool m_hasIcon = false;
    QString m_name;
    ClickHandler m_clicked;
};
