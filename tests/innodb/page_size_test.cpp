// Tablespaces of 4, 8, 32 and 64 KiB pages written by real MariaDB servers (one per page size,
// make-page-formats-fixture.sh): the page size comes from each file's own flags in both of their
// layouts, and from page 1 when page 0 is damaged.
#include "innodb/page_layout.h"
#include "innodb/tablespace_file.h"
#include "page_formats_support.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

struct SizeCase
{
    const char *kind;
    std::size_t pageSize;
    bool systemFullCrc32; // ibdata1 and f_dynamic.ibd; f_other_layout.ibd has the other layout
};

constexpr SizeCase kSizes[] = {
    { "4k", 4096, false },
    { "8k", 8192, true },
    { "32k", 32768, false },
    { "64k", 65536, true },
};

TEST(PageSizeTest, EachFileGivesItsPageSizeInBothFlagLayoutsAndEveryTableReadsWhole)
{
    for (const SizeCase &size : kSizes) {
        SCOPED_TRACE(size.kind);
        const fs::path folder = pageFormatsFolder(std::string(size.kind) + "/tables");
        const struct
        {
            fs::path path;
            bool fullCrc32;
        } files[] = {
            { folder / "ibdata1", size.systemFullCrc32 },
            { folder / "Zarafa/f_dynamic.ibd", size.systemFullCrc32 },
            { folder / "Zarafa/f_other_layout.ibd", !size.systemFullCrc32 },
        };
        for (const auto &expected : files) {
            auto file = innodb::TablespaceFile::open(expected.path.string());
            ASSERT_TRUE(file.ok()) << expected.path;
            EXPECT_EQ(file->pageSize(), size.pageSize) << expected.path;
            EXPECT_EQ(file->format().fullCrc32, expected.fullCrc32) << expected.path;
            EXPECT_EQ(file->pageCount(), fs::file_size(expected.path) / size.pageSize);
            EXPECT_TRUE(file->formatNote().empty());
        }

        const OpenFolder open(folder);
        ASSERT_TRUE(open.spaces.dictionaryRead());
        for (const auto &definition : open.definitions) {
            const std::string table = definition.dictionaryName.substr(7);
            SCOPED_TRACE(table);
            const auto rows = open.read(table);
            ASSERT_TRUE(rows.found);
            EXPECT_EQ(rows.lines, open.truth(table));
            EXPECT_EQ(rows.counts.pagesFailedCheck, 0u);
            EXPECT_EQ(rows.counts.decoded.valuesTruncated, 0u);
            EXPECT_TRUE(rows.counts.problems.empty()) << rows.counts.problems.front();
        }
    }
}

// What the folders must hold for the test above to mean something: trees with node pointers at
// every page size, and values longer than two pages (overflow chains of several pages).
TEST(PageSizeTest, FoldersHoldDeepTreesAndValuesLongerThanAPage)
{
    for (const SizeCase &size : kSizes) {
        SCOPED_TRACE(size.kind);
        const OpenFolder open(pageFormatsFolder(std::string(size.kind) + "/tables"));
        const auto *table = open.spaces.find("zarafa/t_compact");
        ASSERT_NE(table, nullptr);
        std::vector<std::uint8_t> root(table->file->pageSize());
        ASSERT_TRUE(table->file->readPage(table->entry.rootPage, root));
        EXPECT_GE(innodb::pageLevelOf(root), 1u);

        const auto truth = open.truth("t_compact");
        const bool longValue = std::any_of(truth.begin(), truth.end(), [&](const std::string &row) {
            return row.size() / 2 > 2 * size.pageSize; // hex: two characters a byte
        });
        EXPECT_TRUE(longValue);
    }
}

// Page 1, the insert buffer bitmap of every space, tells where pages start: an uncompressed one
// by its LSN trailer (in either checksum layout), a compressed one by its type.
TEST(PageSizeTest, ADamagedPageZeroLeavesThePageSizeToPageOne)
{
    struct Damaged
    {
        const char *folder;
        const char *table;
        std::size_t pageSize;
        std::size_t zipSize;
    };
    const Damaged cases[] = {
        { "8k/tables", "f_dynamic", 8192, 0 },
        { "8k/tables", "f_other_layout", 8192, 0 },
        { "64k/tables", "f_dynamic", 65536, 0 },
        { "4k/tables", "f_dynamic", 4096, 0 },
        { "16k/row_compressed", "zc2", 16384, 2048 },
    };
    for (const Damaged &damaged : cases) {
        SCOPED_TRACE(std::string(damaged.folder) + " " + damaged.table);
        TempDir dir;
        const fs::path original = pageFormatsFolder(damaged.folder);
        linkFolder(original, dir.path());
        const fs::path ibd = dir.path() / "Zarafa" / (std::string(damaged.table) + ".ibd");
        auto bytes = readFile(ibd);
        const std::size_t stored = damaged.zipSize != 0 ? damaged.zipSize : damaged.pageSize;
        std::fill_n(bytes.begin(), stored, 0xA5);
        fs::remove(ibd);
        writeFile(ibd, bytes);

        auto file = innodb::TablespaceFile::open(ibd.string());
        ASSERT_TRUE(file.ok());
        EXPECT_EQ(file->pageSize(), damaged.pageSize);
        EXPECT_EQ(file->compressedPageSize(), damaged.zipSize);
        EXPECT_NE(file->formatNote().find("page 0 is damaged"), std::string::npos);

        // Without the dictionary the table is found through its own page 3.
        const OpenFolder open(dir.path(), true);
        const auto rows = open.read(damaged.table);
        ASSERT_TRUE(rows.found);
        EXPECT_EQ(rows.lines, open.truth(damaged.table));
    }
}

} // namespace
