#include "innodb/overflow_chain.h"

#include "innodb/lob_index.h"
#include "innodb/page_check.h"
#include "innodb/page_layout.h"
#include "innodb/zip_blob.h"

#include <unordered_set>
#include <vector>

namespace innodb {

namespace {

std::string pageName(std::uint32_t page) { return "overflow page " + std::to_string(page); }

// Why `page` (read as number `number`) cannot hold a part of the value, or empty when it can.
std::string refusal(ConstPage page, const PageRead &read, std::uint32_t number,
    const OverflowExpectation &expectation)
{
    if (std::string why = chainPageRefusal(page, read, number, expectation.spaceId, pageName(number));
        !why.empty()) {
        return why;
    }
    const std::uint16_t type = pageTypeOf(page);
    if (type == kFilPageTypeZBlob || type == kFilPageTypeZBlob2) {
        return pageName(number) + " is a compressed BLOB page, not part of an uncompressed value";
    }
    if (type == kFilPageTypeZLobFirst || type == kFilPageTypeZLobData
        || type == kFilPageTypeZLobFragment) {
        return pageName(number) + " is in MySQL 8's compressed LOB format (page type "
            + std::to_string(type) + "), which this program does not read";
    }
    if (type != expectation.blobPageType
        && !(type == kFilPageTypeAllocated && expectation.untypedBlobPages)) {
        return pageName(number) + " is not a BLOB page (page type " + std::to_string(type) + ")";
    }
    return {};
}

} // namespace

std::string chainPageRefusal(ConstPage page, const PageRead &read, std::uint32_t number,
    std::uint32_t spaceId, const std::string &name)
{
    // The checksum first: random bytes over a page usually leave its header intact, and only the
    // checksum then tells the page from a good one. A page stored compressed is checked as
    // stored: its view no longer carries the checksum.
    if (const PageCheck check = read.storedCheck ? *read.storedCheck : checkPageEitherLayout(page);
        !check.ok()) {
        return name + " is " + std::string(describe(check.verdict));
    }
    if (pageNumberOf(page) != number) {
        return name + " holds page " + std::to_string(pageNumberOf(page))
            + " (the chain points to a page written elsewhere)";
    }
    if (spaceIdOf(page) != spaceId) {
        return name + " belongs to tablespace " + std::to_string(spaceIdOf(page))
            + ", not to tablespace " + std::to_string(spaceId);
    }
    return {};
}

OverflowResult ReadOverflowChain(PageSource &pages, const OverflowExpectation &expectation,
    std::uint32_t firstPage, std::uint64_t expectedLength, LongValueWriter &writer)
{
    if (pages.compressedPageSize() != 0) {
        return readCompressedBlob(pages, expectation, firstPage, expectedLength, writer);
    }
    OverflowResult result;
    const auto stop = [&result](std::string why) {
        result.damage = std::move(why);
        return result;
    };
    // One page buffer for the whole chain, so that any value size costs the same memory.
    static thread_local std::vector<std::uint8_t> buffer;
    buffer.resize(pages.pageSize());
    std::unordered_set<std::uint32_t> seen;
    std::uint32_t page = firstPage;
    while (result.bytesRead < expectedLength) {
        const std::string missing = std::to_string(expectedLength - result.bytesRead) + " of "
            + std::to_string(expectedLength) + " bytes";
        if (page == kFilNull) {
            return stop("the overflow chain ends with " + missing + " still missing");
        }
        if (!seen.insert(page).second) {
            return stop("the overflow chain loops back to page " + std::to_string(page));
        }
        if (page >= pages.pageCount()) {
            return stop(pageName(page) + " lies beyond the end of the file");
        }
        const PageRead read = pages.readPage(page, buffer);
        if (!read) {
            return stop(
                pageName(page) + (read.reason.empty() ? " cannot be read" : " is " + read.reason));
        }
        const ConstPage view(buffer);
        if (page == firstPage && pageTypeOf(view) == kFilPageTypeLobFirst) {
            return ReadLobValue(pages, expectation, firstPage, expectedLength, writer);
        }
        if (std::string why = refusal(view, read, page, expectation); !why.empty()) {
            return stop(std::move(why));
        }
        const std::uint32_t partLength = readUint32(view, kBlobPartLength);
        if (partLength == 0 || !common::fits(filTrailerOf(view.size()), kBlobData, partLength)) {
            return stop(pageName(page) + " gives an impossible part length of "
                + std::to_string(partLength) + " bytes");
        }
        const std::uint64_t wanted
            = std::min<std::uint64_t>(partLength, expectedLength - result.bytesRead);
        if (auto appended = writer.append(common::Bytes(buffer.data() + kBlobData, wanted));
            !appended.ok()) {
            return stop("the value cannot be kept: " + appended.error().describe());
        }
        result.bytesRead += wanted;
        page = readUint32(view, kBlobNextPage);
        result.overran
            = wanted < partLength || (result.bytesRead == expectedLength && page != kFilNull);
    }
    result.complete = true;
    return result;
}

bool holdsUntypedBlobPages(PageSource &pages)
{
    std::vector<std::uint8_t> header(pages.pageSize());
    if (!pages.readPage(kFspHeaderPage, header)) {
        return true;
    }
    const ConstPage page(header);
    if (!checkPageEitherLayout(page).ok() || pageNumberOf(page) != kFspHeaderPage) {
        return true;
    }
    return pageTypeOf(page) == kFilPageTypeAllocated;
}

} // namespace innodb
