// Rows of pages the tree no longer reaches, on a server-written tablespace with hundreds of freed
// leaf pages (make-stale-pages-fixture.sh): a live leaf is destroyed, two copies of it written
// into freed pages (an older one with other values, a newer one with the live values). Only the
// destroyed leaf's keys may come back from orphaned pages, each once, from the newest copy.
#include "frm/table_definition_reader.h"
#include "innodb/page_check.h"
#include "innodb/record_decoder.h"
#include "innodb/table_discovery.h"
#include "innodb/table_reader.h"
#include "innodb/tablespace_file.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Page = std::array<std::uint8_t, innodb::kDefaultPageSize>;

const fs::path kStale = ZR_STALE_PAGES_FIXTURE_DIR;

// A private copy of the fixture's ibdata1 to damage, removed with its folder.
class ScratchFolder
{
public:
    ScratchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "orphan-rows.XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

// id -> pad as stored (CHAR padding included), of every row readTableRows hands on.
struct Collected : innodb::RowSink
{
    std::map<std::int64_t, std::string> rows;
    std::size_t duplicates = 0;
    void acceptRow(const innodb::DecodedRow &row) override
    {
        const auto pad = row.values[1].bytes.memory();
        if (!rows.emplace(row.values[0].integer, std::string(pad.begin(), pad.end())).second) {
            ++duplicates;
        }
    }
};

// The value the fixture script gave each row, less the CHAR padding.
std::string trimmed(std::string pad)
{
    pad.erase(pad.find_last_not_of(' ') + 1);
    return pad;
}

std::set<std::int64_t> liveIds()
{
    std::set<std::int64_t> ids;
    std::ifstream in(kStale / "live-ids");
    for (std::int64_t id = 0; in >> id;) {
        ids.insert(id);
    }
    return ids;
}

void writeBigEndian(Page &page, std::size_t at, std::uint64_t value, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i) {
        page[at + i] = static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
    }
}

std::uint64_t readBigEndian(const Page &page, std::size_t at, std::size_t bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        value = (value << 8) | page[at + i];
    }
    return value;
}

// Gives `page` a new number and LSN and the checksum its space's layout asks for.
void reseal(Page &page, std::uint32_t number, std::uint64_t lsn, bool fullCrc32)
{
    writeBigEndian(page, innodb::kFilPageOffset, number, 4);
    writeBigEndian(page, innodb::kFilPageLsn, lsn, 8);
    if (fullCrc32) {
        writeBigEndian(page, innodb::kDefaultPageSize - 8, lsn & 0xFFFFFFFF, 4);
        writeBigEndian(page, innodb::kDefaultPageSize - 4, innodb::fullCrc32Checksum(page), 4);
    } else {
        writeBigEndian(page, innodb::kDefaultPageSize - 4, lsn & 0xFFFFFFFF, 4);
        const std::uint32_t crc = innodb::crc32Checksum(page);
        writeBigEndian(page, innodb::kFilPageSpaceOrChecksum, crc, 4);
        writeBigEndian(page, innodb::filTrailerOf(innodb::kDefaultPageSize), crc, 4);
    }
}

class OrphanRowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_temp.path().empty());
        fs::copy_file(kStale / "ibdata1", m_temp.path() / "ibdata1");
        auto table = frm::readTableDefinition((kStale / "t.frm").string(), "t.frm", "zarafa/t");
        ASSERT_TRUE(table.ok()) << table.error().describe();
        m_table = std::move(*table);
        m_live = liveIds();
        ASSERT_EQ(m_live.size(), 5999u);
    }

    // Every row readTableRows gives for the copy as it stands.
    Collected read(innodb::TableReadCounts &counts)
    {
        Collected rows;
        auto file = innodb::TablespaceFile::open((m_temp.path() / "ibdata1").string());
        EXPECT_TRUE(file.ok());
        auto scan = innodb::scanTablespace(*file, {});
        EXPECT_TRUE(scan.ok());
        auto discovery = innodb::discoverTables(*file, *scan);
        EXPECT_TRUE(discovery.ok());
        const auto *entry = discovery->find("zarafa/t");
        EXPECT_NE(entry, nullptr);
        if (!entry) {
            return rows;
        }
        innodb::LongValueStore store(1 << 20);
        innodb::RecordDecoder decoder(m_table, *file, store);
        counts = innodb::readTableRows(*file, *scan, *entry, decoder, rows);
        return rows;
    }

    Page readPage(std::uint32_t number)
    {
        Page page {};
        std::ifstream in(m_temp.path() / "ibdata1", std::ios::binary);
        in.seekg(static_cast<std::streamoff>(number) * innodb::kDefaultPageSize);
        in.read(reinterpret_cast<char *>(page.data()), page.size());
        return page;
    }

    void writePage(std::uint32_t number, const Page &page)
    {
        std::fstream out(
            m_temp.path() / "ibdata1", std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(number) * innodb::kDefaultPageSize);
        out.write(reinterpret_cast<const char *>(page.data()), page.size());
    }

    // Row id -> its pad, as the fixture script wrote it, checked against the truth.
    void expectTrueValues(const Collected &rows)
    {
        EXPECT_EQ(rows.duplicates, 0u);
        for (const auto &[id, pad] : rows.rows) {
            EXPECT_TRUE(m_live.contains(id)) << "row " << id << " was deleted";
            EXPECT_EQ(trimmed(pad), "p" + std::to_string(id)) << "row " << id;
        }
    }

    ScratchFolder m_temp;
    frm::FrmTableEntry m_table;
    std::set<std::int64_t> m_live;
};

