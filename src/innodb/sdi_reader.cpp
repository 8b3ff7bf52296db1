#include "innodb/sdi_reader.h"

#include "innodb/long_value_store.h"
#include "innodb/overflow_chain.h"
#include "innodb/page_check.h"
#include "innodb/page_layout.h"
#include "innodb/space_format.h"

#include <set>
#include <zlib.h>

namespace innodb {

namespace {

constexpr std::uint32_t kFspFlagSdi = 1u << 14; // FSP_FLAGS_MASK_SDI
constexpr std::size_t kFspHeaderBytes = 112; // FSP_HEADER_SIZE
// Encryption::INFO_MAX_SIZE: magic (3), master key id (4), key and iv (2 x 32), server uuid
// (36), checksum (4), and 4 more the server reserves.
constexpr std::size_t kEncryptionInfoMaxSize = 3 + 4 + 2 * 32 + 36 + 4 + 4;
constexpr std::size_t kXdesBitmapOffset = 24; // XDES_BITMAP: the per-page bits follow it

// An SDI record from its origin (rem0rec.h REC_N_NEW_EXTRA_BYTES before it; fsp0sdi offsets).
constexpr std::size_t kNewExtraBytes = 5;
constexpr std::size_t kSdiType = 0; // 4
constexpr std::size_t kSdiId = 4; // 8
constexpr std::size_t kSdiUncompressedLength = 4 + 8 + 6 + 7; // after DB_TRX_ID, DB_ROLL_PTR
constexpr std::size_t kSdiCompressedLength = kSdiUncompressedLength + 4;
constexpr std::size_t kSdiData = kSdiCompressedLength + 4; // 33
constexpr std::size_t kSdiChildPage = 4 + 8; // a node pointer: the key, then the child
// The lowest 3 bits of the second header byte before the origin: 0 ordinary, 1 node pointer.
constexpr std::uint8_t kStatusMask = 0x07;
constexpr std::uint8_t kDeletedFlag = 0x20; // info bits of the first header byte
// Definitions far beyond any real table's are damage, not data to allocate for.
constexpr std::uint32_t kLargestDefinition = 64u << 20;

std::string pageName(std::uint32_t page) { return "SDI page " + std::to_string(page); }

// Where page 0 keeps the SDI version and root page number: after the extent descriptors that
// describe the first pages and the space reserved for MySQL's encryption data.
std::size_t sdiOffset(std::size_t physicalPageSize, std::size_t pageSize)
{
    const std::size_t extent = extentPages(pageSize);
    const std::size_t descriptorSize = kXdesBitmapOffset + (extent * 2 + 7) / 8;
    return kFilPageData + kFspHeaderBytes + descriptorSize * (physicalPageSize / extent)
        + kEncryptionInfoMaxSize;
}

class SdiTree
{
public:
    explicit SdiTree(PageSource &source) : m_source(source), m_buffer(source.pageSize()) { }

