// The damaged-input matrix: each test damages a private copy of the generated Zarafa folder in one
// way, with a fixed seed, runs `zarafa-repair dump-rows` on it, and compares with the truth. No
// crash, a message that names the damage, no row that differs from the truth, and every row that
// lived on an intact page recovered.
#include "common/byte_reader.h"
#include "damaged_folder.h"
#include "innodb/doublewrite_buffer.h"
#include "innodb/page_layout.h"
#include "innodb/tablespace_file.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>
#include <vector>

namespace robustness {
namespace {

class DamageMatrixTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (zarafaFixture().empty()) {
            GTEST_SKIP() << "the Zarafa fixture was not made";
        }
        ASSERT_GT(rowsByPage().tables.size(), 20u);
    }

    // `count` distinct leaf pages picked with `seed`, roots left out so that the tree above them
    // is intact and only these pages' rows are at stake.
    static std::vector<std::uint32_t> pickLeaves(std::uint32_t seed, std::size_t count)
    {
        std::vector<std::uint32_t> candidates;
        std::set<std::uint32_t> roots;
        for (const auto &[table, root] : rowsByPage().rootPages) {
            roots.insert(root);
        }
        for (const auto page : leafPages()) {
            if (!roots.count(page)) {
                candidates.push_back(page);
            }
        }
        std::mt19937 random(seed);
        std::shuffle(candidates.begin(), candidates.end(), random);
        candidates.resize(std::min(count, candidates.size()));
        std::sort(candidates.begin(), candidates.end());
        return candidates;
    }

    static std::string tableOfPage(std::uint32_t page)
    {
        for (const auto &[table, byPage] : rowsByPage().tables) {
            if (byPage.count(page)) {
                return table;
            }
        }
        return {};
    }

    DamagedFolder m_folder;
};

std::uint64_t hashFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::uint64_t hash = 0xCBF29CE484222325; // FNV-1a
    std::array<char, 1 << 16> buffer {};
    while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            hash = (hash ^ static_cast<std::uint8_t>(buffer[static_cast<std::size_t>(i)]))
                * 0x100000001B3;
        }
    }
    return hash;
}

std::map<std::string, std::uint64_t> hashFolder(const fs::path &folder)
{
    std::map<std::string, std::uint64_t> hashes;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            hashes[fs::relative(entry.path(), folder).string()] = hashFile(entry.path());
        }
    }
    return hashes;
}

TEST_F(DamageMatrixTest, UndamagedCopyGivesTheTruthAndIsLeftUntouched)
{
    // The page-by-page rows the other tests measure against are the truth files' rows.
    for (const auto &[table, byPage] : rowsByPage().tables) {
        Lines all;
        for (const auto &[page, lines] : byPage) {
            all.insert(all.end(), lines.begin(), lines.end());
        }
        std::ifstream in(zarafaFixture() / "truth" / (table + ".tsv"), std::ios::binary);
        Lines truth;
        for (std::string line; std::getline(in, line);) {
            truth.push_back(line + "\n");
        }
        ASSERT_FALSE(truth.empty()) << table;
        truth.erase(truth.begin());
        std::sort(all.begin(), all.end());
        std::sort(truth.begin(), truth.end());
        EXPECT_EQ(all, truth) << table;
    }

    const auto before = hashFolder(m_folder.path());
    const DumpRun run = runDumpRows(m_folder.path());
    EXPECT_EQ(run.exitCode, 0) << run.messages;
    EXPECT_EQ(expectIntactRowsRecovered(run, {}), 0u);
    EXPECT_EQ(hashFolder(m_folder.path()), before);
}

TEST_F(DamageMatrixTest, ZeroedLeafPagesLoseOnlyTheirOwnRows)
{
    const auto pages = pickLeaves(101, 8);
    for (const auto page : pages) {
        m_folder.zeroPage(page);
    }
    const DumpRun run = runDumpRows(m_folder.path());
    ASSERT_FALSE(run.crashed()) << run.messages;
    EXPECT_GT(expectIntactRowsRecovered(run, { { pages.begin(), pages.end() }, {} }), 0u);
    for (const auto page : pages) {
        EXPECT_NE(run.messages.find("page " + std::to_string(page)), std::string::npos)
            << "page " << page << " of " << tableOfPage(page) << " is not named:\n"
            << run.messages;
    }
}

