#include "innodb/zip_blob.h"

#include "innodb/page_check.h"
#include "innodb/page_layout.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_set>
#include <vector>
#include <zlib.h>

namespace innodb {

namespace {

// Frees zlib's state on every way out.
class Inflater
{
public:
    Inflater() { m_open = inflateInit(&m_stream) == Z_OK; }
    ~Inflater()
    {
        if (m_open) {
            inflateEnd(&m_stream);
        }
    }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;
    bool open() const { return m_open; }
    z_stream &stream() { return m_stream; }

private:
    z_stream m_stream {};
    bool m_open = false;
};

} // namespace

OverflowResult readCompressedBlob(PageSource &pages, const OverflowExpectation &expectation,
    std::uint32_t firstPage, std::uint64_t expectedLength, LongValueWriter &writer)
{
    OverflowResult result;
    const auto stop = [&result](std::string why) {
        result.damage = std::move(why);
        return result;
    };
    const auto name
        = [](std::uint32_t number) { return "compressed BLOB page " + std::to_string(number); };
    const std::size_t stored = pages.compressedPageSize();
    Inflater inflater;
    if (!inflater.open() || stored <= kFilPageData) {
        return stop("zlib cannot start");
    }
    z_stream &stream = inflater.stream();
    std::vector<std::uint8_t> page(pages.pageSize());
    std::array<std::uint8_t, 16384> out {};
    std::unordered_set<std::uint32_t> seen;
    std::uint16_t expectedType = kFilPageTypeZBlob;
    for (std::uint32_t number = firstPage;;) {
        if (number == kFilNull) {
            return stop("the compressed BLOB chain ends with "
                + std::to_string(expectedLength - result.bytesRead) + " of "
                + std::to_string(expectedLength) + " bytes still missing");
        }
        if (!seen.insert(number).second) {
            return stop("the compressed BLOB chain loops back to page " + std::to_string(number));
        }
        // The stream's own check comes only at its end, after the last byte wanted: a damaged
        // page could inflate to wrong bytes unnoticed, so its checksum decides.
        const PageRead read = pages.readPage(number, page);
        if (!read) {
            return stop(name(number) + " cannot be read");
        }
        if (read.storedCheck && !read.storedCheck->ok()) {
            return stop(name(number) + " is " + std::string(describe(read.storedCheck->verdict)));
        }
        if (pageNumberOf(page) != number || spaceIdOf(page) != expectation.spaceId) {
            return stop(name(number) + " names another page or tablespace");
        }
        if (const std::uint16_t type = pageTypeOf(page); type == kFilPageTypeZLobFirst
            || type == kFilPageTypeZLobData || type == kFilPageTypeZLobFragment) {
            // MySQL 8 writes a compressed table's long values as an index of separately
            // compressed pieces: not the one stream read here, and not read elsewhere either.
            return stop(name(number) + " is in MySQL 8's compressed LOB format (page type "
                + std::to_string(type) + "), which this program does not read");
        }
        if (pageTypeOf(page) != expectedType) {
            return stop(
                name(number) + " is not one (page type " + std::to_string(pageTypeOf(page)) + ")");
        }
        const std::uint32_t next = nextPageOf(page);
        stream.next_in = page.data() + kFilPageData;
        stream.avail_in = static_cast<uInt>(stored - kFilPageData);
        while (true) {
            const std::uint64_t wanted
                = std::min<std::uint64_t>(out.size(), expectedLength - result.bytesRead);
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(wanted);
            const int status = inflate(&stream, Z_NO_FLUSH);
            const std::size_t produced = static_cast<std::size_t>(wanted - stream.avail_out);
            if (produced > 0) {
                if (auto appended = writer.append(common::Bytes(out.data(), produced));
                    !appended.ok()) {
                    return stop("the value cannot be kept: " + appended.error().describe());
                }
            }
            result.bytesRead += produced;
            if (result.bytesRead == expectedLength) {
                result.complete = true;
                return result;
            }
            if (status == Z_STREAM_END) {
                return stop("the compressed value ends after " + std::to_string(result.bytesRead)
                    + " of " + std::to_string(expectedLength) + " bytes");
            }
            if ((status != Z_OK && status != Z_BUF_ERROR)
                || (status == Z_BUF_ERROR && produced == 0 && stream.avail_in != 0)) {
                return stop("the compressed value does not inflate at " + name(number));
            }
            if (stream.avail_in == 0 && produced < wanted) {
                break; // this page's part is used up: on to the next page
            }
        }
        number = next;
        expectedType = kFilPageTypeZBlob2;
    }
}

} // namespace innodb
