#pragma once

#include <chrono>
#include <functional>
#include <ios>
#include <map>
#include <string>
#include <vector>

/// The samples of each row of a whole-program benchmark's table, in the order the rows were first added; a
/// phase that failed says why in `failure`.
struct Figures
{
    std::vector<std::pair<std::string, std::vector<double>>> rows;
    std::string failure;

    std::vector<double>& operator[](const std::string& title);
};

[[nodiscard]] double milliseconds(std::chrono::steady_clock::duration duration);

/// Asks `isDone` every `period` until it holds, for at most `timeout`: whether it held.
bool waitUntil(const std::function<bool()>& isDone, std::chrono::steady_clock::duration timeout,
               std::chrono::steady_clock::duration period = std::chrono::milliseconds(1));

/// The whole lines that `file` has past `read`, which moves on past them: a program may be writing the last.
[[nodiscard]] std::vector<std::string> newLines(const std::string& file, std::streamoff& read);

/// Reads `--name N` pairs over `settings`; false, after printing `usage`, on anything else or N < 0.
[[nodiscard]] bool readSettings(int argc, char** argv, std::map<std::string, int>& settings, const char* usage);

/// One Markdown table, a column per program (the first of `programs`, as many as there are columns) with the median and
/// the largest of each row, then what failed; false when anything did.
bool printTable(const std::vector<std::string>& programs, std::vector<Figures>& columns);
