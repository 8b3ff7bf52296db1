// MariaDB PAGE_COMPRESSED=1 tables of every algorithm in both checksum layouts, and encrypted
// tables, written by a real MariaDB server (16k/page_compressed, 16k/encrypted).
#include "innodb/page_check.h"
#include "innodb/page_compressed.h"
#include "innodb/page_layout.h"
#include "innodb/tablespace_file.h"
#include "page_formats_support.h"

#include <gtest/gtest.h>
#include <set>

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

const char *const kAlgorithms[] = { "zlib", "lz4", "lzo", "lzma", "bzip2", "snappy" };

fs::path compressedFile(const std::string &table)
{
    return pageFormatsFolder("16k/page_compressed") / "Zarafa" / (table + ".ibd");
}

std::vector<std::vector<std::uint8_t>> pagesOf(const fs::path &path)
{
    const auto bytes = readFile(path);
    std::vector<std::vector<std::uint8_t>> pages;
    for (std::size_t at = 0; at + innodb::kDefaultPageSize <= bytes.size();
         at += innodb::kDefaultPageSize) {
        pages.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
            bytes.begin() + static_cast<std::ptrdiff_t>(at + innodb::kDefaultPageSize));
    }
    return pages;
}

innodb::SpaceFormat formatOf(const fs::path &path)
{
    auto file = innodb::TablespaceFile::open(path.string());
    EXPECT_TRUE(file.ok()) << path;
    return file ? file->format() : innodb::SpaceFormat {};
}

// The algorithm a classic compressed page names (the low 2 bytes of the field at 26).
std::uint16_t classicAlgorithm(const std::vector<std::uint8_t> &page)
{
    return innodb::readUint16(page, innodb::kFilPageFileFlushLsn + 6);
}

// Every compressed page inflates to the page it was, its own checks passing: the classic form's
// view carries the checksum computed before compression, the full_crc32 form is checked as
// stored. The classic form names its algorithm on each page.
TEST(PageCompressedTest, EveryAlgorithmInBothLayoutsGivesBackPagesThatPassTheirChecks)
{
    for (const char *algorithm : kAlgorithms) {
        for (const std::string prefix : { "pc_", "pcc_" }) {
            const std::string table = prefix + algorithm;
            SCOPED_TRACE(table);
            const auto format = formatOf(compressedFile(table));
            EXPECT_TRUE(format.pageCompressed);
            EXPECT_EQ(format.fullCrc32, prefix == "pc_");
            if (format.fullCrc32) {
                EXPECT_EQ(innodb::compressionName(static_cast<std::uint8_t>(format.algorithm)),
                    algorithm);
            }
            std::size_t compressed = 0;
            std::uint32_t number = 0;
            for (const auto &stored : pagesOf(compressedFile(table))) {
                SCOPED_TRACE(number++);
                if (!innodb::isPageCompressed(stored, format)) {
                    continue;
                }
                ++compressed;
                if (!format.fullCrc32) {
                    EXPECT_EQ(innodb::pageTypeOf(stored), innodb::kFilPageTypePageCompressed);
                    EXPECT_EQ(innodb::compressionName(classicAlgorithm(stored)), algorithm);
                }
                std::vector<std::uint8_t> view(innodb::kDefaultPageSize);
                const auto read = innodb::decompressPageCompressed(stored, view, format);
                ASSERT_TRUE(read.ok()) << read.reason;
                EXPECT_EQ(innodb::pageNumberOf(view), number - 1);
                const auto check = read.storedCheck ? *read.storedCheck
                                                    : innodb::checkPage(view, format.fullCrc32);
                EXPECT_TRUE(check.ok());
            }
            EXPECT_GT(compressed, 3u);
        }
    }
}

TEST(PageCompressedTest, ClassicPagesOfOneFileMayNameDifferentAlgorithms)
{
    std::set<std::string> seen;
    for (const auto &stored : pagesOf(compressedFile("pcc_mixed"))) {
        if (innodb::pageTypeOf(stored) == innodb::kFilPageTypePageCompressed) {
            seen.insert(std::string(innodb::compressionName(classicAlgorithm(stored))));
        }
    }
    EXPECT_EQ(seen, (std::set<std::string> { "snappy", "zlib" }));
}

