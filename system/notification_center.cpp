#include "system/notification_center.h"

void NotificationCenter::addObserver(std::string_view name, Observer observer)
{
    m_registrations.push_back({std::string(name), std::move(observer)});
}

void NotificationCenter::post(std::string_view name) const
{
    // An observer may add observers while we deliver; they see the next post, not this one.
    const auto registrations = m_registrations;
    for (const auto& registration : registrations) {
        if (registration.name == name) {
            registration.observer();
        }
    }
}
