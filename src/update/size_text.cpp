#include "update/size_text.h"

#include <array>
#include <cstdio>

namespace update {

std::string sizeText(std::uint64_t bytes)
{
    constexpr std::uint64_t kKilobyte = 1024;
    constexpr std::uint64_t kMegabyte = kKilobyte * 1024;
    constexpr std::uint64_t kGigabyte = kMegabyte * 1024;

    const char *unit = "bytes";
    double amount = static_cast<double>(bytes);
    if (bytes >= kGigabyte) {
        unit = "GB";
        amount /= static_cast<double>(kGigabyte);
    } else if (bytes >= kMegabyte) {
        unit = "MB";
        amount /= static_cast<double>(kMegabyte);
    } else if (bytes >= kKilobyte) {
        unit = "KB";
        amount /= static_cast<double>(kKilobyte);
    }
    std::array<char, 64> buffer {};
    std::snprintf(buffer.data(), buffer.size(), "%.2f %s", amount, unit);
    return buffer.data();
}

} // namespace update
