// Page checks on pages written by real servers (MySQL 5.0's legacy checksums in the sakila .ibd
// files, MariaDB's crc32 in the generated Zarafa ibdata1) and on damaged copies of them.
#include "innodb/page_check.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <vector>

namespace {

namespace fs = std::filesystem;
using innodb::ChecksumAlgorithm;
using innodb::PageVerdict;

using Page = std::array<std::uint8_t, innodb::kDefaultPageSize>;

std::vector<Page> readPages(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<Page> pages;
    Page page {};
    while (in.read(reinterpret_cast<char *>(page.data()), innodb::kDefaultPageSize)) {
        pages.push_back(page);
    }
    return pages;
}

innodb::ConstPage view(const Page &page) { return innodb::ConstPage(page); }

void writeBigEndian32(Page &page, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i) {
        page[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

fs::path zarafaIbdata()
{
    const char *folder = std::getenv("ZR_ZARAFA_FIXTURE_DIR");
    return folder ? fs::path(folder) / "ibdata1" : fs::path();
}

// Counts of verdicts and algorithms over a whole file.
struct FileVerdicts
{
    std::map<PageVerdict, int> verdicts;
    std::map<ChecksumAlgorithm, int> algorithms;
    std::vector<std::size_t> failed;
};

FileVerdicts checkFile(const std::vector<Page> &pages)
{
    FileVerdicts result;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const auto check = innodb::checkPage(view(pages[i]));
        ++result.verdicts[check.verdict];
        if (check.algorithm) {
            ++result.algorithms[*check.algorithm];
        }
        if (!check.ok() && check.verdict != PageVerdict::Empty) {
            result.failed.push_back(i);
        }
    }
    return result;
}

TEST(Crc32cTest, KnownVectors)
{
    const std::string digits = "123456789";
    EXPECT_EQ(
        innodb::crc32c({ reinterpret_cast<const std::uint8_t *>(digits.data()), 9 }), 0xE3069283u);
    EXPECT_EQ(innodb::crc32c({}), 0u);
    // 32 zero bytes and 32 bytes of 0xFF (RFC 3720, B.4), through the eight-byte loop and the tail.
    const std::vector<std::uint8_t> zeros(32, 0x00), ones(32, 0xFF);
    EXPECT_EQ(innodb::crc32c(zeros), 0x8A9136AAu);
    EXPECT_EQ(innodb::crc32c(ones), 0x62A8AB43u);
    std::vector<std::uint8_t> ascending(32);
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        ascending[i] = static_cast<std::uint8_t>(i);
    }
    EXPECT_EQ(innodb::crc32c(ascending), 0x46DD794Eu);
    // Every length from 0 to 16 through a byte-at-a-time reference, so the tail and the
    // eight-byte steps agree wherever they split.
    const auto reference = [](std::span<const std::uint8_t> bytes) {
        std::uint32_t crc = 0xFFFFFFFF;
        for (const auto b : bytes) {
            crc ^= b;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1) != 0 ? (crc >> 1) ^ 0x82F63B78 : crc >> 1;
            }
        }
        return crc ^ 0xFFFFFFFF;
    };
    for (std::size_t length = 0; length <= 17; ++length) {
        const auto part = std::span<const std::uint8_t>(ascending).subspan(3, length);
        EXPECT_EQ(innodb::crc32c(part), reference(part)) << length;
    }
}

TEST(Crc32cTest, HardwarePathEqualsTheTablePathOnRandomBuffers)
{
    if (!innodb::crc32cHardwareAvailable()) {
        GTEST_SKIP() << "this processor has no SSE4.2 CRC32 instruction";
    }
    std::mt19937_64 random(20261208);
    std::vector<std::uint8_t> buffer(70'000);
    for (auto &b : buffer) {
        b = static_cast<std::uint8_t>(random());
    }
    // Every start alignment and short lengths, then page-sized and odd long spans.
    for (std::size_t start = 0; start < 16; ++start) {
        for (std::size_t length = 0; length < 40; ++length) {
            const auto part = std::span<const std::uint8_t>(buffer).subspan(start, length);
            ASSERT_EQ(innodb::crc32cHardware(part), innodb::crc32cSoftware(part))
                << start << "+" << length;
        }
    }
    for (int i = 0; i < 200; ++i) {
        const std::size_t start = random() % 4096;
        const std::size_t length = random() % (buffer.size() - start);
        const auto part = std::span<const std::uint8_t>(buffer).subspan(start, length);
        ASSERT_EQ(innodb::crc32cHardware(part), innodb::crc32cSoftware(part))
            << start << "+" << length;
        EXPECT_EQ(innodb::crc32c(part), innodb::crc32cSoftware(part));
    }
}

TEST(PageCheckTest, MySql50PagesCarryTheLegacyChecksum)
{
    const fs::path folder = testing_support::sharedFixtures() / "mysql-5.0-sakila" / "sakila";
    int files = 0;
    for (const auto &entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".ibd") {
            continue;
        }
        const auto pages = readPages(entry.path());
        ASSERT_FALSE(pages.empty()) << entry.path();
        FileVerdicts result = checkFile(pages);
        EXPECT_TRUE(result.failed.empty())
            << entry.path() << ": first failed page " << result.failed.front();
        EXPECT_GT(result.algorithms[ChecksumAlgorithm::Innodb], 3) << entry.path();
        EXPECT_EQ(result.algorithms[ChecksumAlgorithm::Crc32], 0) << entry.path();
        ++files;
    }
    EXPECT_GT(files, 5);
}

