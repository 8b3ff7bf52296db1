#include "update/version_file.h"

#include "update/compare_versions.h"
#include "update/download_signature.h"

#include <vector>

namespace update {

namespace {

std::vector<std::string_view> splitLines(std::string_view body)
{
    std::vector<std::string_view> lines;
    while (!body.empty()) {
        const std::size_t end = body.find('\n');
        std::string_view line = body.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        body.remove_prefix(end + 1);
    }
    return lines;
}

CheckResult mapComparison(int comparison)
{
    switch (comparison) {
    case 0:
    case -1:
        return CheckResult::UpToDate;
    case 1:
        return CheckResult::NewerVersion;
    case 2:
        return CheckResult::NewMajorRelease;
    case 3:
        return CheckResult::NewerWithSecondLine;
    default:
        return CheckResult::NotUnderstood;
    }
}

// "<64 hex digits>" alone or followed by blanks and a file name, as `sha256sum` prints it.
bool takeSha256(std::string_view line, std::string &sha256)
{
    constexpr std::size_t kHexLength = 64;
    if (line.size() < kHexLength || !isSha256Hex(line.substr(0, kHexLength))
        || (line.size() > kHexLength && line[kHexLength] != ' ' && line[kHexLength] != '\t')) {
        return false;
    }
    sha256 = std::string(line.substr(0, kHexLength));
    return true;
}

} // namespace

VersionOffer readVersionFile(std::string_view body, std::string_view installedVersion)
{
    VersionOffer offer;
    if (body.size() > kVersionFileLimit) {
        return offer;
    }
    std::vector<std::string_view> lines;
    for (const std::string_view line : splitLines(body)) {
        if (lines.empty() || !takeSha256(line, offer.sha256)) {
            lines.push_back(line);
        }
    }
    // Nothing readable on line 1 leaves the comparison at "not a version".
    int comparison = kOfferedNotAVersion;
    if (!lines.empty() && !lines[0].empty()) {
        offer.offeredVersion = std::string(lines[0].substr(0, kVersionLength));
        comparison = CompareVersions(offer.offeredVersion, installedVersion);
    }
    // A blank line after the first is the file's last line ending, not a second version.
    if (lines.size() > 1 && !lines[1].empty()) {
        const std::string second(lines[1].substr(0, kVersionLength));
        const int secondComparison = CompareVersions(second, installedVersion);
        comparison = comparison == 1 ? 3 : secondComparison;
        if (secondComparison == 1 || secondComparison == -1) {
            offer.offeredVersion = second;
        }
    }
    offer.result = mapComparison(comparison);
    return offer;
}

} // namespace update
