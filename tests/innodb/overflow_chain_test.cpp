// Overflow pages are verified like leaf pages: on the BLOB chains a real server wrote into the
// generated Zarafa folder, each way a chain page can be wrong (random bytes, a page written
// elsewhere, another tablespace's page, a compressed BLOB page, an untyped page in a modern file,
// a loop, a link out of the file, a chain that ends short) ends the value there, names the page,
// and never lets a byte of the bad page through. Then the whole lob table: a row whose value runs
// over a damaged page is left out and named by its key, or kept cut short on request.
#include "frm/table_definition_reader.h"
#include "innodb/index_tree.h"
#include "innodb/overflow_chain.h"
#include "innodb/page_check.h"
#include "innodb/page_scanner.h"
#include "innodb/record_decoder.h"
#include "innodb/row_key_text.h"
#include "innodb/table_discovery.h"
#include "innodb/tablespace_file.h"
#include "record_test_support.h"
#include "support/temp_dir.h"
#include "support/truth_files.h"

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

struct Chain
{
    std::vector<std::uint32_t> pages;
    std::uint64_t length = 0;
    std::vector<std::uint8_t> bytes;
};

class OverflowChainTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
        if (m_folder.empty() || !fs::exists(m_folder / "ibdata1")) {
            GTEST_SKIP() << "the Zarafa fixture was not made";
        }
        m_space = std::make_unique<MemoryTablespace>(MemoryTablespace::load(m_folder / "ibdata1"));
        findChains();
        ASSERT_FALSE(m_chains.empty()) << "no BLOB chain of three pages or more";
    }

    // The chains of BLOB pages the server wrote: a head is a BLOB page no other one links to.
    void findChains()
    {
        std::map<std::uint32_t, std::uint32_t> next;
        std::set<std::uint32_t> linked;
        for (std::uint32_t p = 0; p < m_space->pageCount(); ++p) {
            const auto page = m_space->page(p);
            if (innodb::pageTypeOf(page) == innodb::kFilPageTypeBlob
                && innodb::checkPage(page).ok()) {
                next[p] = innodb::readUint32(page, innodb::kBlobNextPage);
                linked.insert(next[p]);
            }
        }
        for (const auto &[head, ignored] : next) {
            if (linked.count(head)) {
                continue;
            }
            Chain chain;
            for (std::uint32_t p = head; p != innodb::kFilNull && next.count(p); p = next[p]) {
                const auto page = m_space->page(p);
                const std::uint32_t part = innodb::readUint32(page, innodb::kBlobPartLength);
                chain.pages.push_back(p);
                chain.length += part;
                chain.bytes.insert(chain.bytes.end(), page.begin() + innodb::kBlobData,
                    page.begin() + innodb::kBlobData + part);
            }
            if (chain.pages.size() >= 3) {
                m_chains.push_back(std::move(chain));
            }
        }
    }

    std::uint8_t *pageBytes(std::uint32_t page)
    {
        return m_space->bytes().data() + std::size_t { page } * innodb::kDefaultPageSize;
    }

    void writeField(std::uint32_t page, std::size_t offset, std::uint64_t value, std::size_t width)
    {
        for (std::size_t i = 0; i < width; ++i) {
            pageBytes(page)[offset + i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
        }
    }

    // Gives a changed page a valid crc32 checksum again, as a server would have written it: what
    // is then found wrong is the page's content, not its checksum.
    void reseal(std::uint32_t page)
    {
        const std::uint32_t crc = innodb::crc32Checksum(m_space->page(page));
        writeField(page, innodb::kFilPageSpaceOrChecksum, crc, 4);
        writeField(page, innodb::filTrailerOf(innodb::kDefaultPageSize), crc, 4);
        ASSERT_TRUE(innodb::checkPage(m_space->page(page)).ok());
    }

    struct Read
    {
        innodb::OverflowResult result;
        std::vector<std::uint8_t> bytes;
    };
    Read read(const Chain &chain, std::uint64_t length = 0, bool untyped = false)
    {
        innodb::LongValueStore store;
        innodb::StoredBytes target;
        Read out;
        {
            innodb::LongValueWriter writer(store, target);
            out.result = innodb::ReadOverflowChain(*m_space,
                { innodb::spaceIdOf(m_space->page(chain.pages[0])), untyped }, chain.pages[0],
                length ? length : chain.length, writer);
        }
        out.bytes = target.readAll().value();
        return out;
    }

    // The bytes of the chain's first `pages` pages: all that may come out when the next is bad.
    std::vector<std::uint8_t> partsBefore(const Chain &chain, std::size_t pages)
    {
        std::size_t length = 0;
        for (std::size_t i = 0; i < pages; ++i) {
            length += innodb::readUint32(m_space->page(chain.pages[i]), innodb::kBlobPartLength);
        }
        return { chain.bytes.begin(), chain.bytes.begin() + static_cast<std::ptrdiff_t>(length) };
    }

    fs::path m_folder;
    std::unique_ptr<MemoryTablespace> m_space;
    std::vector<Chain> m_chains;
};

