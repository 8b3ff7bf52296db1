// readVersionFile: what the update server's version file offers against the installed version.
#pragma once

#include "update/update_results.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace update {

// The version file is a few lines; anything longer is not one.
inline constexpr std::size_t kVersionFileLimit = 4096;

// Only the first characters of a line are the version ("d.d.d.d"); the rest is a comment.
inline constexpr std::size_t kVersionLength = 7;

struct VersionOffer
{
    CheckResult result = CheckResult::NotUnderstood;
    std::string offeredVersion; // the version the page names, when there is one
    // The download's SHA-256 in hex, from a line of the form `sha256sum` writes
    // ("<64 hex digits>  <name>"); empty when the file names none.
    std::string sha256;
};

// Line 1 holds the offered version; an optional line 2 holds another one that, when it differs
// from the installed version, is the one named. A body over kVersionFileLimit bytes, an empty
// one, or one whose version text is not a version is NotUnderstood. A SHA-256 line may stand on
// any line after the first; it is not a version line.
VersionOffer readVersionFile(std::string_view body, std::string_view installedVersion);

} // namespace update
