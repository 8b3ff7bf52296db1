#include "frm/temporal_value.h"

#include <array>
#include <cstdio>

namespace frm {

namespace {

using namespace fieldtype;

std::uint64_t powerOfTen(unsigned exponent)
{
    std::uint64_t value = 1;
    for (unsigned i = 0; i < exponent; ++i) {
        value *= 10;
    }
    return value;
}

std::string dateText(std::uint64_t year, std::uint64_t month, std::uint64_t day)
{
    std::array<char, 64> text {};
    std::snprintf(text.data(), text.size(), "%04llu-%02llu-%02llu",
        static_cast<unsigned long long>(year), static_cast<unsigned long long>(month),
        static_cast<unsigned long long>(day));
    return text.data();
}

std::string clockText(
    bool negative, std::uint64_t hours, std::uint64_t minutes, std::uint64_t seconds)
{
    std::array<char, 64> text {};
    std::snprintf(text.data(), text.size(), "%s%02llu:%02llu:%02llu", negative ? "-" : "",
        static_cast<unsigned long long>(hours), static_cast<unsigned long long>(minutes),
        static_cast<unsigned long long>(seconds));
    return text.data();
}

// "." and `digits` digits of a fraction held in units of 10^-digits.
std::string scaledFraction(std::uint64_t value, std::uint8_t digits)
{
    if (digits == 0) {
        return {};
    }
    std::array<char, 32> text {};
    std::snprintf(text.data(), text.size(), ".%0*llu", static_cast<int>(digits),
        static_cast<unsigned long long>(value));
    return text.data();
}

// MySQL 5.6 keeps a fraction in whole bytes of two digits: 1 byte hundredths, 2 bytes
// 1/10000 s, 3 bytes microseconds; `digits` of them are shown.
std::string byteFraction(std::uint64_t stored, std::size_t byteCount, std::uint8_t digits)
{
    const unsigned storedDigits = static_cast<unsigned>(2 * byteCount);
    return scaledFraction(stored / powerOfTen(storedDigits - digits), digits);
}

std::uint64_t bigEndian(common::Bytes bytes)
{
    return common::readBigEndianUnchecked(bytes.data(), bytes.size());
}

// seconds-since-year-0 style packing of MariaDB's hires DATETIME (sql/field.cc,
// Field_datetime_hires): ((((Y*13 + M)*32 + D)*24 + h)*60 + m)*60 + s.
std::string hiresDateTimeText(std::uint64_t seconds)
{
    const std::uint64_t s = seconds % 60;
    seconds /= 60;
    const std::uint64_t m = seconds % 60;
    seconds /= 60;
    const std::uint64_t h = seconds % 24;
    seconds /= 24;
    const std::uint64_t d = seconds % 32;
    seconds /= 32;
    return dateText(seconds / 13, seconds % 13, d) + " " + clockText(false, h, m, s);
}

} // namespace

std::string packedDateText(std::uint64_t packed)
{
    return dateText(packed >> 9, (packed >> 5) & 15, packed & 31);
}

std::string classicDateTimeText(std::uint64_t number)
{
    const std::uint64_t date = number / 1000000;
    const std::uint64_t time = number % 1000000;
    return dateText(date / 10000, date / 100 % 100, date % 100) + " "
        + clockText(false, time / 10000, time / 100 % 100, time % 100);
}

std::string classicTimeText(std::int64_t number)
{
    const bool negative = number < 0;
    const auto hms = static_cast<std::uint64_t>(negative ? -number : number);
    return clockText(negative, hms / 10000, hms / 100 % 100, hms % 100);
}

std::optional<std::string> binaryTemporalText(
    std::uint8_t fieldType, std::uint8_t digits, common::Bytes bytes)
{
    const std::size_t size = temporalStorageSize(fieldType, digits);
    if (digits > 6 || size == 0 || bytes.size() != size
        || temporalForm(fieldType, digits) == TemporalForm::Classic) {
        return std::nullopt;
    }
    const std::uint64_t scale = powerOfTen(digits);
    switch (fieldType) {
    case kTime: {
        // Seconds * 10^n + fraction, offset so that -838:59:59 is the smallest value stored
        // (Field_time_hires: zero point 3020400 * 10^n).
        const auto value = static_cast<std::int64_t>(bigEndian(bytes))
            - static_cast<std::int64_t>(3020400 * scale);
        const auto magnitude = static_cast<std::uint64_t>(value < 0 ? -value : value);
        const std::uint64_t seconds = magnitude / scale;
        return clockText(value < 0, seconds / 3600, seconds / 60 % 60, seconds % 60)
            + scaledFraction(magnitude % scale, digits);
    }
    case kDateTime: {
        const std::uint64_t value = bigEndian(bytes);
        return hiresDateTimeText(value / scale) + scaledFraction(value % scale, digits);
    }
    case kTime2: {
        // One signed number offset by half its range: |value| = (h << 12 | m << 6 | s) << 8F
        // + fraction, F the fraction bytes (compat56.cc, my_time_packed_from_binary).
        const std::size_t fractionBytes = size - 3;
        const auto value = static_cast<std::int64_t>(bigEndian(bytes))
            - static_cast<std::int64_t>(std::uint64_t { 1 } << (8 * size - 1));
        const auto magnitude = static_cast<std::uint64_t>(value < 0 ? -value : value);
        const std::uint64_t hms = magnitude >> (8 * fractionBytes);
        const std::uint64_t fraction
            = magnitude & ((std::uint64_t { 1 } << (8 * fractionBytes)) - 1);
        return clockText(value < 0, (hms >> 12) & 0x3FF, (hms >> 6) & 63, hms & 63)
            + byteFraction(fraction, fractionBytes, digits);
    }
    case kDateTime2: {
        // 2^39 + ((Y*13 + M) << 22 | D << 17 | h << 12 | m << 6 | s), then the fraction.
        const std::uint64_t packed = bigEndian(bytes.first(5)) - (std::uint64_t { 1 } << 39);
        const std::uint64_t yearMonth = (packed >> 22) & 0x1FFFF;
        return dateText(yearMonth / 13, yearMonth % 13, (packed >> 17) & 31) + " "
            + clockText(false, (packed >> 12) & 31, (packed >> 6) & 63, packed & 63)
            + byteFraction(bigEndian(bytes.subspan(5)), size - 5, digits);
    }
    default:
        return std::nullopt;
    }
}

std::optional<TimestampValue> binaryTimestamp(
    std::uint8_t fieldType, std::uint8_t digits, common::Bytes bytes)
{
    const std::size_t size = temporalStorageSize(fieldType, digits);
    if (digits > 6 || (fieldType != kTimestamp && fieldType != kTimestamp2) || bytes.size() != size
        || temporalForm(fieldType, digits) == TemporalForm::Classic) {
        return std::nullopt;
    }
    TimestampValue value;
    value.seconds = static_cast<std::uint32_t>(bigEndian(bytes.first(4)));
    const common::Bytes fraction = bytes.subspan(4);
    // MariaDB's hires TIMESTAMP keeps the fraction in units of 10^-n, MySQL 5.6's in whole
    // bytes of two digits.
    value.fraction = fieldType == kTimestamp
        ? scaledFraction(bigEndian(fraction), digits)
        : byteFraction(bigEndian(fraction), fraction.size(), digits);
    if (!value.fraction.empty()) {
        value.fraction.erase(0, 1); // the digits only, without the point
    }
    return value;
}

} // namespace frm
