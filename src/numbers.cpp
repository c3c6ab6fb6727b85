/*
 * numbers.cpp --
 *   Number scanners that read words as the C library's "%d" and "%x" do,
 *   the reader of IPv4 addresses in inet_aton's forms, and the formatters
 *   of decimal, hex and dotted numbers. No commands.
 */
#include "zksInt.h"

#include <charconv>
#include <climits>

namespace zks {

/*
 *----------------------------------------------------------------------
 * Number scanners.
 *----------------------------------------------------------------------
 */

ScanStatus scanNumber(std::string_view text, int base, std::int64_t maxMagnitude,
    std::int64_t *value, std::size_t *rest)
{
    std::string_view s = skipSpace(text);
    bool negative = false;
    if (s.substr(0, 1) == "-" || s.substr(0, 1) == "+") {
        negative = (s[0] == '-');
        s.remove_prefix(1);
    }
    /* "0x" counts as a prefix only when a hex digit follows; "0xg" reads 0. */
    if (base == 16 && (s.substr(0, 2) == "0x" || s.substr(0, 2) == "0X")
        && digitCount(s.substr(2), base) != 0) {
        s.remove_prefix(2);
    }
    std::string_view digits = s.substr(0, digitCount(s, base));
    std::int64_t magnitude = 0;
    bool wide = false;
    for (char c : digits) {
        if (!wide) {
            magnitude = magnitude * base + digitValue(c, base);
            wide = magnitude > maxMagnitude;
        }
    }
    if (rest != nullptr) {
        *rest = text.size() - s.size() + digits.size();
    }
    if (digits.empty()) {
        return ScanStatus::noNumber;
    }
    if (wide) {
        return ScanStatus::tooWide;
    }
    *value = negative ? -magnitude : magnitude;
    return ScanStatus::ok;
}

ScanStatus scanInt32(std::string_view text, std::int64_t *value, std::size_t *rest)
{
    ScanStatus status = scanNumber(text, 10, std::int64_t{INT_MAX} + 1, value, rest);
    return status == ScanStatus::ok && *value > INT_MAX ? ScanStatus::tooWide : status;
}

bool parseIPv4(std::string_view text, std::uint32_t *address)
{
    /* What the last part may hold, by the number of parts before it. */
    static constexpr std::uint32_t lastMax[] = {0xffffffff, 0xffffff, 0xffff, 0xff};
    std::uint32_t high = 0; /* the parts before the last, in their bytes */
    std::size_t before = 0;
    std::size_t pos = 0;
    std::uint64_t value = 0;
    for (;;) {
        /* A part as strtoul reads it in base 0, but with a digit first. */
        if (pos == text.size() || !isDigit(text[pos])) {
            return false;
        }
        int base = 10;
        if (text[pos] == '0') {
            bool hex = pos + 2 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X')
                && hexValue(text[pos + 2]) >= 0;
            base = hex ? 16 : 8;
            pos += hex ? 2 : 0;
        }
        value = 0;
        for (; pos < text.size() && digitValue(text[pos], base) >= 0; ++pos) {
            value = value * base + digitValue(text[pos], base);
            if (value > 0xffffffff) {
                return false;
            }
        }
        if (pos == text.size() || text[pos] != '.') {
            break;
        }
        if (before == 3 || value > 0xff) {
            return false;
        }
        high |= static_cast<std::uint32_t>(value) << (24 - 8 * before);
        ++before;
        ++pos;
    }
    if (pos < text.size() && !isSpace(text[pos])) {
        return false;
    }
    if (value > lastMax[before]) {
        return false;
    }
    *address = high | static_cast<std::uint32_t>(value);
    return true;
}

bool takeInt32(std::string_view &s, int &value)
{
    /* A number past an int was never a valid port or identifier: refused, not wrapped. */
    std::int64_t v = 0;
    std::size_t used = 0;
    if (scanInt32(s, &v, &used) != ScanStatus::ok) {
        return false;
    }
    value = static_cast<int>(v);
    s.remove_prefix(used);
    return true;
}

/*
 *----------------------------------------------------------------------
 * Formatters.
 *----------------------------------------------------------------------
 */

void appendTwoDigits(std::string &out, unsigned value)
{
    if (value < 10) {
        out += '0';
    }
    appendDecimal(out, value);
}

void appendHex4(std::string &out, std::uint32_t value)
{
    std::array<char, 8> digits;
    auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16).ptr;
    for (auto n = end - digits.data(); n < 4; ++n) {
        out += '0';
    }
    out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
}

void appendDotted(std::string &out, std::uint32_t address)
{
    appendDecimal(out, address >> 24);
    out += '.';
    appendDecimal(out, (address >> 16) & 0xff);
    out += '.';
    appendDecimal(out, (address >> 8) & 0xff);
    out += '.';
    appendDecimal(out, address & 0xff);
}

} // namespace zks
