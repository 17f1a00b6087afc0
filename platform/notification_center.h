#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

/// The default notification centre: posts carry a name only (no object, no user information),
/// observers run synchronously on the posting thread, in the order they were added.
/// Used on the GUI thread only.
class NotificationCenter
{
public:
    using Observer = std::function<void()>;

    void addObserver(std::string name, Observer observer);
    void post(const std::string& name) const;

private:
    struct Registration
    {
        std::string name;
        Observer observer;
    };

    std::vector<Registration> m_registrations;
};

} // namespace platform
