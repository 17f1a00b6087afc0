#include "platform/notification_center.h"

namespace platform {

void NotificationCenter::addObserver(std::string name, Observer observer)
{
    m_registrations.push_back({std::move(name), std::move(observer)});
}

void NotificationCenter::post(const std::string& name) const
{
    // An observer may add observers while we deliver; they see the next post, not this one.
    const auto registrations = m_registrations;
    for (const auto& registration : registrations) {
        if (registration.name == name) {
            registration.observer();
        }
    }
}

} // namespace platform
