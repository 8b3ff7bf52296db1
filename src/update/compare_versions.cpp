#include "update/compare_versions.h"

#include <array>
#include <cstdint>
#include <optional>

namespace update {

namespace {

using Version = std::array<std::uint64_t, 4>;

// A number larger than any version part could need; longer runs of digits saturate here so
// that a hostile version file cannot overflow the arithmetic.
constexpr std::uint64_t kLargestPart = 999'999'999;

std::optional<std::uint64_t> readPart(std::string_view part)
{
    if (part.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : part) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > kLargestPart) {
            value = kLargestPart;
        }
    }
    return value;
}

// Splits at "." into at most four parts; whatever follows the third dot is the fourth part, so
// "1.2.3.4.5" fails on its fourth part "4.5".
std::optional<Version> readVersion(std::string_view text)
{
    Version version {};
    for (std::size_t index = 0; index < version.size(); ++index) {
        const bool last = index + 1 == version.size();
        const std::size_t dot = last ? std::string_view::npos : text.find('.');
        const auto part = readPart(text.substr(0, dot));
        if (!part) {
            return std::nullopt;
        }
        version[index] = *part;
        if (dot == std::string_view::npos) {
            break;
        }
        text.remove_prefix(dot + 1);
    }
    return version;
}

} // namespace

int CompareVersions(std::string_view offered, std::string_view installed)
{
    const auto a = readVersion(offered);
    if (!a) {
        return kOfferedNotAVersion;
    }
    const auto b = readVersion(installed);
    if (!b) {
        return kInstalledNotAVersion;
    }
    if ((*b)[0] < (*a)[0]) {
        return 2;
    }
    if ((*b)[0] > (*a)[0]) {
        return -1;
    }
    for (std::size_t index = 1; index < a->size(); ++index) {
        if ((*b)[index] < (*a)[index]) {
            return 1;
        }
        if ((*a)[index] < (*b)[index]) {
            return -1;
        }
    }
    return 0;
}

} // namespace update
