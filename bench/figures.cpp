#include "bench/figures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

std::vector<double>& Figures::operator[](const std::string& title)
{
    const auto row = std::ranges::find(rows, title, &std::pair<std::string, std::vector<double>>::first);
    return row != rows.end() ? row->second : rows.emplace_back(title, std::vector<double>{}).second;
}

double milliseconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

bool waitUntil(const std::function<bool()>& isDone, std::chrono::steady_clock::duration timeout,
               std::chrono::steady_clock::duration period)
{
    // Not asked again once it held: what it reads may be gone.
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !isDone();
         std::this_thread::sleep_for(period)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> newLines(const std::string& file, std::streamoff& read)
{
    std::ifstream stream(file);
    stream.seekg(read);
    std::vector<std::string> lines;
    for (std::string line; std::getline(stream, line) && !stream.eof(); lines.push_back(line)) {
        read += static_cast<std::streamoff>(line.size()) + 1;
    }
    return lines;
}

bool readSettings(int argc, char** argv, std::map<std::string, int>& settings, const char* usage)
{
    for (int index = 1; index < argc; index += 2) {
        if (!settings.contains(argv[index]) || index + 1 == argc || std::atoi(argv[index + 1]) < 0) {
            std::fprintf(stderr, "usage: %s %s\n", argv[0], usage);
            return false;
        }
        settings[argv[index]] = std::atoi(argv[index + 1]);
    }
    return true;
}

bool printTable(const std::vector<std::string>& programs, std::vector<Figures>& columns)
{
    const auto format = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 1 ? "%.1f" : "%.3f", value);
        return std::string(text);
    };
    std::string header = "| figure |";
    std::string rule = "|---|";
    for (std::size_t column = 0; column < columns.size(); ++column) {
        header += " " + programs[column] + " |";
        rule += "---|";
    }
    std::printf("%s\n%s\n", header.c_str(), rule.c_str());
    // The rows of the column that has most: one that failed early has fewer.
    const auto table = std::ranges::max_element(columns, {}, [](const Figures& column) { return column.rows.size(); });
    for (const auto& [title, ignored] : table->rows) {
        std::printf("| %s |", title.c_str());
        // The median, and the largest value when there are more.
        for (auto& column : columns) {
            auto values = column[title];
            std::ranges::sort(values);
            const auto median =
                values.empty() ? "-" : format((values[values.size() / 2] + values[(values.size() - 1) / 2]) / 2);
            std::printf(" %s |", (values.size() > 1 ? median + " / " + format(values.back()) : median).c_str());
        }
        std::printf("\n");
    }
    for (std::size_t column = 0; column < columns.size(); ++column) {
        if (!columns[column].failure.empty()) {
            std::printf("\n%s failed: %s\n", programs[column].c_str(), columns[column].failure.c_str());
        }
    }
    return std::ranges::all_of(columns, [](const Figures& column) { return column.failure.empty(); });
}
