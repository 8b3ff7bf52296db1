#include "innodb/page_builder.h"
#include "innodb/page_scanner.h"
#include "innodb/tablespace_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

using innodb::kDefaultPageSize;
using testing_support::makeFspHeaderPage;
using testing_support::makeIndexPage;
using testing_support::Page;
using testing_support::TempDir;
using testing_support::writePages;

innodb::ScanResult scanFile(const std::filesystem::path &path, innodb::ScanCallbacks callbacks = {})
{
    auto file = innodb::TablespaceFile::open(path.string());
    EXPECT_TRUE(file.ok()) << (file.ok() ? "" : file.error().describe());
    auto result = innodb::scanTablespace(*file, callbacks);
    EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().describe());
    return std::move(result).value();
}

std::vector<std::uint32_t> pageNumbers(const auto &pages)
{
    std::vector<std::uint32_t> numbers;
    for (const auto &page : pages) {
        numbers.push_back(page.pageNumber);
    }
    return numbers;
}

TEST(TablespaceFileTest, OpensReadOnlyAndReadsWholePagesOnly)
{
    TempDir dir;
    const auto path = dir.path() / "ibdata1";
    writePages(path, { makeFspHeaderPage(0), makeIndexPage(1, 42) }, 100);
    auto file = innodb::TablespaceFile::open(path.string());
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file->sizeBytes(), 2 * kDefaultPageSize + 100);
    EXPECT_EQ(file->pageCount(), 2u);
    Page buffer {};
    ASSERT_TRUE(file->readPage(1, buffer));
    EXPECT_EQ(innodb::indexIdOf(buffer), 42u);
    EXPECT_FALSE(file->readPage(2, buffer)) << "the 100-byte tail is not a page";

    const auto missing = innodb::TablespaceFile::open((dir.path() / "nothing").string());
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().kind, common::ErrorKind::Io);
}

TEST(PageScannerTest, KeepsLeafIndexPagesAtTheirOwnPositionGroupedByIndex)
{
    TempDir dir;
    const auto path = dir.path() / "ibdata1";
    auto misplaced = makeIndexPage(9, 42); // a copy of page 9 lying at position 4
    auto level1 = makeIndexPage(5, 42, 1);
    auto level256 = makeIndexPage(6, 42, 256); // the low byte alone would call it a leaf
    auto blob = makeIndexPage(7, 42);
    testing_support::putBigEndian(blob, innodb::kFilPageType, innodb::kFilPageTypeBlob, 2);
    writePages(path,
        { makeFspHeaderPage(0), makeIndexPage(1, 42, 0, 0, 11), makeIndexPage(2, 77),
            makeIndexPage(3, 42, 0, 0, 33), misplaced, level1, level256, blob,
            makeIndexPage(8, 77) },
        100);
    const auto result = scanFile(path);
    EXPECT_EQ(result.pagesExamined, 9u) << "the tail shorter than a page is ignored";
    EXPECT_EQ(pageNumbers(result.allPages), (std::vector<std::uint32_t> { 1, 2, 3, 8 }));
    ASSERT_EQ(result.groups.size(), 2u);
    EXPECT_EQ(result.groups[0].indexId, 42u) << "groups in the order first seen";
    EXPECT_EQ(pageNumbers(result.pagesOf(result.groups[0])), (std::vector<std::uint32_t> { 1, 3 }));
    EXPECT_EQ(
        pageNumbers(result.pagesOf(*result.group(77))), (std::vector<std::uint32_t> { 2, 8 }));
    EXPECT_EQ(result.group(5), nullptr);
    EXPECT_EQ(result.pagesMisplaced, 1u);
    ASSERT_NE(result.page(3), nullptr);
    EXPECT_EQ(result.page(3)->lsn, 33u);
    EXPECT_EQ(result.page(3)->pageType, 0xBF45) << "type bytes as stored, read little-endian";
    EXPECT_TRUE(result.page(3)->compact);
    EXPECT_EQ(result.page(4), nullptr);
}

TEST(PageScannerTest, DropsPagesOfAnotherSpaceLikeDoublewriteCopies)
{
    TempDir dir;
    const auto path = dir.path() / "t.ibd";
    writePages(path,
        { makeFspHeaderPage(5), makeIndexPage(1, 42, 0, 5), makeIndexPage(2, 42, 0, 0),
            makeIndexPage(3, 42, 0, 5) });
    const auto result = scanFile(path);
    EXPECT_EQ(result.spaceId, 5u);
    EXPECT_EQ(pageNumbers(result.allPages), (std::vector<std::uint32_t> { 1, 3 }));
}

