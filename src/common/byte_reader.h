// Bounds-checked reads of integers from file bytes: big-endian for InnoDB, little-endian for .frm.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace common {

using Bytes = std::span<const std::uint8_t>;

// True when [offset, offset + width) lies inside a buffer of `size` bytes. Subtracts rather than
// adds, so that a huge offset read from damaged input cannot wrap around.
constexpr bool fits(std::size_t size, std::size_t offset, std::size_t width)
{
    return offset <= size && width <= size - offset;
}

// InnoDB stores every multi-byte field most significant byte first. Unchecked: callers test
// fits() first, or use the checked variants below.
inline std::uint64_t readBigEndianUnchecked(const std::uint8_t *p, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | p[i];
    }
    return value;
}

inline std::uint64_t readLittleEndianUnchecked(const std::uint8_t *p, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = width; i > 0; --i) {
        value = (value << 8) | p[i - 1];
    }
    return value;
}

class ByteReader
{
public:
    explicit ByteReader(Bytes bytes) : m_bytes(bytes) {}

    std::size_t size() const { return m_bytes.size(); }
    Bytes bytes() const { return m_bytes; }

    std::optional<std::uint64_t> bigEndian(std::size_t offset, std::size_t width) const
    {
        if (width == 0 || width > 8 || !fits(m_bytes.size(), offset, width)) {
            return std::nullopt;
        }
        return readBigEndianUnchecked(m_bytes.data() + offset, width);
    }

    std::optional<std::uint64_t> littleEndian(std::size_t offset, std::size_t width) const
    {
        if (width == 0 || width > 8 || !fits(m_bytes.size(), offset, width)) {
            return std::nullopt;
        }
        return readLittleEndianUnchecked(m_bytes.data() + offset, width);
    }

    std::optional<Bytes> slice(std::size_t offset, std::size_t width) const
    {
        if (!fits(m_bytes.size(), offset, width)) {
            return std::nullopt;
        }
        return m_bytes.subspan(offset, width);
    }

private:
    Bytes m_bytes;
};

} // namespace common
