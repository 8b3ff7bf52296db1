// CRC-32 Castagnoli (reflected polynomial 0x82F63B78, initial and final XOR 0xFFFFFFFF), as
// ut_crc32() computes it for the crc32 and full_crc32 page checksums.
#pragma once

#include <cstdint>
#include <span>

namespace innodb {

// The SSE4.2 instruction where the processor has it, the table path otherwise; both give the
// same value for every input.
std::uint32_t crc32c(std::span<const std::uint8_t> bytes);

// The two paths on their own, for the test that holds them equal.
std::uint32_t crc32cSoftware(std::span<const std::uint8_t> bytes);
// False when this processor (or this build's target) has no CRC32 instruction.
bool crc32cHardwareAvailable();
// Only to be called when crc32cHardwareAvailable().
std::uint32_t crc32cHardware(std::span<const std::uint8_t> bytes);

} // namespace innodb
