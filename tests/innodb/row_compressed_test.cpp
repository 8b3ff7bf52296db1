// ROW_FORMAT=COMPRESSED tables of every KEY_BLOCK_SIZE written by a real MariaDB server
// (16k/row_compressed): every index page rebuilds into a page whose record chain is whole, the
// compressed page's checksum covers what the server's covers, and damage in any part of a
// compressed page or BLOB is a damaged page or a value cut short, never a read past either.
#include "innodb/overflow_chain.h"
#include "innodb/page_check.h"
#include "innodb/page_layout.h"
#include "innodb/record_chain.h"
#include "innodb/tablespace_file.h"
#include "innodb/zip_page.h"
#include "page_formats_support.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <zlib.h>

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

struct ZipTable
{
    const char *name;
    std::size_t zipSize;
};

constexpr ZipTable kZipTables[] = {
    { "zc1", 1024 },
    { "zc2", 2048 },
    { "zc4", 4096 },
    { "zc8", 8192 },
    { "zc16", 16384 },
    { "zc_nokey", 2048 },
};

fs::path zipFile(const std::string &table)
{
    return pageFormatsFolder("16k/row_compressed") / "Zarafa" / (table + ".ibd");
}

// The stored (compressed) pages of a file.
std::vector<std::vector<std::uint8_t>> storedPages(const fs::path &path, std::size_t size)
{
    const auto bytes = readFile(path);
    std::vector<std::vector<std::uint8_t>> pages;
    for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
        pages.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
            bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
    }
    return pages;
}

bool allZero(const std::vector<std::uint8_t> &page)
{
    return std::all_of(page.begin(), page.end(), [](std::uint8_t b) { return b == 0; });
}

// A clustered leaf page of zc4 whose modification log holds records, for the damage tests.
std::vector<std::uint8_t> leafWithLog()
{
    const auto pages = storedPages(zipFile("zc4"), 4096);
    const auto clustered = innodb::indexIdOf(pages.at(innodb::kIbdClusteredRoot));
    for (auto &page : pages) {
        std::vector<std::uint8_t> view(innodb::kDefaultPageSize);
        innodb::ZipPageStats stats;
        if (!allZero(page) && innodb::isCompressedIndexPage(page) && innodb::pageLevelOf(page) == 0
            && innodb::indexIdOf(page) == clustered
            && innodb::decompressIndexPage(page, view, &stats).ok() && stats.logEntries > 0
            && innodb::recordCountOf(page) > 3) {
            return page;
        }
    }
    return {};
}

// Where the modification log of a compressed page starts: right after its zlib stream.
std::size_t logStart(const std::vector<std::uint8_t> &page)
{
    z_stream zs {};
    if (inflateInit(&zs) != Z_OK) {
        return 0;
    }
    std::vector<std::uint8_t> sink(64 * 1024);
    zs.next_in = const_cast<Bytef *>(page.data() + innodb::kPageData);
    zs.avail_in = static_cast<uInt>(page.size() - innodb::kPageData);
    zs.next_out = sink.data();
    zs.avail_out = static_cast<uInt>(sink.size());
    const bool ended = inflate(&zs, Z_FINISH) == Z_STREAM_END;
    const auto at = static_cast<std::size_t>(zs.next_in - page.data());
    inflateEnd(&zs);
    return ended ? at : 0;
}

TEST(RowCompressedTest, EveryIndexPageOfEveryKeyBlockSizeRebuildsIntoAWholePage)
{
    std::size_t pages = 0;
    std::size_t nodePointerPages = 0;
    std::size_t pagesWithLog = 0;
    std::size_t freeRecords = 0;
    std::size_t deleteMarked = 0;
    for (const ZipTable &table : kZipTables) {
        SCOPED_TRACE(table.name);
        auto file = innodb::TablespaceFile::open(zipFile(table.name).string());
        ASSERT_TRUE(file.ok());
        EXPECT_EQ(file->compressedPageSize(), table.zipSize);
        EXPECT_EQ(file->pageSize(), innodb::kDefaultPageSize);
        std::uint32_t number = 0;
        for (const auto &stored : storedPages(zipFile(table.name), table.zipSize)) {
            SCOPED_TRACE(number++);
            if (allZero(stored)) {
                continue;
            }
            const innodb::PageCheck check = innodb::checkCompressedPage(stored);
            ASSERT_TRUE(check.ok());
            EXPECT_EQ(check.algorithm, innodb::ChecksumAlgorithm::Crc32);
            if (!innodb::isCompressedIndexPage(stored)) {
                continue;
            }
            std::vector<std::uint8_t> view(innodb::kDefaultPageSize);
            innodb::ZipPageStats stats;
            const innodb::PageRead read = innodb::decompressIndexPage(stored, view, &stats);
            ASSERT_TRUE(read.ok()) << read.reason;
            const auto chain = innodb::walkRecordChain(view);
            EXPECT_TRUE(chain.complete);
            EXPECT_EQ(chain.origins.size(), innodb::recordCountOf(view));
            for (const auto origin : chain.origins) {
                deleteMarked
                    += (innodb::recordInfoBits(view, origin, true) & innodb::kRecordInfoDeleted)
                    != 0;
            }
            ++pages;
            nodePointerPages += innodb::pageLevelOf(view) > 0;
            pagesWithLog += stats.logEntries > 0;
            freeRecords += stats.freeRecords;
        }
    }
    // What the folder must hold for this to mean something.
    EXPECT_GT(nodePointerPages, 5u);
    EXPECT_GT(pagesWithLog, 10u) << "of " << pages;
    EXPECT_GT(freeRecords, 0u);
    EXPECT_GT(deleteMarked, 0u);
}

