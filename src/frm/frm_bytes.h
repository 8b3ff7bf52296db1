// FrmBytes: bounds-checked little-endian reads over a whole definition file, and the name lists
// its areas share.
#pragma once

#include "common/byte_reader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace frm {

inline constexpr std::uint8_t kNameSeparator = 0xFF;

// Bounds-checked little-endian reads over the whole file; the first read out of bounds makes
// the reader fail with the message of the section that asked.
class FrmBytes
{
public:
    explicit FrmBytes(common::Bytes bytes)
        : m_reader(bytes)
    {
    }

    std::size_t size() const { return m_reader.size(); }
    bool has(std::size_t offset, std::size_t width) const
    {
        return common::fits(m_reader.size(), offset, width);
    }
    std::uint8_t u8(std::size_t offset) const { return static_cast<std::uint8_t>(le(offset, 1)); }
    std::uint16_t u16(std::size_t offset) const
    {
        return static_cast<std::uint16_t>(le(offset, 2));
    }
    std::uint32_t u24(std::size_t offset) const
    {
        return static_cast<std::uint32_t>(le(offset, 3));
    }
    std::uint32_t u32(std::size_t offset) const
    {
        return static_cast<std::uint32_t>(le(offset, 4));
    }
    std::string text(std::size_t offset, std::size_t width) const
    {
        const auto slice = m_reader.slice(offset, width);
        return slice ? std::string(slice->begin(), slice->end()) : std::string();
    }
    common::Bytes from(std::size_t offset) const
    {
        return offset <= size() ? m_reader.bytes().subspan(offset) : common::Bytes();
    }

private:
    // Callers check has() first; an unchecked read past the end returns 0 rather than reading on.
    std::uint64_t le(std::size_t offset, std::size_t width) const
    {
        return m_reader.littleEndian(offset, width).value_or(0);
    }
    common::ByteReader m_reader;
};

// A list of names as the names and key-names areas store them: FF name FF name ... FF 00.
// Nothing when the area does not hold `count` names.
std::optional<std::vector<std::string>> splitNames(
    const FrmBytes &file, std::size_t offset, std::size_t length, std::size_t count);

// ENUM and SET member lists: per list "sep v1 sep v2 ... sep 00", sep being 0xFF unless a value
// holds that byte.
std::vector<std::vector<std::string>> splitIntervals(
    const FrmBytes &file, std::size_t offset, std::size_t length, std::size_t count);

} // namespace frm
