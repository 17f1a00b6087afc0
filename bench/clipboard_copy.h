#pragma once

#include "tests/support/child_process.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

/// A copy in another application: the test suite's clipboard owner takes CLIPBOARD from a window of its own and
/// serves the bytes of a file under each of `targets`, until another client takes the clipboard or the object
/// goes. What it printed tells when it took the clipboard and when each request arrived.
class ClipboardCopy
{
public:
    using Clock = std::chrono::steady_clock;

    struct Request
    {
        std::string target;
        Clock::time_point arrived;
        /// Asks for the content itself under a target we offer, not for TARGETS.
        bool isForData = false;
    };

    /// `plan` is the owner's: "none:0" sends the content whole, "none:0:65536" in increments, "silent:0"
    /// never answers.
    ClipboardCopy(std::vector<std::string> targets, const std::string& file, const std::string& log,
                  const char* plan = "none:0");

    /// The moment just before the owner took the clipboard; nothing if it did not within 10 s.
    [[nodiscard]] std::optional<Clock::time_point> taken();
    /// The requests that arrived so far.
    [[nodiscard]] const std::vector<Request>& requests();

private:
    void readLog();

    std::vector<std::string> m_targets;
    std::string m_log;
    ChildProcess m_owner;
    std::streamoff m_read = 0;
    std::optional<Clock::time_point> m_taken;
    std::vector<Request> m_requests;
};
