#include "frm/frm_bytes.h"

namespace frm {

// A list of names as the names and key-names areas store them: FF name FF name ... FF 00.
std::optional<std::vector<std::string>> splitNames(
    const FrmBytes &file, std::size_t offset, std::size_t length, std::size_t count)
{
    if (!file.has(offset, length) || length == 0 || file.u8(offset) != kNameSeparator) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    std::string current;
    for (std::size_t i = offset + 1; i < offset + length && names.size() < count; ++i) {
        const std::uint8_t b = file.u8(i);
        if (b == kNameSeparator) {
            names.push_back(std::move(current));
            current.clear();
        } else if (b == 0) {
            break;
        } else {
            current += static_cast<char>(b);
        }
    }
    if (names.size() != count) {
        return std::nullopt;
    }
    return names;
}

// ENUM and SET member lists: per list "sep v1 sep v2 ... sep 00", sep being 0xFF unless a value
// holds that byte.
std::vector<std::vector<std::string>> splitIntervals(
    const FrmBytes &file, std::size_t offset, std::size_t length, std::size_t count)
{
    std::vector<std::vector<std::string>> intervals;
    if (!file.has(offset, length)) {
        return intervals;
    }
    std::size_t pos = offset;
    const std::size_t end = offset + length;
    while (intervals.size() < count && pos < end) {
        const std::uint8_t separator = file.u8(pos++);
        std::vector<std::string> values;
        std::string current;
        while (pos < end) {
            const std::uint8_t b = file.u8(pos++);
            if (b == separator) {
                if (pos < end && file.u8(pos) == 0) {
                    values.push_back(std::move(current));
                    ++pos;
                    break;
                }
                values.push_back(std::move(current));
                current.clear();
            } else {
                current += static_cast<char>(b);
            }
        }
        intervals.push_back(std::move(values));
    }
    return intervals;
}

} // namespace frm