TEST(PageScannerTest, DamagedPageZeroDoesNotStopTheScan)
{
    TempDir dir;
    const auto path = dir.path() / "ibdata1";
    Page garbage {};
    garbage.fill(0xA7);
    writePages(path, { garbage, makeIndexPage(1, 42, 0, 3) });
    const auto result = scanFile(path);
    EXPECT_EQ(pageNumbers(result.allPages), (std::vector<std::uint32_t> { 1 }))
        << "an untrusted page 0 gives no space to test against";
}

TEST(PageScannerTest, RefusesOtherPageSizesAndFilesBelowOnePage)
{
    TempDir dir;
    const auto small = dir.path() / "small";
    writePages(small, {}, kDefaultPageSize - 1);
    auto smallFile = innodb::TablespaceFile::open(small.string());
    ASSERT_TRUE(smallFile.ok());
    auto smallScan = innodb::scanTablespace(*smallFile, {});
    ASSERT_FALSE(smallScan.ok());
    EXPECT_EQ(smallScan.error().kind, common::ErrorKind::Corruption);

    // 4 to 64 KiB pages are read (real ones in page_size_test.cpp); 2 KiB ones no server writes.
    const auto twoK = dir.path() / "two";
    writePages(twoK, { makeFspHeaderPage(0, 2u << 6), makeIndexPage(1, 42) });
    auto twoFile = innodb::TablespaceFile::open(twoK.string());
    ASSERT_FALSE(twoFile.ok());
    EXPECT_EQ(twoFile.error().kind, common::ErrorKind::NotSupported);

    const auto fullCrc = dir.path() / "full";
    writePages(fullCrc, { makeFspHeaderPage(0, 0x15), makeIndexPage(1, 42) });
    EXPECT_EQ(scanFile(fullCrc).allPages.size(), 1u) << "MariaDB full_crc32 flags, 16 KiB";
}

TEST(PageScannerTest, ReadsInChunksOf750PagesAndReportsProgress)
{
    TempDir dir;
    for (const std::size_t count : { std::size_t { 750 }, std::size_t { 751 } }) {
        std::vector<Page> pages(count);
        pages[0] = makeFspHeaderPage(0);
        pages[count - 1] = makeIndexPage(static_cast<std::uint32_t>(count - 1), 9);
        const auto path = dir.path() / ("f" + std::to_string(count));
        writePages(path, pages);
        std::vector<std::uint64_t> progress;
        innodb::ScanCallbacks callbacks;
        callbacks.progress = [&](std::uint64_t done, std::uint64_t total) {
            EXPECT_EQ(total, count);
            progress.push_back(done);
        };
        const auto result = scanFile(path, callbacks);
        EXPECT_EQ(result.pagesExamined, count);
        EXPECT_EQ(pageNumbers(result.allPages),
            (std::vector<std::uint32_t> { static_cast<std::uint32_t>(count - 1) }));
        const auto expected = count == 750 ? std::vector<std::uint64_t> { 0, 750 }
                                           : std::vector<std::uint64_t> { 0, 750, 751 };
        EXPECT_EQ(progress, expected);
    }
}

TEST(PageScannerTest, StopKeepsWhatWasFound)
{
    TempDir dir;
    std::vector<Page> pages { makeFspHeaderPage(0) };
    for (std::uint32_t n = 1; n < 1600; ++n) {
        pages.push_back(makeIndexPage(n, 42));
    }
    const auto path = dir.path() / "ibdata1";
    writePages(path, pages);
    int polls = 0;
    innodb::ScanCallbacks callbacks;
    callbacks.stopRequested = [&] { return ++polls > 800; };
    const auto result = scanFile(path, callbacks);
    EXPECT_TRUE(result.stopped);
    EXPECT_GT(result.allPages.size(), 700u);
    EXPECT_LT(result.allPages.size(), 1599u);
}

TEST(PageScannerTest, FindsTheClusteredRootOfASakilaTablespace)
{
    const auto path = testing_support::sharedFixtures() / "mysql-5.0-sakila/sakila/actor.ibd";
    const auto result = scanFile(path);
    ASSERT_NE(result.page(innodb::kIbdClusteredRoot), nullptr) << "200 actors fit in the root";
    EXPECT_NE(result.spaceId, 0u);
    EXPECT_TRUE(result.page(innodb::kIbdClusteredRoot)->compact);
    EXPECT_EQ(result.page(innodb::kIbdClusteredRoot)->recordCount, 200);
}

} // namespace