TEST_F(DamageMatrixTest, LeafPagesOfRandomBytesLoseOnlyTheirOwnRows)
{
    const auto pages = pickLeaves(202, 8);
    for (const auto page : pages) {
        m_folder.randomisePage(page, page);
    }
    const DumpRun run = runDumpRows(m_folder.path());
    ASSERT_FALSE(run.crashed()) << run.messages;
    EXPECT_GT(expectIntactRowsRecovered(run, { { pages.begin(), pages.end() }, {} }), 0u);
}

TEST_F(DamageMatrixTest, RandomRecordsBehindIntactHeadersAreNotDecoded)
{
    // The worst case for a decoder: the page still says it is this index's leaf at this place,
    // and the trailer still matches, but every record byte is garbage. Only the checksum knows.
    const auto pages = pickLeaves(303, 8);
    for (const auto page : pages) {
        m_folder.randomisePage(
            page, page, innodb::kPageNewInfimum - 2, innodb::kDefaultPageSize - 8);
    }
    const DumpRun run = runDumpRows(m_folder.path());
    ASSERT_FALSE(run.crashed()) << run.messages;
    EXPECT_GT(expectIntactRowsRecovered(run, { { pages.begin(), pages.end() }, {} }), 0u);
    for (const auto page : pages) {
        EXPECT_NE(run.messages.find("page " + std::to_string(page)), std::string::npos)
            << "page " << page << " is not named:\n"
            << run.messages;
    }
}

TEST_F(DamageMatrixTest, TornPagesLoseOnlyTheirOwnRows)
{
    // The first half of each page comes from another leaf of the same table: a write cut short
    // after a page of the same index had been in the same buffer.
    const auto pages = pickLeaves(404, 6);
    std::set<std::uint32_t> damaged;
    for (const auto page : pages) {
        const auto &byPage = rowsByPage().tables.at(tableOfPage(page));
        const auto other = std::find_if(
            byPage.begin(), byPage.end(), [&](const auto &entry) { return entry.first != page; });
        if (other == byPage.end()) {
            continue;
        }
        m_folder.copyFirstHalf(other->first, page);
        damaged.insert(page);
    }
    ASSERT_FALSE(damaged.empty());
    const DumpRun run = runDumpRows(m_folder.path());
    ASSERT_FALSE(run.crashed()) << run.messages;
    EXPECT_GT(expectIntactRowsRecovered(run, { damaged, {} }), 0u);
}

TEST_F(DamageMatrixTest, TablespaceCutMidPageKeepsThePagesBeforeTheCut)
{
    const auto leaves = leafPages();
    ASSERT_GT(leaves.size(), 10u);
    const std::uint32_t cut = leaves[leaves.size() * 2 / 3];
    m_folder.truncate(
        std::uint64_t { cut } * innodb::kDefaultPageSize + innodb::kDefaultPageSize / 2);
    std::set<std::uint32_t> lost;
    for (const auto page : leaves) {
        if (page >= cut) {
            lost.insert(page);
        }
    }
    const DumpRun run = runDumpRows(m_folder.path());
    ASSERT_FALSE(run.crashed()) << run.messages;
    EXPECT_GT(expectIntactRowsRecovered(run, { lost, {} }), 0u);
}

// Page 7 holds the dictionary header, 8 and 11 the roots of SYS_TABLES and SYS_INDEXES.
constexpr std::uint32_t kDictionaryPages[] = { 7u, 8u, 9u, 10u, 11u };

