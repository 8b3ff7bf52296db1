// The checks a downloaded program file must pass before anyone may start it: the SHA-256 the
// version file names, and a detached Ed25519 signature by the release key built into the program.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace update {

inline constexpr std::string_view kPlainHttpRefusal
    = "The update server's address is plain http://, which can be tampered with on the way; "
      "updates are fetched over https:// only.";

using PublicKey = std::array<unsigned char, 32>;

// Ed25519 signatures are 64 bytes; the signature file holds exactly those, nothing else.
inline constexpr std::size_t kSignatureSize = 64;

// The release key this program was built with (the build option ZR_UPDATE_PUBLIC_KEY), or
// nothing when the build named none: such a program refuses every download.
std::optional<PublicKey> releaseKey();

// 64 hexadecimal digits; nothing for any other text.
std::optional<PublicKey> publicKeyFromHex(std::string_view hex);

// Lower-case hexadecimal SHA-256 of `bytes`.
std::string sha256Hex(std::string_view bytes);

// True for 64 hexadecimal digits, the form a version file names the download's SHA-256 in.
bool isSha256Hex(std::string_view text);

// Empty when `file` may be started: its SHA-256 is `expectedSha256` (hex, any case) and
// `signature` is a valid Ed25519 signature of it by `key`. Otherwise the reason, in words.
std::string downloadRefusal(std::string_view file, std::string_view expectedSha256,
    std::string_view signature, const std::optional<PublicKey> &key);

} // namespace update
