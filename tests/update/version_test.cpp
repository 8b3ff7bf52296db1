// Version comparison, the size text and the reading of the server's version file.
#include "update/compare_versions.h"
#include "update/size_text.h"
#include "update/version_file.h"

#include <gtest/gtest.h>
#include <string>

using update::CheckResult;
using update::CompareVersions;

TEST(CompareVersionsTest, RanksOfferedAgainstInstalled)
{
    EXPECT_EQ(CompareVersions("1.0.0.2", "1.0.0.1"), 1);
    EXPECT_EQ(CompareVersions("1.1.0.0", "1.0.9.9"), 1);
    EXPECT_EQ(CompareVersions("2.0.0.0", "1.0.0.1"), 2);
    EXPECT_EQ(CompareVersions("1.0.0.1", "1.0.0.1"), 0);
    EXPECT_EQ(CompareVersions("1.0.0.0", "1.0.0.1"), -1);
    EXPECT_EQ(CompareVersions("1.0.9.9", "1.1.0.0"), -1);
    // Numbers compare as numbers, not as text.
    EXPECT_EQ(CompareVersions("1.0.0.10", "1.0.0.9"), 1);
    // Missing numbers count as 0.
    EXPECT_EQ(CompareVersions("1.0", "1.0.0.0"), 0);
    EXPECT_EQ(CompareVersions("1.1", "1.0.0.5"), 1);
}

TEST(CompareVersionsTest, OlderMajorReleaseIsNeverNewer)
{
    // Looking only at the later numbers would offer 1.0.0.2 to someone on 2.0.0.1.
    EXPECT_EQ(CompareVersions("1.0.0.2", "2.0.0.1"), -1);
    EXPECT_EQ(CompareVersions("1.9.9.9", "2.0.0.0"), -1);
}

TEST(CompareVersionsTest, TellsWhichTextIsNotAVersion)
{
    EXPECT_EQ(CompareVersions("1.0.a.2", "1.0.0.1"), update::kOfferedNotAVersion);
    EXPECT_EQ(CompareVersions("1.0.0.2", "1.x.0.1"), update::kInstalledNotAVersion);
    EXPECT_EQ(CompareVersions("", "1.0.0.1"), update::kOfferedNotAVersion);
    EXPECT_EQ(CompareVersions("1..0.2", "1.0.0.1"), update::kOfferedNotAVersion);
    EXPECT_EQ(CompareVersions("1.0.0.2 ", "1.0.0.1"), update::kOfferedNotAVersion);
    EXPECT_EQ(CompareVersions("-1.0.0.2", "1.0.0.1"), update::kOfferedNotAVersion);
    // A fifth number lands in the fourth part, which is then not all digits.
    EXPECT_EQ(CompareVersions("1.0.0.2.1", "1.0.0.1"), update::kOfferedNotAVersion);
    // The offered text is judged first.
    EXPECT_EQ(CompareVersions("x", "y"), update::kOfferedNotAVersion);
}

TEST(CompareVersionsTest, HugeNumbersDoNotOverflow)
{
    EXPECT_EQ(CompareVersions("1.0.0.99999999999999999999999", "1.0.0.1"), 1);
    EXPECT_EQ(CompareVersions("1.0.0.99999999999999999999999", "1.0.0.99999999999999999999999"), 0);
}

TEST(SizeTextTest, PicksTheUnitAtEachPowerOfTwo)
{
    EXPECT_EQ(update::sizeText(0), "0.00 bytes");
    EXPECT_EQ(update::sizeText(1023), "1023.00 bytes");
    EXPECT_EQ(update::sizeText(1024), "1.00 KB");
    EXPECT_EQ(update::sizeText(1536), "1.50 KB");
    EXPECT_EQ(update::sizeText(1024 * 1024 - 1), "1024.00 KB");
    EXPECT_EQ(update::sizeText(1024 * 1024), "1.00 MB");
    EXPECT_EQ(update::sizeText(3'145'728), "3.00 MB");
    EXPECT_EQ(update::sizeText(1ULL << 30), "1.00 GB");
    EXPECT_EQ(update::sizeText(5ULL << 40), "5120.00 GB");
}