TEST(PageCheckTest, MariaDbPagesCarryCrc32AndUnusedPagesAreEmpty)
{
    const auto path = zarafaIbdata();
    if (path.empty() || !fs::exists(path)) {
        GTEST_SKIP() << "the Zarafa fixture was not made";
    }
    const auto pages = readPages(path);
    FileVerdicts result = checkFile(pages);
    EXPECT_TRUE(result.failed.empty()) << "first failed page " << result.failed.front();
    EXPECT_GT(result.algorithms[ChecksumAlgorithm::Crc32], 100);
    EXPECT_EQ(result.algorithms[ChecksumAlgorithm::Innodb], 0);
    // The file grows by 64 MiB steps and most of it was never written.
    EXPECT_GT(result.verdicts[PageVerdict::Empty], 1000);
}

// The first B-tree page after the dictionary's in the Zarafa ibdata1, read once for all tests.
std::optional<Page> firstZarafaIndexPage()
{
    static const std::optional<Page> page = [] {
        const auto path = zarafaIbdata();
        std::ifstream in(path, std::ios::binary);
        Page candidate {};
        for (std::uint32_t number = 0;
             in.read(reinterpret_cast<char *>(candidate.data()), innodb::kDefaultPageSize);
             ++number) {
            if (number > 12 && innodb::isIndexPage(view(candidate))) {
                return std::optional<Page>(candidate);
            }
        }
        return std::optional<Page>();
    }();
    return page;
}

// Damaged copies of real pages: a page of each algorithm, each kind of damage.
class DamagedPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto sakila = readPages(
            testing_support::sharedFixtures() / "mysql-5.0-sakila" / "sakila" / "actor.ibd");
        ASSERT_GT(sakila.size(), 3u);
        m_legacy = sakila[3]; // the clustered root, a leaf holding the actors
        ASSERT_EQ(innodb::checkPage(view(m_legacy)).algorithm, ChecksumAlgorithm::Innodb);
        if (const auto leaf = firstZarafaIndexPage()) {
            m_crc32 = *leaf;
        } else {
            // Without the fixture, make a crc32 page out of the legacy one.
            m_crc32 = m_legacy;
            const auto crc = innodb::crc32Checksum(view(m_crc32));
            writeBigEndian32(m_crc32, innodb::kFilPageSpaceOrChecksum, crc);
            writeBigEndian32(m_crc32, innodb::filTrailerOf(innodb::kDefaultPageSize), crc);
        }
        ASSERT_EQ(innodb::checkPage(view(m_crc32)).algorithm, ChecksumAlgorithm::Crc32);
    }

    Page m_legacy {};
    Page m_crc32 {};
};

TEST_F(DamagedPageTest, OneChangedByteAnywhereInTheCheckedRangesIsCaught)
{
    for (Page *original : { &m_legacy, &m_crc32 }) {
        // Every 97th byte of the header part and the body; the trailer's LSN is the torn test.
        for (std::size_t at = 4; at < innodb::kDefaultPageSize - 8; at += 97) {
            if (at >= innodb::kFilPageFileFlushLsn && at < innodb::kFilPageData) {
                continue; // flush LSN and space id are written after the checksum
            }
            Page page = *original;
            page[at] ^= 0x01;
            const auto check = innodb::checkPage(view(page));
            if (at >= innodb::kFilPageLsn + 4 && at < innodb::kFilPageLsn + 8) {
                EXPECT_EQ(check.verdict, PageVerdict::Torn) << at;
            } else {
                EXPECT_EQ(check.verdict, PageVerdict::BadChecksum) << at;
            }
            EXPECT_FALSE(check.ok());
        }
    }
}

TEST_F(DamagedPageTest, FieldsOutsideTheChecksumDoNotFailAPage)
{
    // MySQL writes the flush LSN and the space id after computing the checksum: a change there is
    // not damage as far as the checksum can tell.
    Page page = m_crc32;
    page[innodb::kFilPageFileFlushLsn] ^= 0xFF;
    page[innodb::kFilPageSpaceId + 3] ^= 0xFF;
    EXPECT_TRUE(innodb::checkPage(view(page)).ok());
}

