// Reading the ground-truth files of the generated fixtures and comparing dumps with them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// The lines of a file without their line breaks.
std::vector<std::string> readLines(const std::filesystem::path &path);

// The rows of a truth file (its header line left out), sorted.
std::vector<std::string> sortedRows(const std::filesystem::path &path);

// Empty when both files hold the same lines, else a short account of the first difference
// (rows can be kilobytes long, so only the neighbourhood of the first differing byte is shown).
std::string firstDifference(
    const std::filesystem::path &actual, const std::filesystem::path &expected);

// A fixture folder named by an environment variable, else the build's own folder for the known
// names (ZR_ZARAFA_FIXTURE_DIR, ZR_ZARAFA_CHURN_FIXTURE_DIR, ZR_SAMPLE_FIXTURE_DIR).
std::filesystem::path fixtureFromEnvironment(const char *variable);

} // namespace testing_support