// The server's last writes of the dictionary are still in the doublewrite area: they are put
// back, the rows come back whole, and the repair is said.
TEST_F(DamageMatrixTest, ZeroedDictionaryIsPutBackFromTheDoublewriteBuffer)
{
    // Which pages the server's last batches held depends on when it flushed what while the
    // fixture was made: the dictionary pages with a current copy there are zeroed.
    std::vector<std::uint32_t> covered;
    {
        const std::string ibdata1 = (m_folder.path() / "ibdata1").string();
        auto system = innodb::TablespaceFile::open(ibdata1);
        ASSERT_TRUE(system.ok());
        const auto copies = innodb::DoublewriteBuffer::read(&*system, m_folder.path().string());
        std::ifstream in(ibdata1, std::ios::binary);
        for (const std::uint32_t page : kDictionaryPages) {
            std::vector<std::uint8_t> home(innodb::kDefaultPageSize);
            in.seekg(std::streamoff { page } * innodb::kDefaultPageSize);
            in.read(
                reinterpret_cast<char *>(home.data()), static_cast<std::streamsize>(home.size()));
            const auto *copy = copies.copyOf(0, page, innodb::kDefaultPageSize);
            if (copy && *copy == home) {
                covered.push_back(page);
            }
        }
    }
    if (covered.empty()) {
        // The server wrote them home before its last batches: the folder is given the area a
        // last batch holding them leaves (a DDL statement among the server's last writes), its
        // first slots holding the pages as they are at home.
        std::fstream file((m_folder.path() / "ibdata1").string(),
            std::ios::binary | std::ios::in | std::ios::out);
        std::uint8_t field[4] = {};
        file.seekg(std::streamoff { innodb::kTrxSysPage + 1 } * innodb::kDefaultPageSize
            - static_cast<std::streamoff>(innodb::kTrxSysDoublewriteFromEnd)
            + static_cast<std::streamoff>(innodb::kTrxSysDoublewriteBlock1));
        file.read(reinterpret_cast<char *>(field), sizeof field);
        const auto block1
            = static_cast<std::uint32_t>(common::readBigEndianUnchecked(field, sizeof field));
        ASSERT_GT(block1, 11u);
        std::uint32_t slot = block1;
        for (const std::uint32_t page : kDictionaryPages) {
            std::vector<char> home(innodb::kDefaultPageSize);
            file.seekg(std::streamoff { page } * innodb::kDefaultPageSize);
            file.read(home.data(), static_cast<std::streamsize>(home.size()));
            file.seekp(std::streamoff { slot++ } * innodb::kDefaultPageSize);
            file.write(home.data(), static_cast<std::streamsize>(home.size()));
            covered.push_back(page);
        }
        ASSERT_TRUE(file.good());
    }
    for (const std::uint32_t page : covered) {
        m_folder.zeroPage(page);
    }
    const DumpRun run = runDumpRows(m_folder.path());
    ASSERT_FALSE(run.crashed()) << run.messages;
    EXPECT_NE(run.messages.find("repaired from the doublewrite buffer"), std::string::npos)
        << run.messages;
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(expectIntactRowsRecovered(run, {}), 0u);
}

TEST_F(DamageMatrixTest, ZeroedDictionaryWithoutCopiesIsNamedAndNothingIsInvented)
{
    for (const std::uint32_t page : kDictionaryPages) {
        m_folder.zeroPage(page);
    }
    // The two 64-page blocks of the doublewrite area, where the TRX_SYS page says they are.
    const std::vector<std::uint8_t> trxSys = m_folder.readPage(innodb::kTrxSysPage);
    const std::size_t fields = trxSys.size() - innodb::kTrxSysDoublewriteFromEnd;
    ASSERT_EQ(innodb::readUint32(trxSys, fields + innodb::kTrxSysDoublewriteMagic),
        innodb::kDoublewriteMagic);
    for (const std::size_t block :
        { innodb::kTrxSysDoublewriteBlock1, innodb::kTrxSysDoublewriteBlock2 }) {
        const std::uint32_t first = innodb::readUint32(trxSys, fields + block);
        for (std::uint32_t page = first; page < first + 64; ++page) {
            m_folder.zeroPage(page);
        }
    }
    const DumpRun run = runDumpRows(m_folder.path());
    ASSERT_FALSE(run.crashed()) << run.messages;
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.messages.find("dictionary") != std::string::npos
        || run.messages.find("SYS_TABLES") != std::string::npos)
        << run.messages;
    Allowance everything;
    for (const auto &[table, byPage] : rowsByPage().tables) {
        everything.lostTables.insert(table);
    }
    (void)expectIntactRowsRecovered(run, everything);
}

