// The checks a download passes before it may be started, and the version file's SHA-256 line.
#include "update/download_signature.h"
#include "update/signed_release.h"
#include "update/version_file.h"

#include <gtest/gtest.h>

using update::downloadRefusal;
using update_test::SignedRelease;

namespace {

std::string_view view(const QByteArray &bytes)
{
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

TEST(DownloadSignatureTest, OnlyTheSignedFileWithTheNamedHashPasses)
{
    const SignedRelease release;
    const QByteArray program("#!/bin/sh\necho new version\n");
    const std::string sha = update::sha256Hex(view(program));
    const QByteArray signature = release.sign(program);
    const auto key = std::optional(release.publicKey());

    EXPECT_EQ(downloadRefusal(view(program), sha, view(signature), key), "");
    // The hash is compared without regard to case, as sha256sum's users write it either way.
    std::string upper = sha;
    for (char &c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(downloadRefusal(view(program), upper, view(signature), key), "");

    QByteArray changed = program;
    changed[3] = 'X';
    EXPECT_NE(downloadRefusal(view(changed), sha, view(signature), key).find("SHA-256 differs"),
        std::string::npos);
    // A changed file whose new hash an attacker also put in the version file: the signature.
    EXPECT_NE(downloadRefusal(view(changed), update::sha256Hex(view(changed)), view(signature), key)
                  .find("does not verify"),
        std::string::npos);

    QByteArray badSignature = signature;
    badSignature[10] = static_cast<char>(badSignature[10] ^ 1);
    EXPECT_NE(downloadRefusal(view(program), sha, view(badSignature), key).find("does not verify"),
        std::string::npos);
    EXPECT_NE(
        downloadRefusal(view(program), sha, view(signature.left(63)), key).find("does not verify"),
        std::string::npos);
    EXPECT_NE(downloadRefusal(view(program), sha, {}, key).find("no signature"), std::string::npos);

    // Signed by someone else's key.
    const SignedRelease other;
    EXPECT_NE(
        downloadRefusal(view(program), sha, view(other.sign(program)), key).find("does not verify"),
        std::string::npos);

    EXPECT_NE(downloadRefusal(view(program), "", view(signature), key).find("names no SHA-256"),
        std::string::npos);
    EXPECT_NE(downloadRefusal(view(program), sha, view(signature), std::nullopt)
                  .find("without an update signing key"),
        std::string::npos);
}

TEST(DownloadSignatureTest, PublicKeysAreSixtyFourHexDigits)
{
    const auto key = update::publicKeyFromHex(
        "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ((*key)[0], 0xd7);
    EXPECT_EQ((*key)[31], 0x1a);
    EXPECT_FALSE(update::publicKeyFromHex("").has_value());
    EXPECT_FALSE(update::publicKeyFromHex(std::string(63, 'a')).has_value());
    EXPECT_FALSE(update::publicKeyFromHex(std::string(63, 'a') + "g").has_value());
}

TEST(DownloadSignatureTest, VersionFileNamesTheHashOnALineOfItsOwn)
{
    const std::string sha(64, 'a');
    // In sha256sum's form, after the version, and before or after a second version line.
    auto offer = update::readVersionFile("1.0.0.2\r\n" + sha + "  zr-setup\r\n", "1.0.0.1");
    EXPECT_EQ(offer.result, update::CheckResult::NewerVersion);
    EXPECT_EQ(offer.sha256, sha);
    offer = update::readVersionFile("1.0.0.2\n" + sha + "\n1.0.0.3\n", "1.0.0.1");
    EXPECT_EQ(offer.result, update::CheckResult::NewerWithSecondLine);
    EXPECT_EQ(offer.offeredVersion, "1.0.0.3");
    EXPECT_EQ(offer.sha256, sha);
    // Not a hash: too short, or run on into other text. Line 1 is always the version.
    offer = update::readVersionFile("1.0.0.2\n" + sha.substr(1) + "\n", "1.0.0.1");
    EXPECT_EQ(offer.sha256, "");
    offer = update::readVersionFile("1.0.0.2\n" + sha + "x\n", "1.0.0.1");
    EXPECT_EQ(offer.sha256, "");
    offer = update::readVersionFile(sha + "\n", "1.0.0.1");
    EXPECT_EQ(offer.sha256, "");
    EXPECT_EQ(offer.result, update::CheckResult::NotUnderstood);
}