TEST_F(OverflowChainTest, IntactChainsComeOutWhole)
{
    for (const Chain &chain : m_chains) {
        const Read got = read(chain);
        EXPECT_TRUE(got.result.complete) << got.result.damage;
        EXPECT_TRUE(got.result.damage.empty());
        EXPECT_FALSE(got.result.overran);
        EXPECT_EQ(got.bytes, chain.bytes);
    }
}

// A reference whose length was garbled to less than its chain holds: the bytes it asks for are
// intact, yet the value is not the one the row held, and only the chain's surplus tells.
TEST_F(OverflowChainTest, AChainLongerThanItsReferenceSaysOverruns)
{
    for (const Chain &chain : m_chains) {
        const Read shorter = read(chain, chain.length - 1);
        EXPECT_TRUE(shorter.result.complete) << shorter.result.damage;
        EXPECT_TRUE(shorter.result.overran);
        const std::uint64_t firstPart
            = innodb::readUint32(m_space->page(chain.pages[0]), innodb::kBlobPartLength);
        if (chain.pages.size() > 1) {
            // Ends on a part boundary: the next page the first one names is the surplus.
            EXPECT_TRUE(read(chain, firstPart).result.overran);
        }
    }
}

TEST_F(OverflowChainTest, EachWrongPageEndsTheValueBeforeItsBytes)
{
    const Chain &chain = m_chains.front();
    const std::uint32_t middle = chain.pages[1];
    const std::vector<std::uint8_t> original(
        pageBytes(middle), pageBytes(middle) + innodb::kDefaultPageSize);
    const auto restore = [&] { std::copy(original.begin(), original.end(), pageBytes(middle)); };
    const auto expectEndsAtMiddle = [&](const std::string &why, const std::string &words) {
        SCOPED_TRACE(why);
        const Read got = read(chain);
        EXPECT_FALSE(got.result.complete);
        EXPECT_NE(got.result.damage.find(words), std::string::npos) << got.result.damage;
        EXPECT_EQ(got.bytes, partsBefore(chain, 1));
        restore();
    };

    // Random bytes between the FIL header and trailer, the header left as it was.
    std::mt19937 random(3);
    for (std::size_t i = innodb::kFilPageData; i < innodb::filTrailerOf(innodb::kDefaultPageSize);
         ++i) {
        pageBytes(middle)[i] = static_cast<std::uint8_t>(random());
    }
    expectEndsAtMiddle("garbled", "overflow page " + std::to_string(middle) + " is damaged");

    writeField(middle, innodb::kFilPageOffset, middle + 1, 4);
    reseal(middle);
    expectEndsAtMiddle("page written elsewhere", "holds page " + std::to_string(middle + 1));

    writeField(middle, innodb::kFilPageSpaceId, 77, 4);
    reseal(middle);
    expectEndsAtMiddle("another space", "belongs to tablespace 77");

    writeField(middle, innodb::kFilPageType, innodb::kFilPageTypeZBlob2, 2);
    reseal(middle);
    expectEndsAtMiddle("compressed BLOB page", "compressed BLOB page");

    writeField(middle, innodb::kFilPageType, innodb::kFilPageTypeIndex, 2);
    reseal(middle);
    expectEndsAtMiddle("an index page", "not a BLOB page (page type 17855)");

    writeField(middle, innodb::kBlobPartLength, innodb::kDefaultPageSize, 4);
    reseal(middle);
    expectEndsAtMiddle("part longer than a page", "impossible part length");

    writeField(middle, innodb::kBlobNextPage, middle, 4);
    reseal(middle);
    {
        const Read got = read(chain);
        EXPECT_FALSE(got.result.complete);
        EXPECT_NE(got.result.damage.find("loops back to page " + std::to_string(middle)),
            std::string::npos)
            << got.result.damage;
        EXPECT_EQ(got.bytes, partsBefore(chain, 2));
        restore();
    }

    writeField(middle, innodb::kBlobNextPage, static_cast<std::uint32_t>(m_space->pageCount()), 4);
    reseal(middle);
    {
        const Read got = read(chain);
        EXPECT_FALSE(got.result.complete);
        EXPECT_NE(got.result.damage.find("beyond the end of the file"), std::string::npos)
            << got.result.damage;
        restore();
    }

    // The reference asks for more than the chain holds.
    const Read longer = read(chain, chain.length + 1);
    EXPECT_FALSE(longer.result.complete);
    EXPECT_NE(longer.result.damage.find("ends with 1 of"), std::string::npos)
        << longer.result.damage;
    EXPECT_EQ(longer.bytes, chain.bytes);
}

