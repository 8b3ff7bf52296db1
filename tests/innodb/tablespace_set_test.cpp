// The tablespaces of a data folder on damaged and unusual folders: formats that cannot be read,
// an .ibd that is not one, an ibdata1 without a readable dictionary.
#include "frm/table_definition_reader.h"
#include "innodb/page_layout.h"
#include "innodb/tablespace_set.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace testing_support;

const std::filesystem::path kSakilaTables = sharedFixtures() / "mysql-5.0-sakila" / "sakila";

// A folder with the sakila category table (its .frm and .ibd) under the name `zarafa/category`.
struct Folder
{
    TempDir dir;
    std::vector<frm::FrmTableEntry> definitions;

    Folder()
    {
        dir.mkdir("Zarafa");
        for (const char *name : { "category.frm", "category.ibd" }) {
            std::filesystem::copy_file(kSakilaTables / name, dir.path() / "Zarafa" / name);
        }
        auto table = frm::readTableDefinition(
            (dir.path() / "Zarafa" / "category.frm").string(), "category.frm", "zarafa/category");
        EXPECT_TRUE(table.ok());
        definitions.push_back(std::move(*table));
    }
    std::string zarafa() const { return (dir.path() / "Zarafa").string(); }
    // Four pages: page 0 with the given FSP flags, the others zero.
    static std::string spaceBytes(std::uint32_t flags)
    {
        std::string bytes(4 * innodb::kDefaultPageSize, '\0');
        // Page 0 is an FSP header: page type 8, space id 0.
        bytes[innodb::kFilPageType + 1] = static_cast<char>(innodb::kFilPageTypeFspHeader);
        for (int i = 0; i < 4; ++i) {
            bytes[innodb::kFspSpaceFlags + static_cast<std::size_t>(i)]
                = static_cast<char>(flags >> (24 - 8 * i));
        }
        return bytes;
    }
    void writeSpace(const std::string &relative, std::uint32_t flags) const
    {
        dir.write(relative, spaceBytes(flags));
    }
};

bool mentions(const std::vector<std::string> &lines, const std::string &text)
{
    return std::any_of(lines.begin(), lines.end(),
        [&](const std::string &line) { return line.find(text) != std::string::npos; });
}

TEST(TablespaceSetTest, UnreadableTablespaceFormatsAreNamedAndLeftOutWhileTheOthersAreRead)
{
    Folder folder;
    // Post-Antelope, atomic BLOBs and MySQL 5.7's encryption flag: its key is not in the folder.
    folder.writeSpace("Zarafa/packed.ibd", 0x01 | 0x20 | (1u << 13));
    // A page size no server writes (512 << 2 = 2 KiB).
    folder.writeSpace("Zarafa/tiny.ibd", 2u << 6);
    const auto set = innodb::TablespaceSet::open("", folder.zarafa(), folder.definitions);
    EXPECT_TRUE(mentions(set.problems(), "packed.ibd: the tablespace is encrypted (MySQL"));
    EXPECT_TRUE(mentions(set.problems(), "tiny.ibd: the tablespace names no page size"));
    ASSERT_EQ(set.tables().size(), 1u);
    EXPECT_NE(set.find("zarafa/category"), nullptr);
    EXPECT_EQ(set.find("zarafa/packed"), nullptr);
}

// MySQL 5.7 keeps the page's own type inside such a page and writes 14 (compressed) or 15, 16, 17
// (encrypted) in its place: the page is named, not taken for damage or for no page at all.
TEST(TablespaceSetTest, MysqlTransparentCompressionIsNamedNotTakenForDamage)
{
    Folder folder;
    auto bytes = Folder::spaceBytes(0x21);
    const std::size_t root = innodb::kIbdClusteredRoot * innodb::kDefaultPageSize;
    bytes[root + innodb::kFilPageOffset + 3] = static_cast<char>(innodb::kIbdClusteredRoot);
    bytes[root + innodb::kFilPageType + 1] = 14;
    folder.dir.write("Zarafa/squeezed.ibd", bytes);
    const auto set = innodb::TablespaceSet::open("", folder.zarafa(), folder.definitions);
    EXPECT_TRUE(mentions(set.problems(),
        "squeezed.ibd: 1 pages cannot be read, the first because it is compressed by MySQL's "
        "transparent page compression"));
    EXPECT_TRUE(mentions(set.problems(), "page 3 is compressed by MySQL's"));
    EXPECT_EQ(set.find("zarafa/squeezed"), nullptr);
    EXPECT_NE(set.find("zarafa/category"), nullptr);
}

TEST(TablespaceSetTest, AnIbdWithoutAClusteredRootIsAProblemNotACrash)
{
    Folder folder;
    folder.writeSpace("Zarafa/empty.ibd", 0);
    folder.dir.write("Zarafa/short.ibd", "not a tablespace");
    const auto set = innodb::TablespaceSet::open("", folder.zarafa(), folder.definitions);
    EXPECT_TRUE(mentions(set.problems(), "empty.ibd"));
    EXPECT_TRUE(mentions(set.problems(), "short.ibd"));
    ASSERT_EQ(set.tables().size(), 1u);
    EXPECT_EQ(set.tables().front().entry.name, "zarafa/category");
}

TEST(TablespaceSetTest, AnUnreadableDictionaryFallsBackToEachIbdsOwnRoot)
{
    Folder folder;
    folder.writeSpace("ibdata1", 0); // an FSP header and nothing else: no dictionary
    const auto set = innodb::TablespaceSet::open(
        (folder.dir.path() / "ibdata1").string(), folder.zarafa(), folder.definitions);
    EXPECT_FALSE(set.dictionaryRead());
    EXPECT_TRUE(mentions(set.problems(), "ibdata1: the data dictionary cannot be read"));
    const innodb::TableInSpace *table = set.find("ZARAFA/Category");
    ASSERT_NE(table, nullptr);
    EXPECT_FALSE(table->fromDictionary);
    EXPECT_EQ(table->fileName, "category.ibd");
    EXPECT_EQ(table->entry.rootPage, innodb::kIbdClusteredRoot);
    EXPECT_TRUE(table->entry.hasPrimaryKey);
    EXPECT_NE(table->scan->group(table->entry.indexId), nullptr);
    EXPECT_EQ(set.totalBytes(),
        4 * innodb::kDefaultPageSize + std::filesystem::file_size(kSakilaTables / "category.ibd"));
}

} // namespace