    common::Result<ConstPage> read(std::uint32_t number)
    {
        if (!m_seen.insert(number).second) {
            return common::corruption("the SDI tree leads back to page " + std::to_string(number));
        }
        if (number == kFilNull || number >= m_source.pageCount()) {
            return common::corruption(pageName(number) + " lies beyond the end of the file");
        }
        const PageRead read = m_source.readPage(number, m_buffer);
        if (!read) {
            return common::corruption(
                pageName(number) + (read.reason.empty() ? " cannot be read" : " is " + read.reason));
        }
        const ConstPage page(m_buffer);
        if (const PageCheck check = read.storedCheck ? *read.storedCheck : checkPageEitherLayout(page);
            !check.ok()) {
            return common::corruption(pageName(number) + " is " + std::string(describe(check.verdict)));
        }
        if (pageNumberOf(page) != number || pageTypeOf(page) != kFilPageTypeSdi
            || !isCompactPage(page)) {
            return common::corruption(pageName(number) + " is not a page of the SDI index (type "
                + std::to_string(pageTypeOf(page)) + ")");
        }
        return page;
    }

private:
    PageSource &m_source;
    std::vector<std::uint8_t> m_buffer;
    std::set<std::uint32_t> m_seen;
};

// The user records of a new-style page, along the next-record links, each inside the page.
template <typename Visit>
common::Status forEachRecord(ConstPage page, std::uint32_t number, Visit visit)
{
    std::size_t origin = firstRecordOrigin(page);
    const std::size_t limit = directoryStartOf(page);
    for (std::size_t walked = 0; origin != kPageNewSupremum; ++walked) {
        if (origin < kPageNewSupremumEnd + kNewExtraBytes || origin >= limit
            || walked > page.size() / kNewExtraBytes) {
            return common::corruption(pageName(number) + " has a record link to "
                + std::to_string(origin) + ", outside its records");
        }
        if (auto visited = visit(origin); !visited) {
            return visited;
        }
        origin = (origin + readUint16(page, origin - 2)) & 0xFFFF;
    }
    return common::okStatus();
}

common::Result<std::string> inflate(common::Bytes stream, std::uint32_t length)
{
    std::string text(length, '\0');
    uLongf produced = length;
    const int status = ::uncompress(reinterpret_cast<Bytef *>(text.data()), &produced,
        stream.data(), static_cast<uLong>(stream.size()));
    if (status != Z_OK || produced != length) {
        return common::corruption("an SDI record's definition does not inflate to its "
            + std::to_string(length) + " bytes");
    }
    return text;
}

// One leaf record: its fixed fields, then the zlib stream, here or on SDI BLOB pages.
common::Result<SdiRecord> readRecord(
    PageSource &source, ConstPage page, std::size_t origin, std::size_t limit)
{
    // The one variable field's length, one byte or, for a long or external value, two
    // (rem0rec.cc, rec_init_offsets_comp_ordinary): 0x80 marks two bytes, 0x40 external.
    const std::size_t lengthAt = origin - kNewExtraBytes - 1;
    std::uint32_t length = page[lengthAt];
    bool external = false;
    if ((length & 0x80) != 0) {
        external = (length & 0x40) != 0;
        length = ((length & 0x3F) << 8) | page[lengthAt - 1];
    }
    if (!common::fits(limit, origin, kSdiData + length)) {
        return common::corruption("an SDI record at " + std::to_string(origin) + " leaves its page");
    }
    SdiRecord record;
    record.type = readUint32(page, origin + kSdiType);
    record.id = readUint64(page, origin + kSdiId);
    const std::uint32_t uncompressed = readUint32(page, origin + kSdiUncompressedLength);
    const std::uint32_t compressed = readUint32(page, origin + kSdiCompressedLength);
    if (uncompressed > kLargestDefinition || compressed > kLargestDefinition) {
        return common::corruption("an SDI record claims a definition of "
            + std::to_string(std::max(uncompressed, compressed)) + " bytes");
    }
    const common::Bytes local = page.subspan(origin + kSdiData, length);
    if (!external) {
        if (length != compressed) {
            return common::corruption("an SDI record holds " + std::to_string(length)
                + " bytes where its header says " + std::to_string(compressed));
        }
        auto text = inflate(local, uncompressed);
        if (!text) {
            return text.error();
        }
        record.json = std::move(*text);
        return record;
    }
    if (length < kExternReferenceSize) {
        return common::corruption("an SDI record's external reference is cut short");
    }
    const common::Bytes reference = local.subspan(length - kExternReferenceSize);
    const std::uint64_t externalLength
        = readBigEndian(reference, kExternLength, 8) & 0xFFFFFFFFu;
    if (length - kExternReferenceSize + externalLength != compressed) {
        return common::corruption("an SDI record's stored parts do not add up to its length");
    }
    LongValueStore store(kLargestDefinition);
    StoredBytes value;
    {
        LongValueWriter writer(store, value);
        if (auto head = writer.append(local.first(length - kExternReferenceSize)); !head) {
            return head.error();
        }
        OverflowExpectation expectation;
        expectation.spaceId = readUint32(reference, kExternSpaceId);
        expectation.blobPageType = source.compressedPageSize() != 0 ? kFilPageTypeSdiZBlob
                                                                     : kFilPageTypeSdiBlob;
        const OverflowResult chain = ReadOverflowChain(source, expectation,
            readUint32(reference, kExternPageNumber), externalLength, writer);
        if (!chain.complete) {
            return common::corruption("an SDI record's definition cannot be read whole: "
                + chain.damage);
        }
    }
    auto bytes = value.readAll();
    if (!bytes) {
        return bytes.error();
    }
    auto text = inflate(*bytes, uncompressed);
    if (!text) {
        return text.error();
    }
    record.json = std::move(*text);
    return record;
}

} // namespace

bool hasSdi(PageSource &source)
{
    std::vector<std::uint8_t> buffer(source.pageSize());
    if (!source.readPage(kFspHeaderPage, buffer)) {
        return false;
    }
    return (readUint32(buffer, kFspSpaceFlags) & kFspFlagSdi) != 0;
}

common::Result<std::vector<SdiRecord>> readSdiRecords(PageSource &source)
{
    std::vector<std::uint8_t> header(source.pageSize());
    if (!source.readPage(kFspHeaderPage, header)) {
        return common::corruption("page 0 cannot be read");
    }
    if ((readUint32(header, kFspSpaceFlags) & kFspFlagSdi) == 0) {
        return common::Error { common::ErrorKind::NotSupported,
            "the tablespace keeps no table definition (no SDI): a server before MySQL 8.0 wrote it",
            {} };
    }
    const std::size_t physical
        = source.compressedPageSize() != 0 ? source.compressedPageSize() : source.pageSize();
    const std::size_t at = sdiOffset(physical, source.pageSize());
    if (!common::fits(header.size(), at, 8)) {
        return common::corruption("page 0 is too small to name the SDI root");
    }
    const std::uint32_t version = readUint32(header, at);
    std::uint32_t number = readUint32(header, at + 4);
    if (version != 1) {
        return common::corruption("page 0 names SDI version " + std::to_string(version)
            + ", not 1 (the field is damaged, or a later server wrote it)");
    }

    // Down the leftmost node pointers to the first leaf, then along the leaves: each walk with
    // its own memory of the pages met, so that a loop in either ends it.
    SdiTree levels(source);
    SdiTree leaves(source);
    std::vector<SdiRecord> records;
    for (;;) {
        auto page = levels.read(number);
        if (!page) {
            return page.error();
        }
        if (pageLevelOf(*page) == 0) {
            break;
        }
        const std::size_t first = firstRecordOrigin(*page);
        if (first == kPageNewSupremum || !common::fits(page->size(), first, kSdiChildPage + 4)) {
            return common::corruption(pageName(number) + " has no node pointer to follow");
        }
        number = readUint32(*page, first + kSdiChildPage);
    }
    while (number != kFilNull) {
        auto page = leaves.read(number);
        if (!page) {
            return page.error();
        }
        const ConstPage leaf = *page;
        const std::size_t limit = std::min<std::size_t>(heapTopOf(leaf), directoryStartOf(leaf));
        auto walked = forEachRecord(leaf, number, [&](std::size_t origin) -> common::Status {
            if ((leaf[origin - kNewExtraBytes] & kDeletedFlag) != 0
                || (leaf[origin - 3] & kStatusMask) != 0) {
                return common::okStatus();
            }
            auto record = readRecord(source, leaf, origin, limit);
            if (!record) {
                common::Error error = record.error();
                error.where = pageName(number);
                return error;
            }
            records.push_back(std::move(*record));
            return common::okStatus();
        });
        if (!walked) {
            return walked.error();
        }
        number = nextPageOf(leaf);
    }
    return records;
}

} // namespace innodb
