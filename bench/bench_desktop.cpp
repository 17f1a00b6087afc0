#include "bench/bench_desktop.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

std::unique_ptr<BenchDesktop> BenchDesktop::start(const char* tint2rc)
{
    auto server = XServer::start(XServer::WindowManager::Openbox);
    if (!server) {
        std::fprintf(stderr, "cannot start Xvfb with openbox\n");
        return nullptr;
    }
    // Without a session bus Qt takes the XEmbed tray that tint2 hosts.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    std::unique_ptr<BenchDesktop> desktop(new BenchDesktop(std::move(server), tint2rc));
    for (int attempt = 0; attempt < 100 && desktop->m_client && !desktop->m_client->hasSystemTray(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!desktop->m_client || !desktop->m_client->hasSystemTray()) {
        std::fprintf(stderr, "no X client or no tray host\n");
        return nullptr;
    }
    return desktop;
}

BenchDesktop::BenchDesktop(std::unique_ptr<XServer> server, const char* tint2rc)
    : m_server(std::move(server)), m_tray({"/usr/bin/tint2", "-c", tint2rc}), m_client(XClient::open())
{}
