#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// The names of the program's notifications.
namespace notifications {
/// Asks the delegate to show the panel if it is hidden and to hide it if it is shown.
inline constexpr std::string_view togglePopover = "TogglePopover";
/// Asks the delegate to hide the panel.
inline constexpr std::string_view closePopover = "ClosePopover";
} // namespace notifications

/// Posts carry a name only (no object, no user information); observers run synchronously on the posting
/// thread, in the order they were added. GUI thread only.
class NotificationCenter
{
public:
    using Observer = std::function<void()>;

    void addObserver(std::string_view name, Observer observer);
    void post(std::string_view name) const;

private:
    struct Registration
    {
        std::string name;
        Observer observer;
    };

    std::vector<Registration> m_registrations;
};
