// sizeText: a byte count as the update wizard shows it ("3.00 MB").
#pragma once

#include <cstdint>
#include <string>

namespace update {

// "%.2f GB" from 2^30 bytes, "%.2f MB" from 2^20, "%.2f KB" from 1,024, else "%.2f bytes".
std::string sizeText(std::uint64_t bytes);

} // namespace update
