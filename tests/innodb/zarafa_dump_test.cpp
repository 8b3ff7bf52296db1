// The whole read path on a Zarafa data folder written by a real server: definitions, dictionary,
// scan, tree walk and record decoding give exactly the rows of the fixture's truth files.
#include "frm/table_definition_reader.h"
#include "innodb/index_tree.h"
#include "innodb/page_scanner.h"
#include "innodb/record_decoder.h"
#include "innodb/table_discovery.h"
#include "innodb/tablespace_file.h"
#include "innodb/value_text.h"
#include "record_test_support.h"
#include "support/temp_dir.h"
#include "support/truth_files.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <random>

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

using Dump = std::map<std::string, std::vector<std::string>>; // table -> sorted lines

std::vector<std::string> sortedLines(std::istream &in)
{
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line + "\n");
    }
    std::sort(lines.begin() + (lines.empty() ? 0 : 1), lines.end());
    return lines;
}

// Decodes every table of `folder` with `ibdata` as its tablespace.
Dump dumpFolder(const fs::path &folder, const fs::path &ibdata)
{
    Dump dump;
    auto file = innodb::TablespaceFile::open(ibdata.string());
    if (!file) {
        return dump;
    }
    innodb::TablespaceFile &space = *file;
    std::array<std::uint8_t, innodb::kDefaultPageSize> buffer {};
    auto scan = innodb::scanTablespace(space, {});
    if (!scan) {
        return dump;
    }
    auto discovery = innodb::discoverTables(space, *scan);
    if (!discovery) {
        return dump;
    }
    innodb::LongValueStore store(64 * 1024); // small, so that the lob rows take the file path
    for (const auto &entry : fs::directory_iterator(folder / "Zarafa")) {
        const std::string fileName = entry.path().filename().string();
        const std::string name = frm::tableNameFromFileName(fileName);
        auto table = frm::readTableDefinition(entry.path().string(), fileName, "zarafa/" + name);
        const auto *found = table ? discovery->find(table->dictionaryName) : nullptr;
        if (!found) {
            continue;
        }
        innodb::RecordDecoder decoder(*table, space, store);
        std::ostringstream out;
        out << innodb::tsvHeader(*table);
        struct Sink : innodb::RowSink
        {
            std::ostream &out;
            explicit Sink(std::ostream &o)
                : out(o)
            {
            }
            void acceptRow(const innodb::DecodedRow &row) override
            {
                (void)innodb::writeTsvLine(row, out);
            }
        } sink(out);
        const auto pages = innodb::collectTablePages(
            space, *scan, found->indexId, found->rootPage, decoder.keyLayout());
        for (const auto *list : { &pages.treePages, &pages.orphanPages }) {
            for (const auto &page : *list) {
                if (space.readPage(page.pageNumber, innodb::PageBuffer(buffer))) {
                    innodb::DecodePageRecords(
                        decoder, innodb::ConstPage(buffer), page.pageNumber, sink);
                }
            }
        }
        std::istringstream in(out.str());
        dump[name] = sortedLines(in);
    }
    return dump;
}

void expectEqualsTruth(const fs::path &folder)
{
    const Dump dump = dumpFolder(folder, folder / "ibdata1");
    std::size_t compared = 0;
    for (const auto &entry : fs::directory_iterator(folder / "truth")) {
        const std::string name = entry.path().stem().string();
        if (entry.path().extension() != ".tsv"
            || !fs::exists(folder / "Zarafa" / (name + ".frm"))) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        const auto truth = sortedLines(in);
        ASSERT_TRUE(dump.count(name)) << name;
        EXPECT_EQ(dump.at(name), truth) << name;
        ++compared;
    }
    EXPECT_GT(compared, 20u);
}

fs::path fixture(const char *variable) { return testing_support::fixtureFromEnvironment(variable); }

TEST(ZarafaDumpTest, EveryTableEqualsTheTruthByteForByte)
{
    const auto folder = fixture("ZR_ZARAFA_FIXTURE_DIR");
    if (folder.empty() || !fs::exists(folder / "ibdata1")) {
        GTEST_SKIP() << "the Zarafa fixture was not made";
    }
    expectEqualsTruth(folder);
}

TEST(ZarafaDumpTest, ChurnedTablespaceGivesExactlyTheLiveRows)
{
    const auto folder = fixture("ZR_ZARAFA_CHURN_FIXTURE_DIR");
    if (folder.empty() || !fs::exists(folder / "ibdata1")) {
        GTEST_SKIP() << "the churn fixture was not made";
    }
    expectEqualsTruth(folder);
}

TEST(ZarafaDumpTest, RandomBytesOverLeafPagesNeverCrashTheDecoder)
{
    const auto folder = fixture("ZR_ZARAFA_FIXTURE_DIR");
    if (folder.empty() || !fs::exists(folder / "ibdata1")) {
        GTEST_SKIP() << "the Zarafa fixture was not made";
    }
    auto space = MemoryTablespace::load(folder / "ibdata1");
    std::mt19937 random(5);
    std::size_t damaged = 0;
    for (std::uint32_t p = 0; p < space.pageCount(); ++p) {
        const auto page = space.page(p);
        if (innodb::isIndexPage(page) && innodb::pageLevelOf(page) == 0 && p > 12
            && random() % 20 == 0) {
            // Keep the FIL and index headers so the page is still taken as a leaf: the records
            // themselves are garbage, the worst case for the decoder.
            auto *bytes = space.bytes().data() + std::size_t { p } * innodb::kDefaultPageSize;
            for (std::size_t i = innodb::kPageNewInfimum - 2; i < innodb::kDefaultPageSize - 8;
                 ++i) {
                bytes[i] = static_cast<std::uint8_t>(random());
            }
            ++damaged;
        }
    }
    ASSERT_GT(damaged, 0u);
    TempDir temp;
    auto write = [&](const std::vector<std::uint8_t> &bytes) {
        std::ofstream(temp.path() / "ibdata1", std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
        return temp.path() / "ibdata1";
    };
    const Dump dump = dumpFolder(folder, write(space.bytes()));
    EXPECT_FALSE(dump.empty());

    // Zeroed dictionary pages: no table is found, nothing crashes.
    auto blank = MemoryTablespace::load(folder / "ibdata1");
    std::fill(blank.bytes().begin() + 7 * innodb::kDefaultPageSize,
        blank.bytes().begin() + 13 * innodb::kDefaultPageSize, 0);
    (void)dumpFolder(folder, write(blank.bytes()));
}

} // namespace