TEST(VersionFileTest, ReadsTheOfferOnLineOne)
{
    auto offer = update::readVersionFile("1.0.0.2\r\n", "1.0.0.1");
    EXPECT_EQ(offer.result, CheckResult::NewerVersion);
    EXPECT_EQ(offer.offeredVersion, "1.0.0.2");

    // Only the first seven characters are the version; the rest of the line is a comment.
    offer = update::readVersionFile("1.0.0.2 released 2010-05-01", "1.0.0.1");
    EXPECT_EQ(offer.result, CheckResult::NewerVersion);
    EXPECT_EQ(offer.offeredVersion, "1.0.0.2");

    EXPECT_EQ(update::readVersionFile("2.0.0.0\n", "1.0.0.1").result, CheckResult::NewMajorRelease);
    EXPECT_EQ(update::readVersionFile("1.0.0.1\n", "1.0.0.1").result, CheckResult::UpToDate);
    EXPECT_EQ(update::readVersionFile("1.0.0.0\n", "1.0.0.1").result, CheckResult::UpToDate);
}

TEST(VersionFileTest, UnreadableFilesAreNotUnderstood)
{
    EXPECT_EQ(update::readVersionFile("1.0.a.2\n", "1.0.0.1").result, CheckResult::NotUnderstood);
    EXPECT_EQ(update::readVersionFile("", "1.0.0.1").result, CheckResult::NotUnderstood);
    EXPECT_EQ(update::readVersionFile("\n\n", "1.0.0.1").result, CheckResult::NotUnderstood);
    EXPECT_EQ(update::readVersionFile("<html>", "1.0.0.1").result, CheckResult::NotUnderstood);
    EXPECT_EQ(update::readVersionFile("1.0.0.2", "one").result, CheckResult::NotUnderstood);
    // Longer than a version file may be, whatever it starts with.
    std::string longBody = "1.0.0.2\n" + std::string(update::kVersionFileLimit, 'x');
    EXPECT_EQ(update::readVersionFile(longBody, "1.0.0.1").result, CheckResult::NotUnderstood);
    std::string limitBody = "1.0.0.2\n";
    limitBody.resize(update::kVersionFileLimit, '\n');
    EXPECT_EQ(update::readVersionFile(limitBody, "1.0.0.1").result, CheckResult::NewerVersion);
}

TEST(VersionFileTest, SecondLineNamesAnotherOffer)
{
    // Newer on line 1 and a second line: 3, and the differing second version is the one named.
    auto offer = update::readVersionFile("1.0.0.2\n1.0.0.3\n", "1.0.0.1");
    EXPECT_EQ(offer.result, CheckResult::NewerWithSecondLine);
    EXPECT_EQ(offer.offeredVersion, "1.0.0.3");

    // Line 1 no news: line 2 decides alone.
    offer = update::readVersionFile("1.0.0.1\n1.0.0.5\n", "1.0.0.1");
    EXPECT_EQ(offer.result, CheckResult::NewerVersion);
    EXPECT_EQ(offer.offeredVersion, "1.0.0.5");
    offer = update::readVersionFile("2.0.0.0\n1.0.0.1\n", "1.0.0.1");
    EXPECT_EQ(offer.result, CheckResult::UpToDate);

    // A second line equal to the installed version keeps line 1's offer in the text.
    offer = update::readVersionFile("1.0.0.2\n1.0.0.1", "1.0.0.1");
    EXPECT_EQ(offer.result, CheckResult::NewerWithSecondLine);
    EXPECT_EQ(offer.offeredVersion, "1.0.0.2");

    // A blank line after line 1 is only the file's end.
    offer = update::readVersionFile("1.0.0.2\r\n\r\n", "1.0.0.1");
    EXPECT_EQ(offer.result, CheckResult::NewerVersion);
}