TEST_F(OrphanRowsTest, AnIntactTreeGivesTheLiveRowsAndNoOrphans)
{
    innodb::TableReadCounts counts;
    const Collected rows = read(counts);
    EXPECT_TRUE(counts.problems.empty());
    EXPECT_EQ(counts.orphanPages, 0u);
    EXPECT_EQ(counts.orphanRowsLeftOut, 0u);
    EXPECT_GT(counts.stalePages, 50u);
    EXPECT_EQ(rows.rows.size(), m_live.size());
    EXPECT_EQ(counts.decoded.rowsEmitted, m_live.size());
    expectTrueValues(rows);
}

TEST_F(OrphanRowsTest, ADestroyedLeafComesBackFromItsNewestOrphanCopyAndNothingElse)
{
    // The live leaves and the freed ones, as the intact tree tells them apart.
    auto file = innodb::TablespaceFile::open((m_temp.path() / "ibdata1").string());
    ASSERT_TRUE(file.ok());
    auto scan = innodb::scanTablespace(*file, {});
    ASSERT_TRUE(scan.ok());
    auto discovery = innodb::discoverTables(*file, *scan);
    ASSERT_TRUE(discovery.ok());
    const auto *entry = discovery->find("zarafa/t");
    ASSERT_NE(entry, nullptr);
    innodb::LongValueStore store(1 << 20);
    innodb::RecordDecoder decoder(m_table, *file, store);
    const auto pages = innodb::collectTablePages(
        *file, *scan, entry->indexId, entry->rootPage, decoder.keyLayout());
    ASSERT_TRUE(pages.treeIntact());
    ASSERT_GT(pages.treePages.size(), 20u);
    std::set<std::uint32_t> live;
    for (const auto &page : pages.treePages) {
        live.insert(page.pageNumber);
    }
    std::vector<std::uint32_t> freed;
    for (const auto &page : scan->pagesOf(*scan->group(entry->indexId))) {
        if (!live.contains(page.pageNumber)) {
            freed.push_back(page.pageNumber);
        }
    }
    ASSERT_GE(freed.size(), 2u);
    const bool fullCrc32 = innodb::isFullCrc32Space(
        static_cast<std::uint32_t>(readBigEndian(readPage(0), innodb::kFspSpaceFlags, 4)));

    // A leaf well inside the rows below 3000, far from the deleted range.
    const std::uint32_t victim = pages.treePages[5].pageNumber;
    const Page original = readPage(victim);
    const std::uint64_t lsn = readBigEndian(original, innodb::kFilPageLsn, 8);
    Collected victimRows;
    {
        Page copy = original;
        decoder.decodePage(innodb::ConstPage(copy), victim, victimRows);
    }
    ASSERT_GT(victimRows.rows.size(), 10u);
    ASSERT_LT(victimRows.rows.rbegin()->first, 3000);

    // The older copy first in the file, so that file order alone would pick its values: every
    // "p" of its values becomes a "q", bytes of the same length.
    Page older = original;
    for (std::size_t at = innodb::kPageNewSupremumEnd;
         at + 1 < innodb::directoryStartOf(innodb::kDefaultPageSize); ++at) {
        if (older[at] == 'p' && older[at + 1] >= '0' && older[at + 1] <= '9') {
            older[at] = 'q';
        }
    }
    reseal(older, freed.front(), lsn - 1, fullCrc32);
    writePage(freed.front(), older);
    Page newer = original;
    reseal(newer, freed.back(), lsn + 1, fullCrc32);
    writePage(freed.back(), newer);
    ASSERT_TRUE(innodb::checkPage(innodb::ConstPage(older), fullCrc32).ok());
    ASSERT_TRUE(innodb::checkPage(innodb::ConstPage(newer), fullCrc32).ok());

    Page garbage {};
    std::mt19937 random(11);
    std::generate(
        garbage.begin(), garbage.end(), [&] { return static_cast<std::uint8_t>(random()); });
    writePage(victim, garbage);

    innodb::TableReadCounts counts;
    const Collected rows = read(counts);
    EXPECT_FALSE(counts.problems.empty());
    EXPECT_EQ(counts.orphanPages, freed.size());
    // The older copy's rows and every freed page's deleted rows stay out.
    EXPECT_GE(counts.orphanRowsLeftOut, victimRows.rows.size() + 1000);
    EXPECT_EQ(counts.decoded.rowsEmitted, rows.rows.size());
    expectTrueValues(rows);
    // The destroyed leaf's rows came back from the newer copy: nothing is missing.
    EXPECT_EQ(rows.rows.size(), m_live.size());
}

} // namespace
