#include "bench/clipboard_copy.h"

#include "bench/program_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

using namespace std::chrono_literals;

ClipboardCopy::ClipboardCopy(std::vector<std::string> targets, const std::string& file, const std::string& log,
                             const char* plan)
    : m_targets(std::move(targets)), m_log(log),
      m_owner(
          [&] {
              std::vector<std::string> arguments{
                  std::getenv("DISPLAY") ? VELMORA_CLIPBOARD_OWNER : VELMORA_SELECTION_OWNER, plan};
              for (const auto& target : m_targets) {
                  arguments.insert(arguments.end(), {target, file});
              }
              return arguments;
          }(),
          ChildProcess::Output::Logged, log)
{}

std::optional<ClipboardCopy::Clock::time_point> ClipboardCopy::taken()
{
    waitUntil([this] { return read(), m_taken.has_value(); }, 10s);
    return m_taken;
}

std::optional<ClipboardCopy::Clock::time_point> ClipboardCopy::request(bool forContent, Clock::duration timeout)
{
    auto& first = forContent ? m_firstContentRequest : m_firstRequest;
    waitUntil([&] { return read(), first.has_value(); }, timeout);
    return first;
}

void ClipboardCopy::read()
{
    for (const auto& line : newLines(m_log, m_read)) {
        char target[256] = "";
        long long nanoseconds = 0;
        if (std::sscanf(line.c_str(), "asked %255s %lld", target, &nanoseconds) == 2) {
            const Clock::time_point arrived{std::chrono::nanoseconds(nanoseconds)};
            m_firstRequest = m_firstRequest.value_or(arrived);
            if (std::ranges::find(m_targets, target) != m_targets.end()) {
                m_firstContentRequest = m_firstContentRequest.value_or(arrived);
            }
        } else if (std::sscanf(line.c_str(), "ready %lld", &nanoseconds) == 1) {
            m_taken = Clock::time_point(std::chrono::nanoseconds(nanoseconds));
        }
    }
}

std::optional<ClipboardCopy::Clock::time_point> startCopy(ProgramRun& program, std::unique_ptr<ClipboardCopy>& serving,
                                                          const std::string& content,
                                                          const std::vector<std::string>& targets, const char* plan)
{
    const auto file = program.file("copy");
    std::ofstream(file, std::ios::binary) << content;
    // A log of its own for each owner: the one before writes on until it has seen the new one take over.
    static int copies = 0;
    auto next = std::make_unique<ClipboardCopy>(targets, file, program.file(std::to_string(++copies) + ".log"), plan);
    const auto copied = next->taken();
    serving = copied ? std::move(next) : std::move(serving);
    return copied;
}

bool followCopy(ProgramRun& program, std::unique_ptr<ClipboardCopy>& serving, const std::string& content,
                const std::vector<std::string>& targets, const std::string& kind, ClipboardCopy::Clock::duration window,
                double idleMillisecondsPerSecond, Figures& figures)
{
    const auto copied = startCopy(program, serving, content, targets);
    if (!copied || !program.isRunning()) {
        figures.failure = !copied ? "the clipboard owner did not take the clipboard" : "it ended during the copies";
        return false;
    }
    const auto allowance =
        std::clamp(2 * idleMillisecondsPerSecond * std::chrono::duration<double>(window).count(), 1.0, 5.0) * 1e6;
    const auto arrived = serving->request(true, 15s);
    // The work cannot have ended before the content was asked for.
    const auto end = arrived ? program.settle(window, static_cast<long long>(allowance), 15s) : std::nullopt;
    if (arrived) {
        figures[kind + "the first request for it, median / max (ms)"].push_back(milliseconds(*arrived - *copied));
    }
    if (end) {
        figures[kind + "the end of the work, median / max (ms)"].push_back(
            milliseconds(std::max(*end, *arrived) - *copied));
    } else {
        auto& missed = figures[kind + "no request in 15 s, or no end of the work (copies)"];
        missed = {missed.empty() ? 1 : missed[0] + 1};
    }
    // A random pause of up to half a second, so that copies do not keep step with a program that looks at the
    // clipboard on a timer.
    static std::mt19937 random(std::random_device{}());
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 500));
    return true;
}
