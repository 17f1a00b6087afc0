#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

/// Disconnects its slot when destroyed. Move-only; may outlive the signal.
class Connection
{
public:
    Connection() = default;
    explicit Connection(std::function<void()> disconnect) : m_disconnect(std::move(disconnect)) {}
    Connection(Connection&& other) noexcept : m_disconnect(std::exchange(other.m_disconnect, {})) {}
    Connection& operator=(Connection&& other) noexcept
    {
        if (this != &other) {
            disconnect();
            m_disconnect = std::exchange(other.m_disconnect, {});
        }
        return *this;
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { disconnect(); }

    void disconnect()
    {
        if (m_disconnect) {
            std::exchange(m_disconnect, {})();
        }
    }

private:
    std::function<void()> m_disconnect;
};

/// A small single-threaded signal: slots run synchronously, in connection order, on the emitting thread.
template <typename... Args> class Signal
{
public:
    [[nodiscard]] Connection connect(std::function<void(Args...)> slot)
    {
        const auto id = m_nextId++;
        m_slots->push_back({id, std::move(slot)});
        std::weak_ptr<Slots> weakSlots = m_slots;
        return Connection([weakSlots, id] {
            if (const auto alive = weakSlots.lock()) {
                std::erase_if(*alive, [id](const auto& entry) { return entry.id == id; });
            }
        });
    }

    void send(Args... args) const
    {
        // A slot may connect or disconnect while we iterate.
        const auto snapshot = *m_slots;
        for (const auto& entry : snapshot) {
            entry.slot(args...);
        }
    }

private:
    struct Entry
    {
        std::uint64_t id;
        std::function<void(Args...)> slot;
    };
    using Slots = std::vector<Entry>;

    std::shared_ptr<Slots> m_slots = std::make_shared<Slots>();
    std::uint64_t m_nextId = 0;
};
