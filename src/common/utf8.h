// UTF-8 validity: which bytes a text holds can only be shown as they are when they are UTF-8
// (a Latin-1 folder name, a binary key value are not).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace common {

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF); with
// `printable`, also no control characters below the blank, nor DEL.
bool isValidUtf8(std::span<const std::uint8_t> bytes, bool printable = false);
inline bool isValidUtf8(std::string_view text, bool printable = false)
{
    return isValidUtf8(std::span<const std::uint8_t>(
                           reinterpret_cast<const std::uint8_t *>(text.data()), text.size()),
        printable);
}

} // namespace common
