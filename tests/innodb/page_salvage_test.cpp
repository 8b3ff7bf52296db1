// The salvage of a damaged leaf page, on the pages a real server wrote for the generated Zarafa
// folder: a page whose only damage lies outside its records gives every row back exact, each in
// doubt as its page failed its checksum, and without a doubt once the page passes its checksum
// again; a byte run inside one record's data only leaves no row that differs unflagged; one whose
// record headers are garbled gives back the others, found past the break in the chain (past a
// second break through the page directory), with the rows beside the damage in doubt and no row
// that differs from the intact page's without one; keys outside the bounds the parent gives are
// not taken.
#include "frm/table_definition_reader.h"
#include "innodb/page_check.h"
#include "innodb/page_scanner.h"
#include "innodb/record_decoder.h"
#include "innodb/table_discovery.h"
#include "innodb/tablespace_file.h"
#include "record_test_support.h"
#include "support/truth_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// A row's values as text, each by its own kind (a NULL's fields keep an older row's bytes).
std::string rowText(const innodb::DecodedRow &row)
{
    using innodb::ValueKind;
    std::string text;
    for (const innodb::FieldValue &value : row.values) {
        text += std::to_string(static_cast<int>(value.kind)) + ":";
        switch (value.kind) {
        case ValueKind::Null:
            break;
        case ValueKind::Signed:
            text += std::to_string(value.integer);
            break;
        case ValueKind::Double:
            text += std::to_string(value.real);
            break;
        case ValueKind::Float:
            text += std::to_string(value.single);
            break;
        case ValueKind::Bytes:
            if (const auto bytes = value.bytes.readAll(); bytes.ok()) {
                text.append(bytes->begin(), bytes->end());
            }
            break;
        default:
            text += std::to_string(value.unsignedInteger) + ":" + value.text;
            break;
        }
        text += "|";
    }
    return text;
}

// Rows by their origin in the page.
struct Rows : innodb::RowSink, innodb::SalvageSink
{
    void acceptRow(const innodb::DecodedRow &row) override { rows[row.origin] = rowText(row); }
    void salvagedRow(const innodb::DecodedRow &row, const std::string &doubt) override
    {
        rows[row.origin] = rowText(row);
        if (!doubt.empty()) {
            doubts[row.origin] = doubt;
        }
    }
    std::map<std::uint16_t, std::string> rows;
    std::map<std::uint16_t, std::string> doubts;
};

class PageSalvageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
        if (m_folder.empty() || !fs::exists(m_folder / "ibdata1")) {
            GTEST_SKIP() << "the Zarafa fixture was not made";
        }
        auto file = innodb::TablespaceFile::open((m_folder / "ibdata1").string());
        ASSERT_TRUE(file);
        m_file.emplace(std::move(*file));
        auto scan = innodb::scanTablespace(*m_file, {});
        ASSERT_TRUE(scan);
        auto discovery = innodb::discoverTables(*m_file, *scan);
        ASSERT_TRUE(discovery);
        const auto *found = discovery->find("zarafa/properties");
        ASSERT_NE(found, nullptr);
        auto table = frm::readTableDefinition(
            (m_folder / "Zarafa" / "properties.frm").string(), "properties.frm",
            "zarafa/properties");
        ASSERT_TRUE(table.ok());
        m_table = *table;
        innodb::RecordDecoder decoder(m_table, *m_file, m_store);
        const auto pages = innodb::collectTablePages(
            *m_file, *scan, found->indexId, found->rootPage, decoder.keyLayout());
        ASSERT_GT(pages.treePages.size(), 4u);
        m_treePages = pages.treePages;
        m_page = pages.treePages[pages.treePages.size() / 2];
        m_bounds = pages.boundsOf(m_page);
        m_bytes.resize(innodb::kDefaultPageSize);
        ASSERT_TRUE(m_file->readPage(m_page.pageNumber, m_bytes));
        decoder.decodePage(innodb::ConstPage(m_bytes), m_page.pageNumber, m_intact);
        ASSERT_GT(m_intact.rows.size(), 5u);
    }

    innodb::SalvageCounts salvage(
        const std::vector<std::uint8_t> &page, const innodb::KeyRange &bounds, Rows &into)
    {
        innodb::RecordDecoder decoder(m_table, *m_file, m_store);
        return decoder.salvagePage(innodb::ConstPage(page), m_page.pageNumber, bounds, into);
    }

    // How many salvaged rows equal the intact page's; each one that does not must be in doubt.
    std::size_t exactRowsFlaggingTheRest(const Rows &salvaged) const
    {
        std::size_t exact = 0;
        for (const auto &[at, text] : salvaged.rows) {
            const auto intact = m_intact.rows.find(at);
            if (intact != m_intact.rows.end() && intact->second == text) {
                ++exact;
            } else {
                EXPECT_TRUE(salvaged.doubts.count(at)) << "row at " << at << " differs unflagged";
            }
        }
        return exact;
    }

    fs::path m_folder;
    std::optional<innodb::TablespaceFile> m_file;
    innodb::LongValueStore m_store;
    frm::FrmTableEntry m_table;
    std::vector<innodb::TablePage> m_treePages;
    innodb::TablePage m_page;
    innodb::KeyRange m_bounds;
    std::vector<std::uint8_t> m_bytes;
    Rows m_intact;
};

