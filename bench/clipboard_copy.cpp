#include "bench/clipboard_copy.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>

ClipboardCopy::ClipboardCopy(std::vector<std::string> targets, const std::string& file, const std::string& log,
                             const char* plan)
    : m_targets(std::move(targets)), m_log(log),
      m_owner(
          [&] {
              std::vector<std::string> arguments{VELMORA_CLIPBOARD_OWNER, plan};
              for (const auto& target : m_targets) {
                  arguments.insert(arguments.end(), {target, file});
              }
              return arguments;
          }(),
          ChildProcess::Output::Logged, log)
{}

std::optional<ClipboardCopy::Clock::time_point> ClipboardCopy::taken()
{
    for (const auto deadline = Clock::now() + std::chrono::seconds(10); !m_taken && Clock::now() < deadline;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        readLog();
    }
    return m_taken;
}

const std::vector<ClipboardCopy::Request>& ClipboardCopy::requests()
{
    readLog();
    return m_requests;
}

void ClipboardCopy::readLog()
{
    std::ifstream log(m_log);
    log.seekg(m_read);
    // Only whole lines: the owner may be writing the last one.
    for (std::string line; std::getline(log, line) && !log.eof();) {
        m_read += static_cast<std::streamoff>(line.size()) + 1;
        char target[256] = "";
        long long nanoseconds = 0;
        if (std::sscanf(line.c_str(), "asked %255s %lld", target, &nanoseconds) == 2) {
            const bool isForData = std::ranges::find(m_targets, target) != m_targets.end();
            m_requests.push_back({target, Clock::time_point(std::chrono::nanoseconds(nanoseconds)), isForData});
        } else if (std::sscanf(line.c_str(), "ready %lld", &nanoseconds) == 1) {
            m_taken = Clock::time_point(std::chrono::nanoseconds(nanoseconds));
        }
    }
}