// page_zip_calc_checksum(): the page number, prev and next, the type, and the space id onwards;
// not the checksum itself, the LSN or the flushed LSN field.
TEST(RowCompressedTest, TheChecksumCoversWhatTheServerCoversInEachAlgorithm)
{
    const auto original = leafWithLog();
    ASSERT_FALSE(original.empty());
    const auto stamp = [](std::vector<std::uint8_t> page, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            page[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
        }
        return page;
    };
    uLong adler = adler32(0L, original.data() + 4, 12);
    adler = adler32(adler, original.data() + 24, 2);
    adler = adler32(adler, original.data() + 34, static_cast<uInt>(original.size() - 34));

    EXPECT_EQ(innodb::checkCompressedPage(original).algorithm, innodb::ChecksumAlgorithm::Crc32);
    EXPECT_EQ(
        innodb::checkCompressedPage(stamp(original, static_cast<std::uint32_t>(adler))).algorithm,
        innodb::ChecksumAlgorithm::Innodb);
    EXPECT_EQ(innodb::checkCompressedPage(stamp(original, 0xDEADBEEF)).algorithm,
        innodb::ChecksumAlgorithm::None);

    auto outside = original;
    outside[16] ^= 0xFF; // the LSN
    outside[30] ^= 0xFF; // the flushed LSN
    EXPECT_TRUE(innodb::checkCompressedPage(outside).ok());
    for (const std::size_t covered : { std::size_t { 5 }, std::size_t { 25 }, std::size_t { 35 },
             std::size_t { 200 }, original.size() - 1 }) {
        auto damaged = original;
        damaged[covered] ^= 0x01;
        EXPECT_EQ(innodb::checkCompressedPage(damaged).verdict, innodb::PageVerdict::BadChecksum)
            << covered;
    }
    EXPECT_EQ(innodb::checkCompressedPage(std::vector<std::uint8_t>(4096)).verdict,
        innodb::PageVerdict::Empty);
}

TEST(RowCompressedTest, DamageAnywhereInACompressedPageIsADamagedPage)
{
    const auto original = leafWithLog();
    ASSERT_FALSE(original.empty());
    std::vector<std::uint8_t> view(innodb::kDefaultPageSize);
    const auto rebuild = [&](const std::vector<std::uint8_t> &page) {
        return innodb::decompressIndexPage(page, view);
    };
    ASSERT_TRUE(rebuild(original).ok());
    const std::size_t size = original.size();
    const std::size_t nDense = (innodb::readUint16(original, innodb::kPageNHeapAt) & 0x7FFF) - 2;
    const auto putUint16 = [](std::vector<std::uint8_t> &page, std::size_t at, std::size_t v) {
        page[at] = static_cast<std::uint8_t>(v >> 8);
        page[at + 1] = static_cast<std::uint8_t>(v);
    };

    struct Damage
    {
        const char *what;
        std::vector<std::uint8_t> page;
        const char *reason;
    };
    const std::size_t logAt = logStart(original);
    ASSERT_GT(logAt, innodb::kPageData + 8);
    ASSERT_NE(original[logAt], 0) << "the page's log is empty";
    std::vector<Damage> cases;
    auto stream = original;
    stream[(innodb::kPageData + logAt) / 2] ^= 0x5A;
    cases.push_back({ "the zlib stream", stream, "" });
    auto start = original;
    start[innodb::kPageData] = 0;
    cases.push_back({ "the zlib header", start, "does not start" });
    auto directory = original;
    putUint16(directory, size - 2, 0x0010); // the first record inside the page header
    cases.push_back({ "a dense directory slot", directory, "dense page directory" });
    auto slots = original;
    putUint16(slots, innodb::kFilPageData + innodb::kPageNDirSlots,
        innodb::readUint16(original, innodb::kFilPageData + innodb::kPageNDirSlots) + 1);
    cases.push_back({ "the sparse directory size", slots, "dense page directory" });
    auto heap = original;
    putUint16(heap, innodb::kPageNHeapAt, 0x8000 | 0x7FF0);
    cases.push_back({ "the heap record count", heap, "record counts" });
    auto records = original;
    putUint16(records, innodb::kPageNRecsAt, nDense + 1);
    cases.push_back({ "the user record count", records, "record counts" });
    auto heapTop = original;
    putUint16(heapTop, innodb::kPageHeapTopAt, 0xFFF0);
    cases.push_back({ "the heap top", heapTop, "" });
    for (const auto &damage : cases) {
        const auto read = rebuild(damage.page);
        EXPECT_EQ(read.outcome, innodb::PageRead::Outcome::Damaged) << damage.what;
        EXPECT_NE(read.reason.find(damage.reason), std::string::npos)
            << damage.what << ": " << read.reason;
    }

    // The first entry of the modification log names a record beyond the page's.
    auto log = original;
    log[logAt] = static_cast<std::uint8_t>(0x80 | 0x7F);
    log[logAt + 1] = 0xFE;
    const auto read = rebuild(log);
    EXPECT_EQ(read.outcome, innodb::PageRead::Outcome::Damaged);
    EXPECT_NE(read.reason.find("modification log"), std::string::npos) << read.reason;
    // A log without its end: garbage up to the columns kept apart.
    auto endless = original;
    const std::size_t trailer = size - nDense * (2 + 13);
    ASSERT_LT(logAt, trailer);
    std::fill(endless.begin() + static_cast<std::ptrdiff_t>(logAt),
        endless.begin() + static_cast<std::ptrdiff_t>(trailer), 0xFF);
    EXPECT_FALSE(rebuild(endless).ok());

    // Whatever the bytes, the rebuild stays inside both pages (the sanitizers watch).
    std::mt19937 random(17);
    std::size_t rebuilt = 0;
    for (int round = 0; round < 3000; ++round) {
        auto page = original;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) {
            page[innodb::kFilPageData + random() % (size - innodb::kFilPageData)]
                = static_cast<std::uint8_t>(random());
        }
        rebuilt += rebuild(page).ok() ? 1 : 0;
    }
    EXPECT_LT(rebuilt, 3000u);
}

