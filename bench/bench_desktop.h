#pragma once

#include "bench/x_client.h"
#include "tests/support/child_process.h"
#include "tests/support/x_server.h"

#include <memory>

/// The desktop the whole-program benchmarks run on: a private Xvfb with openbox, a tint2 tray, and an
/// X client that plays the user. Sets DISPLAY for the process and what it starts.
class BenchDesktop
{
public:
    /// Null, with the reason on stderr, when any part does not come up within a few seconds.
    [[nodiscard]] static std::unique_ptr<BenchDesktop> start(const char* tint2rc);

    [[nodiscard]] XClient& client() { return *m_client; }

private:
    BenchDesktop(std::unique_ptr<XServer> server, const char* tint2rc);

    // Declared in the order they start; they end in reverse.
    std::unique_ptr<XServer> m_server;
    ChildProcess m_tray;
    std::unique_ptr<XClient> m_client;
};
