// PageSource: where the decoders get whole pages by number: a tablespace file, or a test's bytes.
//
// A page reaches the decoders as a view of the tablespace's own page size (4 to 64 KiB), laid out
// as an uncompressed page. Where the file stores it in another form (ROW_FORMAT=COMPRESSED, MariaDB
// PAGE_COMPRESSED), the source turns it into that view, and says what the stored bytes' own checks
// found, since the view no longer carries them.
#pragma once

#include "innodb/page_verdict.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace innodb {

inline constexpr std::size_t kDefaultPageSize = 16384; // innodb_page_size of a default server
inline constexpr std::size_t kMinPageSize = 4096;
inline constexpr std::size_t kMaxPageSize = 65536;

using PageBuffer = std::span<std::uint8_t>;

// What one readPage() found. Converts to true when the view is in the buffer.
struct PageRead
{
    enum class Outcome {
        Read, // the page's view is in the buffer
        Missing, // past the end of the file, or the file gave fewer bytes than a page
        Damaged, // stored, but its compressed form does not give a page
        Unreadable, // stored in a form this program cannot read; `reason` names it
    };
    Outcome outcome = Outcome::Read;
    // The checks of the stored bytes, for a page stored in another form than its view; empty
    // when the view is the stored page and carries its own checksum.
    std::optional<PageCheck> storedCheck;
    std::string reason; // for Damaged and Unreadable: "encrypted", "compressed with snappy, ..."

    bool ok() const { return outcome == Outcome::Read; }
    explicit operator bool() const { return ok(); }

    static PageRead missing() { return { Outcome::Missing, std::nullopt, {} }; }
};

class PageSource
{
public:
    virtual ~PageSource() = default;
    // The size of the views readPage() gives: the tablespace's page size.
    virtual std::size_t pageSize() const { return kDefaultPageSize; }
    // Reads page `pageNumber` into `buffer`, which holds pageSize() bytes. Never writes to the
    // file.
    virtual PageRead readPage(std::uint32_t pageNumber, PageBuffer buffer) = 0;
    virtual std::uint64_t pageCount() const = 0;
    // The size of a ROW_FORMAT=COMPRESSED page in the file, 0 in a space without them. The
    // BLOB pages of such a space are one zlib stream across pages; readPage() gives each as
    // stored, in the first compressedPageSize() bytes of the buffer.
    virtual std::size_t compressedPageSize() const { return 0; }
};

} // namespace innodb