TEST(PageCompressedTest, DamagedDataSizesAndAlgorithmsAreDamagedPages)
{
    const auto first = [](const std::string &table) {
        const auto format = formatOf(compressedFile(table));
        for (auto &page : pagesOf(compressedFile(table))) {
            if (innodb::isPageCompressed(page, format) && innodb::pageTypeOf(page) != 0) {
                return std::make_pair(page, format);
            }
        }
        return std::make_pair(std::vector<std::uint8_t> {}, format);
    };
    std::vector<std::uint8_t> view(innodb::kDefaultPageSize);
    const auto outcome = [&](const std::vector<std::uint8_t> &page, const innodb::SpaceFormat &f) {
        return innodb::decompressPageCompressed(page, view, f);
    };

    for (const char *algorithm : kAlgorithms) {
        SCOPED_TRACE(algorithm);
        // Classic: the stored form has no checksum of its own. A damaged stream either fails to
        // inflate, naming its algorithm, or inflates to a page whose own checksum fails.
        auto [classic, classicFormat] = first(std::string("pcc_") + algorithm);
        ASSERT_FALSE(classic.empty());
        auto garbled = classic;
        for (std::size_t at = 60; at < 60 + 24; at += 3) {
            garbled[at] ^= 0x5A;
        }
        const auto read = outcome(garbled, classicFormat);
        if (read.ok()) {
            EXPECT_FALSE(innodb::checkPage(view, false).ok());
        } else {
            EXPECT_EQ(read.outcome, innodb::PageRead::Outcome::Damaged);
            EXPECT_NE(read.reason.find(algorithm), std::string::npos) << read.reason;
        }
        auto oversize = classic;
        oversize[innodb::kFilPageData] = 0x7F;
        EXPECT_NE(
            outcome(oversize, classicFormat).reason.find("size is impossible"), std::string::npos);

        // full_crc32: the stored bytes carry a CRC-32C up to the compressed size.
        auto [full, fullFormat] = first(std::string("pc_") + algorithm);
        ASSERT_FALSE(full.empty());
        auto flipped = full;
        flipped[40] ^= 0x01;
        const auto fullRead = outcome(flipped, fullFormat);
        ASSERT_TRUE(fullRead.storedCheck.has_value());
        EXPECT_EQ(fullRead.storedCheck->verdict, innodb::PageVerdict::BadChecksum);
        auto wrongSize = full;
        wrongSize[innodb::kFilPageType + 1] = 0;
        EXPECT_EQ(outcome(wrongSize, fullFormat).outcome, innodb::PageRead::Outcome::Damaged);
    }
    auto [page, format] = first("pcc_zlib");
    page[innodb::kFilPageFileFlushLsn + 7] = 9;
    EXPECT_NE(outcome(page, format).reason.find("algorithm 9, which no server writes"),
        std::string::npos);
}

// The key stays with the server; the pages are named, and nothing is made of their bytes.
TEST(EncryptionTest, EncryptedTablesAreRefusedByNameAndThePlainOneIsRead)
{
    const OpenFolder open(pageFormatsFolder("16k/encrypted"));
    const auto mentions = [](const std::vector<std::string> &lines, const std::string &text) {
        return std::any_of(lines.begin(), lines.end(),
            [&](const std::string &line) { return line.find(text) != std::string::npos; });
    };
    for (const std::string table : { "enc_full", "enc_page_compressed" }) {
        SCOPED_TRACE(table);
        EXPECT_TRUE(mentions(open.spaces.problems(),
            table + ".ibd: the tablespace is encrypted (MariaDB data-at-rest encryption)"));
        const auto rows = open.read(table);
        ASSERT_TRUE(rows.found);
        EXPECT_TRUE(rows.lines.empty());
        EXPECT_TRUE(mentions(rows.counts.problems, "encrypted (MariaDB data-at-rest encryption)"));
    }
    const auto plain = open.read("plain");
    EXPECT_EQ(plain.lines, open.truth("plain"));
    EXPECT_FALSE(mentions(open.spaces.problems(), "plain.ibd"));
}

} // namespace
