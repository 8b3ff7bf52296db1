#include "support/truth_files.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace testing_support {

std::vector<std::string> readLines(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> sortedRows(const std::filesystem::path &path)
{
    std::vector<std::string> rows = readLines(path);
    if (!rows.empty()) {
        rows.erase(rows.begin());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::string firstDifference(
    const std::filesystem::path &actual, const std::filesystem::path &expected)
{
    const auto a = readLines(actual);
    const auto e = readLines(expected);
    for (std::size_t i = 0; i < std::min(a.size(), e.size()); ++i) {
        if (a[i] != e[i]) {
            std::size_t at = 0;
            while (at < a[i].size() && at < e[i].size() && a[i][at] == e[i][at]) {
                ++at;
            }
            const std::size_t from = at > 40 ? at - 40 : 0;
            return "line " + std::to_string(i + 1) + " differs at byte " + std::to_string(at)
                + " (lengths " + std::to_string(a[i].size()) + ", " + std::to_string(e[i].size())
                + "): got ..." + a[i].substr(from, 120) + "\nwant ..." + e[i].substr(from, 120);
        }
    }
    if (a.size() != e.size()) {
        return std::to_string(a.size()) + " lines, want " + std::to_string(e.size());
    }
    return {};
}

std::filesystem::path fixtureFromEnvironment(const char *variable)
{
    if (const char *value = std::getenv(variable); value && *value) {
        return value;
    }
    const std::string name = variable;
    if (name == "ZR_ZARAFA_FIXTURE_DIR") {
        return ZR_DEFAULT_ZARAFA_FIXTURE_DIR;
    }
    if (name == "ZR_ZARAFA_CHURN_FIXTURE_DIR") {
        return ZR_DEFAULT_ZARAFA_CHURN_FIXTURE_DIR;
    }
    if (name == "ZR_SAMPLE_FIXTURE_DIR") {
        return ZR_DEFAULT_SAMPLE_FIXTURE_DIR;
    }
    return {};
}

} // namespace testing_support
