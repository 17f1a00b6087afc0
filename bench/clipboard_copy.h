#pragma once

#include "tests/support/child_process.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct Figures;
class ProgramRun;

/// A copy in another application: the test suite's clipboard owner (on X11 when the benchmark has a display,
/// else the data-control owner of the Wayland tests) takes the clipboard and serves the bytes of a file under
/// each of `targets`, until another client takes the clipboard or the object goes. What it printed tells when it
/// took the clipboard and when each request arrived.
class ClipboardCopy
{
public:
    using Clock = std::chrono::steady_clock;

    /// `plan` is the owner's (tests/clipboard/owner_plan.h): "none:0" sends the content whole, "none:0:65536"
    /// in increments, "silent:0" never answers.
    ClipboardCopy(std::vector<std::string> targets, const std::string& file, const std::string& log,
                  const char* plan = "none:0");

    /// The moment just before the owner took the clipboard; nothing if it did not within 10 s.
    [[nodiscard]] std::optional<Clock::time_point> taken();
    /// When the first request for the content (under a target it offers, not TARGETS), or with `forContent`
    /// false for anything, arrived; nothing if none did within `timeout`.
    [[nodiscard]] std::optional<Clock::time_point> request(bool forContent, Clock::duration timeout);

private:
    /// Reads on in what the owner printed.
    void read();

    std::vector<std::string> m_targets;
    std::string m_log;
    ChildProcess m_owner;
    std::streamoff m_read = 0;
    std::optional<Clock::time_point> m_taken;
    std::optional<Clock::time_point> m_firstRequest;
    std::optional<Clock::time_point> m_firstContentRequest;
};

/// Copies `content` as each of `targets` into `program`'s clipboard from another process, which serves it until
/// the next copy has taken the clipboard, as in applications: the moment just before it took the clipboard, or
/// nothing.
std::optional<ClipboardCopy::Clock::time_point> startCopy(ProgramRun& program, std::unique_ptr<ClipboardCopy>& serving,
                                                          const std::string& content,
                                                          const std::vector<std::string>& targets,
                                                          const char* plan = "none:0");

/// Copies and follows the program until it has read the content and gone idle again: idle is at most 1 ms of CPU
/// (twice its idle use if more, at most 5 ms) over `window`, which outlasts any pause inside the work, such as
/// waiting for the next chunk. Adds "`kind` the first request for it" and "`kind` the end of the work"; false,
/// with the reason in the figures, when the copy could not start or the program ended.
bool followCopy(ProgramRun& program, std::unique_ptr<ClipboardCopy>& serving, const std::string& content,
                const std::vector<std::string>& targets, const std::string& kind, ClipboardCopy::Clock::duration window,
                double idleMillisecondsPerSecond, Figures& figures);