TEST_F(OverflowChainTest, UntypedPagesOnlyInATablespaceOldEnoughToWriteThem)
{
    const Chain &chain = m_chains.front();
    writeField(chain.pages[1], innodb::kFilPageType, innodb::kFilPageTypeAllocated, 2);
    reseal(chain.pages[1]);
    // This file was written by MariaDB 10.11, whose page 0 is typed: type 0 is not a BLOB page.
    EXPECT_FALSE(innodb::holdsUntypedBlobPages(*m_space));
    EXPECT_FALSE(read(chain, 0, false).result.complete);
    // InnoDB before 5.1.7 typed no page, its FSP header neither.
    writeField(innodb::kFspHeaderPage, innodb::kFilPageType, innodb::kFilPageTypeAllocated, 2);
    reseal(innodb::kFspHeaderPage);
    EXPECT_TRUE(innodb::holdsUntypedBlobPages(*m_space));
    const Read old = read(chain, 0, true);
    EXPECT_TRUE(old.result.complete) << old.result.damage;
    EXPECT_EQ(old.bytes, chain.bytes);
}

// The lob table's rows through the decoder, with every `step`-th chain's second page garbled.
class LobRowsTest : public OverflowChainTest
{
protected:
    struct Rows : innodb::RowSink
    {
        void acceptRow(const innodb::DecodedRow &row) override
        {
            std::ostringstream line;
            (void)innodb::writeTsvLine(row, line);
            lines.push_back(line.str());
            if (!row.cutColumns.empty()) {
                cut.push_back(innodb::keyText(row));
            }
        }
        void rowLeftOut(const innodb::DecodedRow &row) override
        {
            leftOut.push_back(innodb::keyText(row));
            reasons.push_back(row.damage);
        }
        std::vector<std::string> lines;
        std::vector<std::string> cut;
        std::vector<std::string> leftOut;
        std::vector<std::string> reasons;
    };

