#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

/// The calls that several fakes received, in one sequence, for tests of the order between collaborators.
class CallLog
{
public:
    void record(std::string call) { m_calls.push_back(std::move(call)); }

    [[nodiscard]] const std::vector<std::string>& calls() const { return m_calls; }
    [[nodiscard]] std::size_t count(const std::string& call) const
    {
        return static_cast<std::size_t>(std::count(m_calls.begin(), m_calls.end(), call));
    }

private:
    std::vector<std::string> m_calls;
};