TEST_F(DamageMatrixTest, OverflowChainPointingAtItselfEnds)
{
    // A BLOB page in the middle of a chain made to name itself as the next page.
    std::uint32_t looped = innodb::kFilNull;
    const auto file = m_folder.ibdata();
    const auto pageCount
        = static_cast<std::uint32_t>(fs::file_size(file) / innodb::kDefaultPageSize);
    for (std::uint32_t page = 12; page < pageCount && looped == innodb::kFilNull; ++page) {
        const auto bytes = m_folder.readPage(page);
        const innodb::ConstPage view(bytes.data(), innodb::kDefaultPageSize);
        if (innodb::pageTypeOf(view) == innodb::kFilPageTypeBlob
            && innodb::readUint32(view, innodb::kBlobNextPage) != innodb::kFilNull) {
            looped = page;
        }
    }
    ASSERT_NE(looped, innodb::kFilNull) << "no BLOB page with a successor";
    m_folder.writeBigEndian32(looped, innodb::kBlobNextPage, looped);

    const DumpRun run = runDumpRows(m_folder.path());
    ASSERT_FALSE(run.crashed()) << run.messages;
    // The rows whose values run through that page are left out, counted and named by key;
    // every other row is exact.
    (void)expectIntactRowsRecovered(run, {});
    std::uint64_t damaged = 0;
    for (const auto &[table, byPage] : rowsByPage().tables) {
        damaged += run.rowsWithDamagedLongValues(table);
    }
    EXPECT_GE(damaged, 1u) << run.messages;
    // Its changed link no longer matches its checksum: that is what names the page.
    EXPECT_NE(run.messages.find("overflow page " + std::to_string(looped) + " is damaged"),
        std::string::npos)
        << run.messages;
    EXPECT_NE(run.messages.find(" left out, its long value is damaged"), std::string::npos)
        << run.messages;
}

TEST_F(DamageMatrixTest, MissingFrmLosesOnlyThatTable)
{
    fs::remove(m_folder.frm("properties"));
    const DumpRun run = runDumpRows(m_folder.path());
    ASSERT_FALSE(run.crashed()) << run.messages;
    EXPECT_FALSE(run.tables.count("properties"));
    (void)expectIntactRowsRecovered(run, { {}, { "properties" } });
}

TEST_F(DamageMatrixTest, TruncatedFrmIsNamedAndLosesOnlyThatTable)
{
    fs::resize_file(m_folder.frm("names"), 700);
    const DumpRun run = runDumpRows(m_folder.path());
    ASSERT_FALSE(run.crashed()) << run.messages;
    EXPECT_NE(run.messages.find("names.frm"), std::string::npos) << run.messages;
    EXPECT_FALSE(run.tables.count("names"));
    (void)expectIntactRowsRecovered(run, { {}, { "names" } });
}

TEST_F(DamageMatrixTest, EmptyZarafaFolderIsNamed)
{
    for (const auto &entry : fs::directory_iterator(m_folder.path() / "Zarafa")) {
        fs::remove(entry.path());
    }
    const DumpRun run = runDumpRows(m_folder.path());
    ASSERT_FALSE(run.crashed()) << run.messages;
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.tables.empty());
    EXPECT_NE(run.messages.find("Zarafa"), std::string::npos) << run.messages;
}

TEST_F(DamageMatrixTest, MissingOrMisplacedIbdataIsNamed)
{
    fs::remove(m_folder.ibdata());
    DumpRun run = runDumpRows(m_folder.path());
    EXPECT_EQ(run.exitCode, 3) << run.messages;
    EXPECT_NE(run.messages.find("ibdata1"), std::string::npos) << run.messages;

    fs::create_directory(m_folder.ibdata());
    run = runDumpRows(m_folder.path());
    EXPECT_EQ(run.exitCode, 3) << run.messages;
    EXPECT_NE(run.messages.find("ibdata1"), std::string::npos) << run.messages;
    EXPECT_TRUE(run.tables.empty());
}

TEST_F(DamageMatrixTest, UnreadableFilesAreNamed)
{
    // Root reads any file, so the program runs as the unprivileged "nobody" (65534); the copy
    // is made readable to it except for the file under test.
    if (::geteuid() != 0 || std::system("command -v setpriv >/dev/null") != 0) {
        GTEST_SKIP() << "needs root and setpriv to run the program as another user";
    }
    fs::permissions(m_folder.path().parent_path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(
        m_folder.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    for (const auto &entry : fs::recursive_directory_iterator(m_folder.path())) {
        fs::permissions(
            entry.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    }
    fs::permissions(m_folder.frm("stores"), fs::perms::owner_read);
    DumpRun run = runDumpRows(m_folder.path(), "65534");
    ASSERT_FALSE(run.crashed()) << run.messages;
    EXPECT_NE(run.messages.find("stores.frm"), std::string::npos) << run.messages;
    (void)expectIntactRowsRecovered(run, { {}, { "stores" } });

    fs::permissions(m_folder.ibdata(), fs::perms::owner_read);
    run = runDumpRows(m_folder.path(), "65534");
    EXPECT_EQ(run.exitCode, 3) << run.messages;
    EXPECT_NE(run.messages.find("ibdata1"), std::string::npos) << run.messages;
    EXPECT_TRUE(run.tables.empty());
}

} // namespace
} // namespace robustness
