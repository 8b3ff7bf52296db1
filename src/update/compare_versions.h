// CompareVersions: how an offered version of the program ranks against the installed one.
#pragma once

#include <string_view>

namespace update {

// Returned when the offered (A) or installed (B) text is not a dotted list of numbers.
inline constexpr int kOfferedNotAVersion = -21;
inline constexpr int kInstalledNotAVersion = -22;

// Compares dotted versions of up to four numbers ("1.0.0.2"); missing numbers count as 0.
//   2   the offered version has a higher first number (a new major release)
//   1   same first number, the offered version is newer
//   0   the same version
//  -1   the offered version is older
// An installed version with a higher first number always gives -1: an older major release is
// never offered as an update, whatever its later numbers say.
int CompareVersions(std::string_view offered, std::string_view installed);

} // namespace update