TEST_F(DamagedPageTest, TornPagesAreToldApartFromBadChecksums)
{
    // The first half from one page, the second from another: the trailer's LSN is the other's.
    Page torn = m_crc32;
    std::copy(m_legacy.begin() + innodb::kDefaultPageSize / 2, m_legacy.end(),
        torn.begin() + innodb::kDefaultPageSize / 2);
    EXPECT_EQ(innodb::checkPage(view(torn)).verdict, PageVerdict::Torn);
    EXPECT_FALSE(innodb::lsnTrailerMatches(view(torn)));
    EXPECT_EQ(innodb::describe(PageVerdict::Torn),
        "only partly written (its two halves come from different moments)");

    // The trailer alone zeroed, as a write cut before the last sector.
    Page cut = m_legacy;
    std::fill(cut.end() - 512, cut.end(), 0);
    EXPECT_EQ(innodb::checkPage(view(cut)).verdict, PageVerdict::Torn);
}

TEST_F(DamagedPageTest, EachAlgorithmIsRecognisedOnTheSamePage)
{
    Page page = m_crc32;
    writeBigEndian32(page, innodb::kFilPageSpaceOrChecksum, innodb::kNoChecksumMagic);
    writeBigEndian32(
        page, innodb::filTrailerOf(innodb::kDefaultPageSize), innodb::kNoChecksumMagic);
    EXPECT_EQ(innodb::checkPage(view(page)).algorithm, ChecksumAlgorithm::None);
    EXPECT_FALSE(innodb::checksumMatches(view(page), ChecksumAlgorithm::Crc32));

    writeBigEndian32(page, innodb::kFilPageSpaceOrChecksum, innodb::innodbChecksum(view(page)));
    writeBigEndian32(page, innodb::filTrailerOf(innodb::kDefaultPageSize),
        innodb::innodbOldChecksum(view(page)));
    EXPECT_EQ(innodb::checkPage(view(page)).algorithm, ChecksumAlgorithm::Innodb);

    // Versions before 4.0.14 left the new checksum 0 and kept the LSN's high word in the old field.
    writeBigEndian32(page, innodb::kFilPageSpaceOrChecksum, 0);
    writeBigEndian32(page, innodb::filTrailerOf(innodb::kDefaultPageSize),
        static_cast<std::uint32_t>(innodb::pageLsnOf(view(page)) >> 32));
    EXPECT_EQ(innodb::checkPage(view(page)).algorithm, ChecksumAlgorithm::Innodb);

    // Only one of the two crc32 fields right is damage.
    page = m_crc32;
    writeBigEndian32(page, innodb::filTrailerOf(innodb::kDefaultPageSize), 0x12345678);
    EXPECT_EQ(innodb::checkPage(view(page)).verdict, PageVerdict::BadChecksum);
    EXPECT_EQ(innodb::describe(PageVerdict::BadChecksum),
        "damaged (its checksum does not match its contents)");
}

TEST_F(DamagedPageTest, FullCrc32PagesKeepTheLsnOneFieldEarlier)
{
    // full_crc32: the LSN's low word at PS-8 and the whole page's CRC-32C in the last 4 bytes.
    Page page = m_crc32;
    writeBigEndian32(page, innodb::kFilPageSpaceOrChecksum, 0);
    writeBigEndian32(page, innodb::kDefaultPageSize - 8,
        static_cast<std::uint32_t>(innodb::pageLsnOf(view(page))));
    writeBigEndian32(page, innodb::kDefaultPageSize - 4, innodb::fullCrc32Checksum(view(page)));
    const auto check = innodb::checkPage(view(page), true);
    EXPECT_TRUE(check.ok());
    EXPECT_EQ(check.algorithm, ChecksumAlgorithm::FullCrc32);
    EXPECT_FALSE(innodb::checkPage(view(page), false).ok());
    EXPECT_TRUE(innodb::isFullCrc32Space(0x15));
    EXPECT_FALSE(innodb::isFullCrc32Space(0));

    page[1000] ^= 0x40;
    EXPECT_EQ(innodb::checkPage(view(page), true).verdict, PageVerdict::BadChecksum);
    EXPECT_EQ(innodb::checkPage(view(m_crc32), true).verdict, PageVerdict::Torn);
}

TEST_F(DamagedPageTest, ZeroedAndRandomPages)
{
    Page zero {};
    EXPECT_EQ(innodb::checkPage(view(zero)).verdict, PageVerdict::Empty);
    EXPECT_FALSE(innodb::checkPage(view(zero)).ok()); // nothing on it to decode

    // A single stray byte makes a zero page damaged rather than unused, although its zero
    // checksum and LSN fields look like those of the oldest InnoDB.
    zero[9000] = 1;
    EXPECT_EQ(innodb::checkPage(view(zero)).verdict, PageVerdict::BadChecksum);

    std::uint32_t state = 12345;
    Page random {};
    for (auto &b : random) {
        state = state * 1103515245 + 12345;
        b = static_cast<std::uint8_t>(state >> 16);
    }
    EXPECT_FALSE(innodb::checkPage(view(random)).ok());
    // Even with the trailer made to agree, the checksums do not.
    std::copy(random.begin() + 20, random.begin() + 24, random.end() - 4);
    EXPECT_EQ(innodb::checkPage(view(random)).verdict, PageVerdict::BadChecksum);
}

} // namespace