TEST(RowCompressedTest, ADamagedPageOrBlobPageLosesOnlyWhatItHeld)
{
    const fs::path original = pageFormatsFolder("16k/row_compressed");
    const auto truth = OpenFolder(original).truth("zc8");
    auto pages = storedPages(original / "Zarafa/zc8.ibd", 8192);
    std::size_t leaf = 0;
    std::size_t blob = 0;
    for (std::size_t n = 4; n < pages.size(); ++n) {
        const auto type = innodb::pageTypeOf(pages[n]);
        if (leaf == 0 && type == innodb::kFilPageTypeIndex && innodb::pageLevelOf(pages[n]) == 0
            && innodb::indexIdOf(pages[n]) == innodb::indexIdOf(pages[innodb::kIbdClusteredRoot])) {
            leaf = n;
        }
        if (blob == 0 && type == innodb::kFilPageTypeZBlob2) {
            blob = n;
        }
    }
    ASSERT_NE(leaf, 0u);
    ASSERT_NE(blob, 0u);
    const auto damagedFolder = [&](std::size_t page, std::size_t at) {
        auto dir = std::make_unique<TempDir>();
        linkFolder(original, dir->path());
        auto bytes = readFile(original / "Zarafa/zc8.ibd");
        bytes[page * 8192 + at] ^= 0x40;
        const fs::path ibd = dir->path() / "Zarafa/zc8.ibd";
        fs::remove(ibd);
        writeFile(ibd, bytes);
        return dir;
    };

    {
        const auto dir = damagedFolder(leaf, 3000);
        const auto rows = OpenFolder(dir->path()).read("zc8");
        EXPECT_EQ(rows.counts.pagesFailedCheck, 1u);
        ASSERT_EQ(rows.counts.failedPages.size(), 1u);
        EXPECT_EQ(rows.counts.failedPages.front(), leaf);
        EXPECT_LT(rows.lines.size(), truth.size());
        EXPECT_GT(rows.lines.size(), truth.size() / 2);
        const std::set<std::string> all(truth.begin(), truth.end());
        for (const auto &line : rows.lines) {
            EXPECT_TRUE(all.count(line) == 1) << "a row the server never had";
        }
    }
    {
        // A damaged BLOB page: the row whose value runs through it is left out and counted,
        // never handed on with wrong bytes; the others stay.
        const auto dir = damagedFolder(blob, 2000);
        const auto rows = OpenFolder(dir->path()).read("zc8");
        EXPECT_EQ(rows.counts.decoded.rowsWithDamagedLongValues, 1u);
        EXPECT_EQ(rows.lines.size(), truth.size() - 1);
        const std::set<std::string> all(truth.begin(), truth.end());
        for (const auto &line : rows.lines) {
            EXPECT_TRUE(all.count(line) == 1) << "a row the server never had";
        }
    }
}

} // namespace