TEST_F(PageSalvageTest, DamageOutsideTheRecordsLeavesEveryRowExactButInDoubt)
{
    std::vector<std::uint8_t> page = m_bytes;
    // The page directory's first slot area and the bytes just above the heap top: no record.
    const std::size_t top = innodb::heapTopOf(innodb::ConstPage(page));
    for (std::size_t i = 0; i < 16 && top + 40 + i < page.size() - 200; ++i) {
        page[top + 40 + i] ^= 0x5A;
    }
    ASSERT_FALSE(innodb::checkPage(innodb::ConstPage(page)).ok());
    {
        // Nothing on the page tells that the damage lies outside the records.
        Rows salvaged;
        const auto counts = salvage(page, m_bounds, salvaged);
        EXPECT_EQ(counts.chainsComplete, 1u);
        EXPECT_EQ(salvaged.rows, m_intact.rows);
        EXPECT_EQ(salvaged.doubts.size(), m_intact.rows.size());
        for (const auto &[at, doubt] : salvaged.doubts) {
            EXPECT_NE(doubt.find("failed its checksum"), std::string::npos) << doubt;
        }
        EXPECT_EQ(counts.rowsSalvaged, m_intact.rows.size());
        EXPECT_EQ(counts.rowsDoubtful, m_intact.rows.size());
    }
    // The same bytes under a checksum that matches them, as a page refused for its structure
    // alone is: the server wrote them, and the rows that prove themselves are sound.
    const std::uint32_t crc = innodb::crc32Checksum(innodb::ConstPage(page));
    for (const std::size_t at :
        { innodb::kFilPageSpaceOrChecksum, innodb::filTrailerOf(innodb::kDefaultPageSize) }) {
        for (std::size_t i = 0; i < 4; ++i) {
            page[at + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        }
    }
    ASSERT_TRUE(innodb::checkPage(innodb::ConstPage(page)).ok());
    Rows salvaged;
    const auto counts = salvage(page, m_bounds, salvaged);
    EXPECT_EQ(salvaged.rows, m_intact.rows);
    EXPECT_TRUE(salvaged.doubts.empty());
    EXPECT_EQ(counts.rowsDoubtful, 0u);
}

TEST_F(PageSalvageTest, ARunInsideOneRecordsDataLeavesNoWrongRowUnflagged)
{
    // The row with the longest value, garbled well inside its data: every structural check
    // still passes.
    const auto victim = std::max_element(m_intact.rows.begin(), m_intact.rows.end(),
        [](const auto &a, const auto &b) { return a.second.size() < b.second.size(); });
    ASSERT_GT(victim->second.size(), 200u);
    std::vector<std::uint8_t> page = m_bytes;
    const std::size_t origin = victim->first;
    for (std::size_t i = origin + 60; i < origin + 92; ++i) {
        page[i] = static_cast<std::uint8_t>(0x3C ^ (i * 97));
    }
    Rows salvaged;
    const auto counts = salvage(page, m_bounds, salvaged);
    EXPECT_LT(exactRowsFlaggingTheRest(salvaged), salvaged.rows.size()); // a value did change
    EXPECT_EQ(counts.rowsDoubtful, counts.rowsSalvaged);
}

// Where the 20-byte reference of an externally stored value lies in a leaf page of ibdata1:
// space 0, a page number, the data header's offset 38 and a length under 4 GiB with no flag set.
std::optional<std::size_t> findExternReference(const std::vector<std::uint8_t> &page)
{
    static constexpr std::uint8_t kZero[4] = {};
    static constexpr std::uint8_t kOffset[4] = { 0, 0, 0, 38 };
    const std::size_t top = innodb::heapTopOf(innodb::ConstPage(page));
    for (std::size_t at = innodb::kPageNewSupremumEnd; at + 20 <= top; ++at) {
        if (std::equal(kZero, kZero + 4, page.begin() + static_cast<long>(at))
            && std::equal(kOffset, kOffset + 4, page.begin() + static_cast<long>(at + 8))
            && std::equal(kZero, kZero + 4, page.begin() + static_cast<long>(at + 12))
            && innodb::readUint32(innodb::ConstPage(page), at + 4) > 3
            && innodb::readUint32(innodb::ConstPage(page), at + 16) > 0) {
            return at;
        }
    }
    return std::nullopt;
}

TEST_F(PageSalvageTest, AGarbledExternReferenceGivesNoRowWithAnotherValue)
{
    std::vector<std::uint8_t> page(innodb::kDefaultPageSize);
    std::optional<std::size_t> reference;
    std::uint32_t pageNumber = 0;
    for (const innodb::TablePage &tree : m_treePages) {
        ASSERT_TRUE(m_file->readPage(tree.pageNumber, page));
        if ((reference = findExternReference(page))) {
            pageNumber = tree.pageNumber;
            break;
        }
    }
    ASSERT_TRUE(reference) << "no leaf of properties holds an external value";
    const std::vector<std::uint8_t> original = page;
    const auto salvageWith = [&](std::size_t field, std::uint32_t value) {
        page = original;
        for (std::size_t i = 0; i < 4; ++i) {
            page[*reference + field + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
        }
        Rows salvaged;
        innodb::RecordDecoder decoder(m_table, *m_file, m_store);
        const auto counts = decoder.salvagePage(innodb::ConstPage(page), pageNumber, {}, salvaged);
        return std::pair { counts, salvaged };
    };
    const std::uint32_t length = innodb::readUint32(innodb::ConstPage(original), *reference + 16);
    {
        // Shorter: the bytes it asks for are all on intact pages, but they are not the value.
        SCOPED_TRACE("shorter length");
        const auto [counts, salvaged] = salvageWith(16, length - 1);
        EXPECT_EQ(counts.rowsWithDamagedLongValues, 1u);
    }
    {
        // Another space: checked against the page's own, not the reference's word for it.
        SCOPED_TRACE("another space id");
        const auto [counts, salvaged] = salvageWith(0, 5);
        EXPECT_EQ(counts.rowsWithDamagedLongValues, 1u);
    }
    {
        SCOPED_TRACE("unchanged");
        const auto [counts, salvaged] = salvageWith(16, length);
        EXPECT_EQ(counts.rowsWithDamagedLongValues, 0u);
    }
}

TEST_F(PageSalvageTest, AGarbledRecordHeaderBreaksTheChainAndTheRestIsFoundByTheScan)
{
    std::vector<std::uint8_t> page = m_bytes;
    // The header of a record in the first third of the chain, and a few bytes before it.
    auto victim = m_intact.rows.begin();
    std::advance(victim, static_cast<long>(m_intact.rows.size() / 3));
    const std::size_t origin = victim->first;
    for (std::size_t i = origin - 12; i < origin; ++i) {
        page[i] = static_cast<std::uint8_t>(0xA7 ^ (i * 31));
    }
    Rows salvaged;
    const auto counts = salvage(page, m_bounds, salvaged);
    EXPECT_EQ(counts.chainsComplete, 0u);
    EXPECT_GT(counts.foundByScan, 0u);
    // Every row but the broken one's comes back, and any that differs is in doubt.
    EXPECT_GE(salvaged.rows.size() + 1, m_intact.rows.size());
    const std::size_t exact = exactRowsFlaggingTheRest(salvaged);
    EXPECT_GE(exact + 2, m_intact.rows.size());
    EXPECT_FALSE(salvaged.doubts.empty()); // the neighbours of the damage
}

TEST_F(PageSalvageTest, RecordsBetweenTwoBreaksAreFoundThroughTheDirectory)
{
    std::vector<std::uint8_t> page = m_bytes;
    // Two record headers garbled, a third and two thirds of the way through the chain. The
    // records between them link only to the second break: only the directory's slots, each
    // owning at most 8 records, vouch for them.
    std::vector<std::size_t> chain;
    for (std::size_t at = (innodb::kPageNewInfimum + innodb::readUint16(innodb::ConstPage(page),
                               innodb::kPageNewInfimum - 2))
             & 0xFFFF;
         at != innodb::kPageNewSupremum && chain.size() <= m_intact.rows.size();
         at = (at + innodb::readUint16(innodb::ConstPage(page), at - 2)) & 0xFFFF) {
        chain.push_back(at);
    }
    ASSERT_EQ(chain.size(), m_intact.rows.size());
    ASSERT_GT(chain.size(), 24u);
    for (const std::size_t victim : { chain[chain.size() / 3], chain[2 * chain.size() / 3] }) {
        for (std::size_t i = victim - 5; i < victim; ++i) {
            page[i] = static_cast<std::uint8_t>(0xA7 ^ (i * 31));
        }
    }
    Rows salvaged;
    const auto counts = salvage(page, m_bounds, salvaged);
    const std::size_t exact = exactRowsFlaggingTheRest(salvaged);
    // All but the two broken ones and those after the last slot owner before the second break.
    EXPECT_GE(exact + 2 + 7, chain.size()) << counts.foundByScan << " found by the scan";
}

TEST_F(PageSalvageTest, KeysOutsideThePagesBoundsAreNotTaken)
{
    std::vector<std::uint8_t> page = m_bytes;
    page[innodb::heapTopOf(innodb::ConstPage(page)) + 50] ^= 1;
    // Bounds that end below every key of the page: the parent says none of them belongs here.
    innodb::KeyRange below;
    below.high = innodb::KeyBytes { { 0x00 } };
    Rows salvaged;
    const auto counts = salvage(page, below, salvaged);
    EXPECT_TRUE(salvaged.rows.empty());
    EXPECT_GT(counts.recordsRejected, 0u);
}

} // namespace
