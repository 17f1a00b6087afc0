#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct xcb_connection_t;

/// The system tray seen from outside, on a connection of its own: which windows of other clients the tray
/// host has taken into its own windows.
class TrayHost
{
public:
    /// Null when the display cannot be opened.
    [[nodiscard]] static std::unique_ptr<TrayHost> open();

    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;
    ~TrayHost();

    /// Whether some client owns the system tray selection of the first screen.
    [[nodiscard]] bool isRunning() const;
    /// Viewable windows of other clients whose parent is a window of the tray host: the docked icons.
    [[nodiscard]] std::vector<std::uint32_t> dockedIcons();

private:
    TrayHost(xcb_connection_t* connection, std::uint32_t root, std::uint32_t idMask, std::uint32_t trayAtom)
        : m_connection(connection), m_root(root), m_idMask(idMask), m_trayAtom(trayAtom)
    {}

    [[nodiscard]] std::uint32_t trayOwner() const;

    xcb_connection_t* m_connection;
    std::uint32_t m_root;
    /// The bits of a resource id that a client chooses; the others tell which client made it.
    std::uint32_t m_idMask;
    std::uint32_t m_trayAtom;
    /// The tray host's outermost windows (its panel in the window manager's frame), found once per host.
    std::uint32_t m_hostOwner = 0;
    std::vector<std::uint32_t> m_hostTops;
};
