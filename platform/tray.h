#pragma once

#include <QIcon>
#include <QString>

#include <functional>
#include <memory>

class QSystemTrayIcon;

namespace platform {

/// The application's icon in the desktop's tray. GUI thread only.
class Tray
{
public:
    /// Called with Qt::LeftButton or Qt::RightButton for a click on the icon.
    using ClickHandler = std::function<void(Qt::MouseButton button)>;

    virtual ~Tray() = default;

    /// Puts the icon in the tray, now or as soon as a tray host appears, and again whenever the host
    /// restarts. `name` is what screen readers and tooltips say.
    virtual void show(const QIcon& icon, const QString& name, ClickHandler clicked) = 0;
};

/// A QSystemTrayIcon (StatusNotifierItem or XEmbed, whichever Qt finds).
class QtTray final : public Tray
{
public:
    QtTray();
    ~QtTray() override;

    void show(const QIcon& icon, const QString& name, ClickHandler clicked) override;

private:
    std::unique_ptr<QSystemTrayIcon> m_icon;
};

} // namespace platform