    Rows decodeLob(bool keep, innodb::PageDecodeCounts &counts)
    {
        auto table = frm::readTableDefinition(
            (m_folder / "Zarafa" / "lob.frm").string(), "lob.frm", "zarafa/lob");
        EXPECT_TRUE(table.ok());
        // The scan reads a file: the damaged copy goes to one.
        TempDir temp;
        std::ofstream(temp.path() / "ibdata1", std::ios::binary)
            .write(reinterpret_cast<const char *>(m_space->bytes().data()),
                static_cast<std::streamsize>(m_space->bytes().size()));
        auto file = innodb::TablespaceFile::open((temp.path() / "ibdata1").string());
        EXPECT_TRUE(file.ok());
        auto scan = innodb::scanTablespace(*file, {});
        auto discovery = innodb::discoverTables(*file, *scan);
        const auto *entry = discovery->find("zarafa/lob");
        EXPECT_NE(entry, nullptr);
        innodb::LongValueStore store;
        innodb::DecodeOptions options;
        options.keepDamagedValues = keep;
        innodb::RecordDecoder decoder(*table, *m_space, store, options);
        Rows rows;
        const auto pages = innodb::collectTablePages(
            *file, *scan, entry->indexId, entry->rootPage, decoder.keyLayout());
        std::array<std::uint8_t, innodb::kDefaultPageSize> buffer {};
        for (const auto &page : pages.treePages) {
            EXPECT_TRUE(m_space->readPage(page.pageNumber, innodb::PageBuffer(buffer)));
            counts += innodb::DecodePageRecords(
                decoder, innodb::ConstPage(buffer), page.pageNumber, rows);
        }
        return rows;
    }

    std::size_t garbleEvery(std::size_t step)
    {
        std::size_t garbled = 0;
        for (std::size_t i = 0; i < m_chains.size(); i += step, ++garbled) {
            std::uint8_t *bytes = pageBytes(m_chains[i].pages[1]);
            for (std::size_t b = 1000; b < 1100; ++b) {
                bytes[b] ^= 0x5A;
            }
        }
        return garbled;
    }
};

TEST_F(LobRowsTest, RowsOverDamagedPagesAreLeftOutByKeyOrKeptCutOnRequest)
{
    const auto truth = sortedRows(m_folder / "truth" / "lob.tsv");
    const std::set<std::string> truthLines(truth.begin(), truth.end());
    const std::size_t garbled = garbleEvery(4);
    ASSERT_GT(garbled, 0u);

    innodb::PageDecodeCounts leftOutCounts;
    const Rows leftOut = decodeLob(false, leftOutCounts);
    EXPECT_EQ(leftOutCounts.rowsWithDamagedLongValues, leftOut.leftOut.size());
    EXPECT_EQ(leftOutCounts.valuesTruncated, 0u);
    EXPECT_GE(leftOut.leftOut.size(), 1u);
    // Every row that came out is exact; the ones missing are the ones named.
    for (const auto &line : leftOut.lines) {
        EXPECT_TRUE(truthLines.count(line.substr(0, line.size() - 1))) << line.substr(0, 200);
    }
    EXPECT_EQ(leftOut.lines.size() + leftOut.leftOut.size(), truth.size());
    for (std::size_t i = 0; i < leftOut.leftOut.size(); ++i) {
        EXPECT_EQ(leftOut.leftOut[i].rfind("instanceid=", 0), 0u) << leftOut.leftOut[i];
        EXPECT_NE(leftOut.reasons[i].find("val_binary: overflow page"), std::string::npos)
            << leftOut.reasons[i];
    }

    innodb::PageDecodeCounts keptCounts;
    const Rows kept = decodeLob(true, keptCounts);
    EXPECT_EQ(kept.lines.size(), truth.size());
    EXPECT_EQ(kept.cut, leftOut.leftOut);
    EXPECT_EQ(keptCounts.valuesTruncated, kept.cut.size());
    EXPECT_EQ(keptCounts.rowsWithDamagedLongValues, 0u);
    std::size_t different = 0;
    for (const auto &line : kept.lines) {
        different += truthLines.count(line.substr(0, line.size() - 1)) ? 0 : 1;
    }
    EXPECT_EQ(different, kept.cut.size());
}

} // namespace
