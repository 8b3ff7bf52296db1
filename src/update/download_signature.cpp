#include "update/download_signature.h"

#include <algorithm>
#include <cctype>
#include <sodium.h>

#ifndef ZR_UPDATE_PUBLIC_KEY
#define ZR_UPDATE_PUBLIC_KEY ""
#endif

namespace update {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

bool sodiumReady()
{
    // sodium_init is safe to call from several threads and more than once; -1 means the library
    // could not seed itself, and then nothing it answers is to be trusted.
    return sodium_init() >= 0;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
        [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return out;
}

} // namespace

std::optional<PublicKey> releaseKey() { return publicKeyFromHex(ZR_UPDATE_PUBLIC_KEY); }

std::optional<PublicKey> publicKeyFromHex(std::string_view hex)
{
    PublicKey key {};
    if (hex.size() != key.size() * 2) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < key.size(); ++i) {
        const int high = hexDigit(hex[2 * i]);
        const int low = hexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        key[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return key;
}

bool isSha256Hex(std::string_view text)
{
    return text.size() == crypto_hash_sha256_BYTES * 2
        && std::all_of(text.begin(), text.end(), [](char c) { return hexDigit(c) >= 0; });
}

std::string sha256Hex(std::string_view bytes)
{
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest {};
    if (!sodiumReady()) {
        return {};
    }
    crypto_hash_sha256(
        digest.data(), reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    std::array<char, crypto_hash_sha256_BYTES * 2 + 1> hex {};
    sodium_bin2hex(hex.data(), hex.size(), digest.data(), digest.size());
    return std::string(hex.data(), digest.size() * 2);
}

std::string downloadRefusal(std::string_view file, std::string_view expectedSha256,
    std::string_view signature, const std::optional<PublicKey> &key)
{
    if (!key) {
        return "This program was built without an update signing key, so no download can be "
               "verified.";
    }
    if (!sodiumReady()) {
        return "The signature check could not be prepared (libsodium failed to start).";
    }
    if (!isSha256Hex(expectedSha256)) {
        return "The version file names no SHA-256 for the download.";
    }
    if (sha256Hex(file) != lowered(expectedSha256)) {
        return "The downloaded file is not the one the version file names: its SHA-256 differs.";
    }
    if (signature.empty()) {
        return "The download has no signature on the server.";
    }
    if (signature.size() != kSignatureSize
        || crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.data()),
               reinterpret_cast<const unsigned char *>(file.data()), file.size(), key->data())
            != 0) {
        return "The download's signature does not verify against the release key.";
    }
    return {};
}

} // namespace update
