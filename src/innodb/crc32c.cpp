#include "innodb/crc32c.h"

#include "common/byte_reader.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>
#define ZR_CRC32C_X86 1
#else
#define ZR_CRC32C_X86 0
#endif

namespace innodb {

namespace {

// Slicing by 8: eight tables, so the loop takes a byte per table per step. Checking every page
// of a multi-gigabyte ibdata1 must not cost more than reading it.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables makeCrcTables()
{
    CrcTables tables {};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0x82F63B78 : crc >> 1;
        }
        tables[0][i] = crc;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
        for (std::size_t t = 1; t < 8; ++t) {
            const std::uint32_t previous = tables[t - 1][i];
            tables[t][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    }
    return tables;
}

constexpr CrcTables kCrcTables = makeCrcTables();

std::uint32_t loadLittleEndian32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(common::readLittleEndianUnchecked(p, 4));
}

#if ZR_CRC32C_X86
// Built for the baseline x86-64 target, so the instruction is enabled for this function alone
// and reached only after the processor has said it has it.
__attribute__((target("sse4.2"))) std::uint32_t crc32cSse42(const std::uint8_t *p, std::size_t left)
{
    std::uint64_t crc = 0xFFFFFFFF;
    while (left >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, 8); // the instruction reads the word little-endian, as x86 stores it
        crc = _mm_crc32_u64(crc, word);
        p += 8;
        left -= 8;
    }
    auto crc32 = static_cast<std::uint32_t>(crc);
    for (; left > 0; --left, ++p) {
        crc32 = _mm_crc32_u8(crc32, *p);
    }
    return crc32 ^ 0xFFFFFFFF;
}
#endif

const bool kHardware = [] {
#if ZR_CRC32C_X86
    return __builtin_cpu_supports("sse4.2") != 0;
#else
    return false;
#endif
}();

} // namespace

std::uint32_t crc32cSoftware(std::span<const std::uint8_t> bytes)
{
    std::uint32_t crc = 0xFFFFFFFF;
    const std::uint8_t *p = bytes.data();
    std::size_t left = bytes.size();
    while (left >= 8) {
        const std::uint32_t low = loadLittleEndian32(p) ^ crc;
        const std::uint32_t high = loadLittleEndian32(p + 4);
        crc = kCrcTables[7][low & 0xFF] ^ kCrcTables[6][(low >> 8) & 0xFF]
            ^ kCrcTables[5][(low >> 16) & 0xFF] ^ kCrcTables[4][low >> 24]
            ^ kCrcTables[3][high & 0xFF] ^ kCrcTables[2][(high >> 8) & 0xFF]
            ^ kCrcTables[1][(high >> 16) & 0xFF] ^ kCrcTables[0][high >> 24];
        p += 8;
        left -= 8;
    }
    for (; left > 0; --left, ++p) {
        crc = (crc >> 8) ^ kCrcTables[0][(crc ^ *p) & 0xFF];
    }
    return crc ^ 0xFFFFFFFF;
}

bool crc32cHardwareAvailable() { return kHardware; }

std::uint32_t crc32cHardware(std::span<const std::uint8_t> bytes)
{
#if ZR_CRC32C_X86
    return crc32cSse42(bytes.data(), bytes.size());
#else
    return crc32cSoftware(bytes);
#endif
}

std::uint32_t crc32c(std::span<const std::uint8_t> bytes)
{
    return kHardware ? crc32cHardware(bytes) : crc32cSoftware(bytes);
}

} // namespace innodb
