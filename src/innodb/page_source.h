// PageSource: where the decoders get whole pages by number: a tablespace file, or a test's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace innodb {

inline constexpr std::size_t kPageSize = 16384; // uncompressed pages of a default server

using PageBuffer = std::span<std::uint8_t, kPageSize>;

class PageSource
{
public:
    virtual ~PageSource() = default;
    // Reads page `pageNumber` into `buffer`; false when it lies beyond the end of the file or
    // cannot be read whole. Never writes to the file.
    virtual bool readPage(std::uint32_t pageNumber, PageBuffer buffer) = 0;
    virtual std::uint64_t pageCount() const = 0;
};

} // namespace innodb
