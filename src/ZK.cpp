/*
 * ZK.cpp --
 *   Zk_Init and the utility commands: bit sets and port lists, managed-value
 *   formats, script utilities, and address and number conversion.
 */
#include "zksInt.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

int zks::usage(Tcl_Interp *interp, const char *word0, const char *text)
{
    std::string msg = "wrong # args: ";
    msg += word0;
    msg += ' ';
    msg += text;
    setResult(interp, msg);
    return TCL_ERROR;
}

namespace {

using zks::isSpace;
using zks::setResult;
using zks::usage;

/*
 *----------------------------------------------------------------------
 * Scanning and formatting shared by the commands.
 *----------------------------------------------------------------------
 */

/*
 * Token scanning shared by the codecs. Every scan keeps its position in a
 * view of its own, so a mapping procedure that re-enters the library while a
 * scan is under way cannot disturb it.
 */

/*
 * Returns the next token of rest, skipping the characters for which
 * separates is true; empty when none is left.
 */
template <typename Separates>
std::string_view nextToken(std::string_view &rest, Separates separates)
{
    size_t start = 0;
    while (start < rest.size() && separates(rest[start])) {
        ++start;
    }
    size_t end = start;
    while (end < rest.size() && !separates(rest[end])) {
        ++end;
    }
    std::string_view token = rest.substr(start, end - start);
    rest.remove_prefix(end);
    return token;
}

std::string_view nextToken(std::string_view &rest, char separator)
{
    return nextToken(rest, [separator](char c) { return c == separator; });
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/* The value of each hex digit, -1 for every other character. */
constexpr std::array<signed char, 256> hexValues = [] {
    std::array<signed char, 256> v{};
    for (int c = 0; c < 256; ++c) {
        v[c] = c >= '0' && c <= '9' ? c - '0'
             : c >= 'a' && c <= 'f' ? c - 'a' + 10
             : c >= 'A' && c <= 'F' ? c - 'A' + 10
             : -1;
    }
    return v;
}();

int hexValue(char c)
{
    return hexValues[static_cast<unsigned char>(c)];
}

enum class ScanStatus { ok, noNumber, tooWide };

/*
 * scanNumber --
 *   Reads a number at the start of a text as the C library's "%d" and "%x"
 *   conversions do: white space, an optional sign, for base 16 an optional
 *   0x prefix, then digits; the rest is ignored. A magnitude beyond
 *   maxMagnitude is too wide. A minus sign negates the magnitude.
 * Results: the status; *value holds the signed result when ok. *rest, when
 *   given, points past the digits.
 */
ScanStatus scanNumber(std::string_view text, int base, long long maxMagnitude,
    long long *value, std::size_t *rest = nullptr)
{
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = (text[i] == '-');
        ++i;
    }
    auto digitOf = [base](char c) {
        int d = hexValue(c);
        return d < base ? d : -1;
    };
    /* "0x" counts as a prefix only when a hex digit follows; "0xg" reads 0. */
    if (base == 16 && i + 2 < text.size() && text[i] == '0' &&
        (text[i + 1] == 'x' || text[i + 1] == 'X') && digitOf(text[i + 2]) >= 0) {
        i += 2;
    }
    std::size_t first = i;
    long long magnitude = 0;
    bool wide = false;
    for (int d; i < text.size() && (d = digitOf(text[i])) >= 0; ++i) {
        if (!wide) {
            magnitude = magnitude * base + d;
            wide = magnitude > maxMagnitude;
        }
    }
    if (rest != nullptr) {
        *rest = i;
    }
    if (i == first) {
        return ScanStatus::noNumber;
    }
    if (wide) {
        return ScanStatus::tooWide;
    }
    *value = negative ? -magnitude : magnitude;
    return ScanStatus::ok;
}

/* Reads a decimal number as "%d" does; past the range of an int it is too wide. */
ScanStatus scanInt32(std::string_view text, long long *value, std::size_t *rest = nullptr)
{
    ScanStatus status = scanNumber(text, 10, 1LL + INT_MAX, value, rest);
    return status == ScanStatus::ok && *value > INT_MAX ? ScanStatus::tooWide : status;
}

/*
 * Reads a decimal integer the way "%d" does (white space, an optional sign,
 * digits) from the front of s and advances past it. False when there is no
 * number, or when it does not fit an int: such a number was never a valid
 * port or identifier, so it is refused rather than wrapped.
 */
bool scanInt(std::string_view &s, int &value)
{
    long long v = 0;
    std::size_t used = 0;
    if (scanInt32(s, &v, &used) != ScanStatus::ok) {
        return false;
    }
    value = static_cast<int>(v);
    s.remove_prefix(used);
    return true;
}

/* Appends the decimal digits of a number, as "%d" writes it. */
void appendDecimal(std::string &out, long long value)
{
    std::array<char, 24> digits;
    auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
}

/*
 *----------------------------------------------------------------------
 * Bit sets and port lists: bit, port.
 *----------------------------------------------------------------------
 */

/*
 * Bit sets. Number k lives in octet k / 8 (text order) under the mask
 * 0x80 >> k % 8. A parse holds numbers 0 to 255; a print reads up to 128
 * octets, all of which must be well formed, but lists the first 32 only.
 * Octets are kept in text order here; the parse trace shows them reversed
 * (highest numbers first), which is the order its readers know.
 */
constexpr int maxBit = 255;
using ParseSet = std::array<unsigned char, 32>;
using PrintSet = std::array<unsigned char, 128>;

const char hexDigits[] = "0123456789abcdef";

/* Appends an octet as "%2.2x" writes it. */
void appendHex2(std::string &out, unsigned octet)
{
    out += hexDigits[octet >> 4];
    out += hexDigits[octet & 15];
}

/*
 * Writes v in decimal at p, as "%d" writes a value that is not negative, and
 * returns the end. The codecs write their lists straight into a buffer
 * sized beforehand: a std::string append per number costs more than the
 * conversion.
 */
char *writeDecimal(char *p, unsigned v)
{
    unsigned digits = 1;
    for (unsigned bound = 10; digits < 10 && v >= bound; bound *= 10) {
        ++digits;
    }
    char *end = p += digits;
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    return end;
}

/* Appends an octet as "%x" writes it: lowercase, no leading zero. */
void appendHex(std::string &out, unsigned octet)
{
    if (octet >= 16) {
        out += hexDigits[octet >> 4];
    }
    out += hexDigits[octet & 15];
}

/*
 * The setting trace line of a parse: the octets of its set, highest numbers
 * first, each as "%x" writes it, then a newline. A parse writes one such line
 * per bit it sets, so the line is kept up to date instead of formatted afresh:
 * setting a bit rewrites one octet's text, which at most grows from one
 * character to two and shifts the rest of the line by one.
 */
struct SetLine {
    std::array<char, 2 * 32 + 1> text;
    std::array<unsigned char, 32 + 1> start; /* of each octet's text, then of the newline */
};

SetLine clearedSetLine()
{
    SetLine line{};
    line.text.fill('0');
    line.text[32] = '\n';
    for (unsigned i = 0; i < line.start.size(); ++i) {
        line.start[i] = static_cast<unsigned char>(i);
    }
    return line;
}

/*
 * SetBit --
 *   Sets number k (0 to 255) in set, brings its setting trace line up to
 *   date and appends that line to trace.
 */
void SetBit(ParseSet &set, SetLine &line, int k, std::string &trace)
{
    unsigned before = set[k / 8];
    unsigned after = before | (0x80u >> (k % 8));
    set[k / 8] = static_cast<unsigned char>(after);

    size_t place = set.size() - 1 - k / 8; /* highest octets come first */
    char *at = &line.text[line.start[place]];
    if (before < 16 && after >= 16) {
        std::memmove(at + 1, at, line.start.back() + 1 - line.start[place]);
        for (size_t i = place + 1; i < line.start.size(); ++i) {
            ++line.start[i];
        }
    }
    if (after >= 16) {
        *at++ = hexDigits[after >> 4];
    }
    *at = hexDigits[after & 15];
    trace.append(line.text.data(), line.start.back() + 1);
}

/* GetBit -- 1 when number k is in the set, else 0. */
int GetBit(const PrintSet &set, int k)
{
    return (set[k / 8] & (0x80 >> (k % 8))) != 0;
}

/*
 * Reads a hex-octet string into set: an octet every three characters, one or
 * two hex digits of either case, and whatever single character follows it as
 * the separator. Text after the 128th octet is ignored. False when an octet
 * position does not begin with a hex digit.
 */
bool readOctets(std::string_view text, PrintSet &set)
{
    size_t p = 0;
    for (size_t n = 0; n < set.size() && p < text.size(); ++n, p += 3) {
        int high = hexValue(text[p]);
        if (high < 0) {
            return false;
        }
        int low = p + 1 < text.size() ? hexValue(text[p + 1]) : -1;
        set[n] = static_cast<unsigned char>(low < 0 ? high : high * 16 + low);
    }
    return true;
}

/* The value of a token's leading digits, held at 256 once it is past 255. */
int leadingNumber(std::string_view token)
{
    int v = 0;
    for (size_t p = 0; p < token.size() && isDigit(token[p]); ++p) {
        v = std::min(v * 10 + (token[p] - '0'), maxBit + 1);
    }
    return v;
}

/*
 * bitParse --
 *   Turns a number list ("0 - 2 5 7 - 8") into a hex-octet string ("e5:80").
 * Results: TCL_OK with the string, or TCL_ERROR with "invalid number" or
 *   "invalid range". Side effects: trace lines on standard output.
 */
int bitParse(Tcl_Interp *interp, const char *text)
{
    /*
     * Nothing else runs during a parse, so its trace is gathered here and
     * written in one piece: the same bytes as line by line, at a fraction
     * of the cost.
     */
    std::string trace = "bitParse: str=";
    trace.reserve(4096);
    trace += text;
    trace += '\n';
    auto fail = [&](const char *message) {
        std::fwrite(trace.data(), 1, trace.size(), stdout);
        setResult(interp, message);
        return TCL_ERROR;
    };

    ParseSet set{};
    SetLine line = clearedSetLine();
    int lower = -1; /* none until a number has been read */
    std::string_view rest(text);
    for (std::string_view token; !(token = nextToken(rest, ' ')).empty();) {
        if (token[0] == '-') {
            /* The rest of a hyphen token is ignored: "-5" is a bare hyphen. */
            std::string_view bound = nextToken(rest, ' ');
            if (lower < 0 || bound.empty() || !isDigit(bound[0])
                || leadingNumber(bound) > maxBit) {
                return fail("invalid range");
            }
            int upper = leadingNumber(bound);
            if (lower <= upper) {
                for (int k = lower; k <= upper; ++k) {
                    SetBit(set, line, k, trace);
                }
                lower = upper + 1;
            }
        } else {
            if (!isDigit(token[0]) || leadingNumber(token) > maxBit) {
                return fail("invalid number");
            }
            lower = leadingNumber(token);
            SetBit(set, line, lower, trace);
        }
    }
    for (auto octet = set.rbegin(); octet != set.rend(); ++octet) {
        trace += ' ';
        appendHex(trace, *octet);
    }
    trace += '\n';

    /* Trailing zero octets are left out, but the first is always written. */
    size_t last = set.size() - 1;
    while (last > 0 && set[last] == 0) {
        --last;
    }
    std::string octets;
    for (size_t n = 0; n <= last; ++n) {
        if (n > 0) {
            octets += ':';
        }
        appendHex2(octets, set[n]);
    }
    trace += "bitParse: buf=";
    trace += octets;
    trace += '\n';
    std::fwrite(trace.data(), 1, trace.size(), stdout);
    setResult(interp, octets);
    return TCL_OK;
}

/*
 * bitPrint --
 *   Turns a hex-octet string into a number list: "0 1 2 5 7 8 " in the
 *   plain form, "0 - 2 5 7 - 8" in the range form. Numbers 0 to 255 are
 *   listed, so whatever bitParse accepts comes back.
 * Results: TCL_OK with the list, or TCL_ERROR with an empty result when the
 *   string cannot be read.
 */
int bitPrint(Tcl_Interp *interp, const char *text, bool ranges)
{
    Tcl_ResetResult(interp);
    PrintSet set{};
    if (!readOctets(text, set)) {
        return TCL_ERROR;
    }
    std::string list;
    if (!ranges) {
        /* Numbers 0 to 255 and a blank each: 914 characters at most. */
        list.resize(4 * (maxBit + 1));
        char *p = &list[0];
        for (int k = 0; k <= maxBit; ++k) {
            if (GetBit(set, k)) {
                p = writeDecimal(p, k);
                *p++ = ' ';
            }
        }
        list.resize(p - list.data());
    }
    for (int k = 0; ranges && k <= maxBit; ++k) {
        if (!GetBit(set, k)) {
            continue;
        }
        int last = k;
        while (last < maxBit && GetBit(set, last + 1)) {
            ++last;
        }
        if (!list.empty()) {
            list += ' ';
        }
        appendDecimal(list, k);
        if (last > k) {
            list += " - ";
            appendDecimal(list, last);
        }
        k = last;
    }
    setResult(interp, list);
    return TCL_OK;
}

/* The range form: exactly four words, the third beginning with "r". */
bool rangeForm(int argc, const char *argv[])
{
    return argc == 4 && argv[3][0] == 'r';
}

/*
 * bitCmd --
 *   "bit parse LIST" / "bit print OCTETS ?r?": converts between number lists
 *   and hex-octet strings. Any first word but "parse" prints.
 * Results: a standard Tcl result. Side effects: parse writes trace lines to
 *   standard output.
 */
int bitCmd(ZKS_CMD_ARGS)
{
    if (argc < 3) {
        return usage(interp, argv[0], "{print|parse} string");
    }
    if (std::strcmp(argv[1], "parse") == 0) {
        return bitParse(interp, argv[2]);
    }
    return bitPrint(interp, argv[2], rangeForm(argc, argv));
}

/*
 * Port lists. The mapping between ports and bit numbers belongs to the host
 * scripts: zksBitIndexPort answers a port ("2/5") with its bit number,
 * zksBitIfIndex2Port a bit number with its port text.
 */

/*
 * Evaluates one call of a mapping procedure in the caller's context and
 * appends its answer. A failing call fails the command with its message:
 * an error text must never be taken for a port or a number.
 */
int appendAnswer(Tcl_Interp *interp, const std::string &call, std::string &out)
{
    if (Tcl_EvalEx(interp, call.c_str(), -1, 0) != TCL_OK) {
        return TCL_ERROR;
    }
    out += Tcl_GetStringResult(interp);
    return TCL_OK;
}

/* Reads "%d/%d" from the front of s. */
bool scanPort(std::string_view &s, int &slot, int &port)
{
    if (!scanInt(s, slot) || s.empty() || s[0] != '/') {
        return false;
    }
    s.remove_prefix(1);
    return scanInt(s, port);
}

/* Reads "%d/%d-%d/%d" from the front of s. */
bool scanPortRange(std::string_view &s, std::array<int, 4> &ports)
{
    if (!scanPort(s, ports[0], ports[1]) || s.empty() || s[0] != '-') {
        return false;
    }
    s.remove_prefix(1);
    return scanPort(s, ports[2], ports[3]);
}

std::string indexCall(int slot, int port)
{
    return "zksBitIndexPort " + std::to_string(slot) + "/" + std::to_string(port);
}

/*
 * portParse --
 *   Turns a port list ("1/1-1/3 2/2") into a number text ("0 - 2 17 ")
 *   through zksBitIndexPort, called once per port in token order.
 * Results: TCL_OK with the number text in numbers and as the result, or
 *   TCL_ERROR with "invalid port", "invalid port range" or the message of a
 *   failing procedure call. Side effects: trace lines on standard output.
 */
int portParse(Tcl_Interp *interp, const char *text, std::string &numbers)
{
    std::printf("portParse: str=%s\n", text);
    numbers.clear();
    /* Braces separate too, so the elements of a Tcl list come apart. */
    auto separates = [](char c) { return c == ' ' || c == '{' || c == '}'; };
    std::string_view rest(text);
    for (std::string_view token; !(token = nextToken(rest, separates)).empty();) {
        if (token.find('-') != std::string_view::npos) {
            std::array<int, 4> ports;
            if (!scanPortRange(token, ports)) {
                setResult(interp, "invalid port range");
                return TCL_ERROR;
            }
            if (appendAnswer(interp, indexCall(ports[0], ports[1]), numbers) != TCL_OK) {
                return TCL_ERROR;
            }
            numbers += " - ";
            if (appendAnswer(interp, indexCall(ports[2], ports[3]), numbers) != TCL_OK) {
                return TCL_ERROR;
            }
        } else {
            int slot, port;
            if (!scanPort(token, slot, port)) {
                setResult(interp, "invalid port");
                return TCL_ERROR;
            }
            if (appendAnswer(interp, indexCall(slot, port), numbers) != TCL_OK) {
                return TCL_ERROR;
            }
        }
        numbers += ' ';
    }
    std::printf("portParse: buf = %s\n", numbers.c_str());
    setResult(interp, numbers);
    return TCL_OK;
}

/*
 * portPrint --
 *   Turns the number list that bitPrint left as the result ("0 - 2 17") into
 *   port text ("1/1-1/3 2/2") through zksBitIfIndex2Port, called once per
 *   number in list order.
 * Results: TCL_OK with the port text, or TCL_ERROR with the message of a
 *   failing procedure call.
 */
int portPrint(Tcl_Interp *interp)
{
    const std::string list = Tcl_GetStringResult(interp);
    std::string ports;
    bool afterHyphen = false;
    std::string_view rest(list);
    for (std::string_view token; !(token = nextToken(rest, ' ')).empty();) {
        if (token[0] == '-') {
            ports += '-';
            afterHyphen = true;
            continue;
        }
        if (!afterHyphen && !ports.empty()) {
            ports += ' ';
        }
        std::string call = "zksBitIfIndex2Port ";
        call += token;
        if (appendAnswer(interp, call, ports) != TCL_OK) {
            return TCL_ERROR;
        }
        afterHyphen = false;
    }
    setResult(interp, ports);
    return TCL_OK;
}

/*
 * portCmd --
 *   "port parse PORTS" / "port print OCTETS ?r?": converts between port lists
 *   and hex-octet strings, by way of the number lists of the bit codec and
 *   the host scripts' mapping procedures. Any first word but "parse" prints.
 * Results: a standard Tcl result. Side effects: parse writes trace lines to
 *   standard output; both directions run the mapping procedures.
 */
int portCmd(ZKS_CMD_ARGS)
{
    if (argc < 3) {
        return usage(interp, argv[0], "{print|parse} string");
    }
    if (std::strcmp(argv[1], "parse") == 0) {
        std::string numbers;
        if (portParse(interp, argv[2], numbers) != TCL_OK) {
            return TCL_ERROR;
        }
        return bitParse(interp, numbers.c_str());
    }
    int code = bitPrint(interp, argv[2], rangeForm(argc, argv));
    if (code != TCL_OK || *Tcl_GetStringResult(interp) == '\0') {
        return code;
    }
    return portPrint(interp);
}

/*
 *----------------------------------------------------------------------
 * Managed-value formats: timeticks, idList.
 *----------------------------------------------------------------------
 */

/* Appends a number of at most two digits with a leading zero when below 10. */
void appendTwoDigits(std::string &out, unsigned value)
{
    if (value < 10) {
        out += '0';
    }
    appendDecimal(out, value);
}

/*
 * readTicksInteger --
 *   Reads the integer word of timeticks as atoi does: leading white space,
 *   an optional sign and decimal digits up to the first other character; no
 *   digits read as 0. A device's 32-bit counter may be written unsigned, so
 *   values from -2^31 up to 2^32-1 are taken; wider ones have no 32-bit
 *   pattern and are refused rather than wrapped.
 * Results: true with *value set, or false with a message in the result.
 */
bool readTicksInteger(Tcl_Interp *interp, const char *word, long long *value)
{
    ScanStatus status = scanNumber(word, 10, 4294967295LL, value);
    if (status == ScanStatus::noNumber) {
        *value = 0;
    } else if (status == ScanStatus::tooWide || *value < -2147483648LL) {
        setResult(interp, std::string("bad integer \"") + word +
            "\": outside the range -2147483648 to 4294967295");
        return false;
    }
    return true;
}

/*
 * appendCtime --
 *   Appends a clock value as local time in the 24-character layout of ctime,
 *   "Thu Nov  4 18:22:48 1986", without its newline. The names are always
 *   the English ones, as ctime writes them in any locale.
 * Results: false when the clock value has no local time.
 */
bool appendCtime(std::string &out, long long seconds)
{
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local;
    tzset(); /* follow TZ changes as ctime would */
    if (localtime_r(&t, &local) == nullptr || local.tm_wday < 0 || local.tm_wday > 6 ||
        local.tm_mon < 0 || local.tm_mon > 11) {
        return false;
    }
    out += days[local.tm_wday];
    out += ' ';
    out += months[local.tm_mon];
    out += (local.tm_mday < 10) ? "  " : " ";
    appendDecimal(out, local.tm_mday);
    out += ' ';
    appendTwoDigits(out, local.tm_hour);
    out += ':';
    appendTwoDigits(out, local.tm_min);
    out += ':';
    appendTwoDigits(out, local.tm_sec);
    out += ' ';
    appendDecimal(out, local.tm_year + 1900LL);
    return true;
}

/*
 * timeticksCmd --
 *   "timeticks {now|uptime|relative|clock|timeticks} integer": renders time
 *   ticks (hundredths of a second) as a past local date, an uptime or a past
 *   clock value, seconds as a duration, or a clock value as the ticks elapsed
 *   since it. Only the first letter of the subcommand counts.
 * Results: the rendering; the usage message with fewer than two arguments;
 *   a fixed message for an unknown subcommand; a message for an integer
 *   beyond 32 bits.
 */
int timeticksCmd(ZKS_CMD_ARGS)
{
    if (argc < 3) {
        return usage(interp, argv[0], "{now|uptime|relative|clock|timeticks} integer");
    }
    long long v;
    if (!readTicksInteger(interp, argv[2], &v)) {
        return TCL_ERROR;
    }
    /* Tick counts are unsigned 32-bit counters: -1 is 2^32-1 ticks. */
    const std::uint32_t u = static_cast<std::uint32_t>(v);
    const long long now = static_cast<long long>(std::time(nullptr));
    std::string text;

    switch (argv[1][0]) {
    case 'n':
        if (!appendCtime(text, now - u / 100)) {
            setResult(interp, "timeticks: time has no local date");
            return TCL_ERROR;
        }
        break;
    case 'u':
        appendDecimal(text, u / 8640000);
        text += " day(s), ";
        appendTwoDigits(text, u % 8640000 / 360000);
        text += ':';
        appendTwoDigits(text, u % 360000 / 6000);
        text += ':';
        appendTwoDigits(text, u % 6000 / 100);
        text += '.';
        appendTwoDigits(text, u % 100);
        break;
    case 'r':
        appendDecimal(text, u / 3600);
        text += "h ";
        appendDecimal(text, u % 3600 / 60);
        text += "m ";
        appendDecimal(text, u % 60);
        text += 's';
        break;
    case 'c':
        appendDecimal(text, now - u / 100);
        break;
    case 't':
        /* 64-bit: a clock value of more than 248 days ago must not wrap. */
        appendDecimal(text, (now - v) * 100);
        break;
    default:
        setResult(interp, "timeticks {now | uptime | clock | ticks}");
        return TCL_ERROR;
    }
    setResult(interp, text);
    return TCL_OK;
}

/*
 * Identifier lists: "5,12,300" as scripts write them, "00:05:00:0c:01:2c"
 * (two octets per identifier, high byte first) as management data carries
 * them.
 */

/*
 * Reads the pair of fields high and low, joined, as "%4x" reads a text:
 * after white space, at most four characters of an optional "+", an
 * optional "0x" and hex digits. A minus sign is refused: "%4x" would turn
 * "-1" into a huge value, which is no identifier.
 */
bool scanHex4(std::string_view high, std::string_view low, unsigned &value)
{
    if (high.size() == 2 && low.size() == 2) { /* the usual "hh:hh" */
        int a = hexValue(high[0]), b = hexValue(high[1]);
        int c = hexValue(low[0]), d = hexValue(low[1]);
        if ((a | b | c | d) >= 0) {
            value = ((a * 16 + b) * 16 + c) * 16 + d;
            return true;
        }
    }
    size_t size = high.size() + low.size();
    auto at = [&](size_t i) { return i < high.size() ? high[i] : low[i - high.size()]; };
    size_t p = 0;
    while (p < size && isSpace(at(p))) {
        ++p;
    }
    size_t end = std::min(size, p + 4);
    if (p < end && at(p) == '+') {
        ++p;
    }
    if (p + 2 < end && at(p) == '0' && (at(p + 1) == 'x' || at(p + 1) == 'X')
        && hexValue(at(p + 2)) >= 0) {
        p += 2;
    }
    if (p == end || hexValue(at(p)) < 0) {
        return false;
    }
    value = 0;
    for (; p < end && hexValue(at(p)) >= 0; ++p) {
        value = value * 16 + hexValue(at(p));
    }
    return true;
}

/*
 * idListParse --
 *   Turns a comma-separated identifier list into octet text. Empty fields
 *   are skipped; each field is read as "%d" reads it. "{}", the empty text
 *   and a text of commas only all stand for the empty list, "00".
 * Results: TCL_OK with the octet text, or TCL_ERROR with "invalid Id List"
 *   for a field with no number or a number outside 0 to 65535.
 */
int idListParse(Tcl_Interp *interp, const char *text)
{
    std::string octets;
    std::string_view rest(std::strcmp(text, "{}") == 0 ? "" : text);
    for (std::string_view field; !(field = nextToken(rest, ',')).empty();) {
        int id;
        if (!scanInt(field, id) || id < 0 || id > 0xffff) {
            setResult(interp, "invalid Id List");
            return TCL_ERROR;
        }
        if (!octets.empty()) {
            octets += ':';
        }
        appendHex2(octets, static_cast<unsigned>(id) >> 8);
        octets += ':';
        appendHex2(octets, static_cast<unsigned>(id) & 0xff);
    }
    setResult(interp, octets.empty() ? "00" : octets);
    return TCL_OK;
}

/*
 * idListPrint --
 *   Turns octet text into a comma-separated identifier list. The text is
 *   split at colons (a run of them counts as one), and each pair of fields,
 *   joined, is read as "%4x" reads it: its first four characters count.
 * Results: TCL_OK with the list (empty for a text with no fields), or
 *   TCL_ERROR with "invalid number" for an odd number of fields or a pair
 *   that holds no hexadecimal number.
 */
int idListPrint(Tcl_Interp *interp, const char *text)
{
    std::string_view rest(text);
    /* n pairs take 4n - 1 characters or more ("a:b", then ":c:d" each) and
     * give 6n at most ("65535,"): twice the text's length is room enough. */
    std::string ids(2 * rest.size() + 8, '\0');
    char *p = &ids[0];
    for (std::string_view high; !(high = nextToken(rest, ':')).empty();) {
        std::string_view low = nextToken(rest, ':');
        unsigned id;
        if (low.empty() || !scanHex4(high, low, id)) {
            setResult(interp, "invalid number");
            return TCL_ERROR;
        }
        p = writeDecimal(p, id);
        *p++ = ',';
    }
    /* Without the last comma. */
    setResult(interp, std::string_view(ids.data(), p == ids.data() ? 0 : p - ids.data() - 1));
    return TCL_OK;
}

/*
 * idListCmd --
 *   "idList parse IDS" / "idList print OCTETS": converts between identifier
 *   lists and octet text. Any first word but "parse" prints.
 * Results: a standard Tcl result.
 */
int idListCmd(ZKS_CMD_ARGS)
{
    if (argc < 3) {
        return usage(interp, argv[0], "{print|parse} string");
    }
    if (std::strcmp(argv[1], "parse") == 0) {
        return idListParse(interp, argv[2]);
    }
    return idListPrint(interp, argv[2]);
}

/*
 *----------------------------------------------------------------------
 * Script utilities: loop, rlindex, chmod, deleteProc.
 *----------------------------------------------------------------------
 */

/* A Tcl_Obj reference held for the length of a scope. */
class HeldObj {
public:
    explicit HeldObj(Tcl_Obj *obj) : obj_(obj) { Tcl_IncrRefCount(obj_); }
    ~HeldObj() { Tcl_DecrRefCount(obj_); }
    HeldObj(const HeldObj &) = delete;
    HeldObj &operator=(const HeldObj &) = delete;
    Tcl_Obj *get() const { return obj_; }

private:
    Tcl_Obj *obj_;
};

/*
 * Decodes the backslash sequence at p, which lies before limit. Tcl_UtfBackslash
 * reads a NUL-terminated text; a backslash that is the last byte before the
 * limit stands for itself, as in Tcl's own list parser.
 * Results: the sequence's length in bytes; its replacement goes to out.
 */
int listBackslash(const char *p, const char *limit, std::string *out)
{
    if (limit - p < 2) {
        if (out != nullptr) {
            *out += '\\';
        }
        return 1;
    }
    std::array<char, 8> bytes{};
    int read = 0;
    int n = Tcl_UtfBackslash(p, &read, bytes.data());
    if (out != nullptr) {
        out->append(bytes.data(), static_cast<size_t>(n));
    }
    return read < limit - p ? read : static_cast<int>(limit - p);
}

/* One element of a list text, as found by nextListElement. */
struct ListElement {
    const char *open = nullptr;  /* first byte: the opening brace or quote, if any */
    const char *start = nullptr; /* first byte of the element's text */
    const char *end = nullptr;   /* one past its last byte */
    bool literal = true;         /* no backslash sequence to replace (so in braces) */
};

enum class ListScan { element, end, syntaxError };

/*
 * nextListElement --
 *   Finds the list element at or after p with Tcl's list rules: white space
 *   (the same six bytes as isSpace) between elements, braces that nest and keep their text as written,
 *   double quotes, and backslash sequences that neither close nor separate.
 * Results: element (p then points past it), end (no element is left), or
 *   syntaxError (el.open is the faulty element and p the byte where the scan
 *   stopped: the end of the text, or just after the closing brace or quote).
 */
ListScan nextListElement(const char *&p, const char *limit, ListElement &el)
{
    while (p < limit && isSpace(*p)) {
        ++p;
    }
    if (p == limit) {
        return ListScan::end;
    }
    el = ListElement{};
    el.open = p;
    int braces = 0;
    bool quoted = false;
    if (*p == '{') {
        braces = 1;
        ++p;
    } else if (*p == '"') {
        quoted = true;
        ++p;
    }
    el.start = p;
    for (; p < limit; ++p) {
        switch (*p) {
        case '{':
            if (braces != 0) {
                ++braces;
            }
            break;
        case '}':
            if (braces > 1) {
                --braces;
            } else if (braces == 1) {
                el.end = p++;
                return p == limit || isSpace(*p) ? ListScan::element : ListScan::syntaxError;
            }
            break;
        case '"':
            if (quoted) {
                el.end = p++;
                return p == limit || isSpace(*p) ? ListScan::element : ListScan::syntaxError;
            }
            break;
        case '\\':
            if (braces == 0) {
                el.literal = false;
            }
            p += listBackslash(p, limit, nullptr) - 1;
            break;
        default:
            if (braces == 0 && !quoted && isSpace(*p)) {
                el.end = p;
                return ListScan::element;
            }
            break;
        }
    }
    if (braces != 0 || quoted) {
        return ListScan::syntaxError;
    }
    el.end = p;
    return ListScan::element;
}

/*
 * rlindexCmd --
 *   "rlindex var integer": the element of the list held in the variable var
 *   at the given index, counted from 0. Only the elements up to that one are
 *   parsed; the variable is neither copied nor converted.
 * Results: the element's text, empty for a negative index or one past the
 *   end; TCL_ERROR with Tcl's message when the variable cannot be read, the
 *   index is no integer, or an element up to the requested one is malformed.
 */
int rlindexCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 3) {
        return usage(interp, argv[0], "var integer");
    }
    Tcl_Obj *value = Tcl_GetVar2Ex(interp, argv[1], nullptr, TCL_LEAVE_ERR_MSG);
    if (value == nullptr) {
        return TCL_ERROR;
    }
    int index = 0;
    if (Tcl_GetInt(interp, argv[2], &index) != TCL_OK) {
        return TCL_ERROR;
    }
    if (index < 0) {
        return TCL_OK;
    }

    /* A value that is already a list answers directly, without a string form. */
    static const Tcl_ObjType *const listType = Tcl_GetObjType("list");
    if (listType != nullptr && value->typePtr == listType) {
        Tcl_Obj *elem = nullptr;
        if (Tcl_ListObjIndex(interp, value, index, &elem) != TCL_OK) {
            return TCL_ERROR;
        }
        if (elem != nullptr) {
            Tcl_SetObjResult(interp, elem);
        }
        return TCL_OK;
    }

    int length = 0;
    const char *p = Tcl_GetStringFromObj(value, &length);
    const char *const limit = p + length;
    ListElement el;
    for (int i = 0; i <= index; ++i) {
        switch (nextListElement(p, limit, el)) {
        case ListScan::element:
            break;
        case ListScan::end:
            return TCL_OK; /* past the end: empty */
        case ListScan::syntaxError: {
            /*
             * Let Tcl word the error: its message names at most 20 bytes
             * after the closing brace or quote, so that much of the faulty
             * element is parsed again as a list of its own.
             */
            const char *stop = limit - p > 20 ? p + 20 : limit;
            HeldObj faulty(Tcl_NewStringObj(el.open, static_cast<int>(stop - el.open)));
            int n = 0;
            if (Tcl_ListObjLength(interp, faulty.get(), &n) == TCL_OK) {
                setResult(interp, "malformed list"); /* not reached: the rules agree */
            }
            return TCL_ERROR;
        }
        }
    }
    if (el.literal) {
        setResult(interp, std::string_view(el.start, static_cast<size_t>(el.end - el.start)));
        return TCL_OK;
    }
    std::string text;
    text.reserve(static_cast<size_t>(el.end - el.start));
    for (const char *q = el.start; q < el.end;) {
        const char *run = q;
        while (q < el.end && *q != '\\') {
            ++q;
        }
        text.append(run, static_cast<size_t>(q - run));
        if (q < el.end) {
            q += listBackslash(q, el.end, &text);
        }
    }
    setResult(interp, text);
    return TCL_OK;
}

/*
 * Tcl_LoopCmd --
 *   "loop var first limit ?incr? command": runs command once for each counter
 *   value from first towards limit (excluded) in steps of incr (default 1;
 *   zero counts as upward). The bounds are expressions, evaluated in that
 *   order. The counter is the command's own: var receives it before every
 *   iteration and once more at the end, and changes to var do not steer it.
 *   A step that would carry the counter past the range of a long ends the
 *   loop instead, var keeping the last value that ran.
 * Results: TCL_OK when the test or a break ends the loop; an error, return
 *   or other code of the body is passed on, errors with the body line added
 *   to the error information. The result is what the body's last evaluation
 *   left.
 */
int Tcl_LoopCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 5 && argc != 6) {
        return usage(interp, argv[0], "var first limit ?incr? command");
    }
    long first = 0;
    long limit = 0;
    long incr = 1;
    if (Tcl_ExprLong(interp, argv[2], &first) != TCL_OK
        || Tcl_ExprLong(interp, argv[3], &limit) != TCL_OK
        || (argc == 6 && Tcl_ExprLong(interp, argv[4], &incr) != TCL_OK)) {
        return TCL_ERROR;
    }

    /* One name and one body object for the whole loop: the body compiles once. */
    HeldObj name(Tcl_NewStringObj(argv[1], -1));
    HeldObj body(Tcl_NewStringObj(argv[argc - 1], -1));
    long counter = first;
    int code = TCL_OK;
    while (incr >= 0 ? counter < limit : counter > limit) {
        if (Tcl_ObjSetVar2(interp, name.get(), nullptr, Tcl_NewLongObj(counter),
                TCL_LEAVE_ERR_MSG) == nullptr) {
            return TCL_ERROR;
        }
        code = Tcl_EvalObjEx(interp, body.get(), 0);
        if (code == TCL_CONTINUE) {
            code = TCL_OK;
        }
        if (code != TCL_OK) {
            if (code == TCL_BREAK) {
                code = TCL_OK;
            } else if (code == TCL_ERROR) {
                std::string info = "\n    (\"loop\" body line ";
                info += std::to_string(Tcl_GetErrorLine(interp));
                info += ')';
                Tcl_AddErrorInfo(interp, info.c_str());
            }
            break;
        }
        long next = 0;
        if (__builtin_add_overflow(counter, incr, &next)) {
            break; /* the counter keeps the last value that ran */
        }
        counter = next;
    }
    if (Tcl_ObjSetVar2(interp, name.get(), nullptr, Tcl_NewLongObj(counter),
            TCL_LEAVE_ERR_MSG) == nullptr) {
        return TCL_ERROR;
    }
    return code;
}

/*
 * chmodMode --
 *   Reads an octal file mode the way "%o" does: white space, an optional
 *   plus sign, octal digits; whatever follows the digits is ignored.
 * Results: the mode, or -1 when the text does not begin with an octal
 *   number, is negative, or exceeds 07777.
 */
long chmodMode(const char *text)
{
    const char *p = text;
    while (isSpace(*p)) {
        ++p;
    }
    if (*p == '+') {
        ++p;
    }
    if (*p < '0' || *p > '7') {
        return -1;
    }
    long mode = 0;
    for (; *p >= '0' && *p <= '7'; ++p) {
        mode = mode * 8 + (*p - '0');
        if (mode > 07777) {
            return -1;
        }
    }
    return mode;
}

/*
 * chmodCmd --
 *   "chmod filename mode": sets the permission bits of filename, taken as
 *   written (no tilde expansion), to the octal mode. Words beyond the mode
 *   are ignored.
 * Results: empty on success. TCL_ERROR with "can't chmod PATH" when the
 *   system refuses, or naming the mode when it is no octal mode from 0 to
 *   7777, in which case the file is not touched.
 */
int chmodCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc <= 2) {
        return usage(interp, argv[0], "filename mode");
    }
    long mode = chmodMode(argv[2]);
    if (mode < 0) {
        std::string msg = "bad mode \"";
        msg += argv[2];
        msg += "\": must be an octal number from 0 to 7777";
        setResult(interp, msg);
        return TCL_ERROR;
    }
    if (::chmod(argv[1], static_cast<mode_t>(mode)) != 0) {
        setResult(interp, std::string("can't chmod ") + argv[1]);
        return TCL_ERROR;
    }
    return TCL_OK;
}

} // namespace

/*
 * deleteProcCmd --
 *   "deleteProc name": deletes the command name, whatever implements it.
 *   Words beyond the name are ignored. Exported: hosts may call it directly.
 * Results: TCL_OK, or TCL_ERROR when there is no such command; the result
 *   is empty either way.
 */
int deleteProcCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc <= 1) {
        return zks::usage(interp, argv[0], "integer");
    }
    int status = Tcl_DeleteCommand(interp, argv[1]);
    Tcl_ResetResult(interp); /* whatever a delete trace left */
    return status == 0 ? TCL_OK : TCL_ERROR;
}

namespace {

/*
 *----------------------------------------------------------------------
 * Address and number conversion: getIPAddr, getIPHost, hex2dec, dec2hex,
 * ipmShowIpAddr.
 *----------------------------------------------------------------------
 */

/*
 * hostEntryLookup --
 *   Runs a reentrant resolver call, growing its work buffer while the
 *   resolver reports it too small. The entry points into the buffer.
 * Results: true when the resolver found an entry.
 */
template <typename Call>
bool hostEntryLookup(Call call, hostent &entry, std::string &buffer)
{
    constexpr std::size_t maxBuffer = 1 << 20;
    buffer.resize(1024);
    for (;;) {
        hostent *found = nullptr;
        int herr = 0;
        int rc = call(&entry, buffer.data(), buffer.size(), &found, &herr);
        if (rc == ERANGE && buffer.size() < maxBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return rc == 0 && found != nullptr;
    }
}

/* Appends an IPv4 address, given as a host-order number, in dotted decimal. */
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

} // namespace

/*
 * getIPAddrCmd --
 *   "getIPAddr string": the first IPv4 address of a host name, in dotted
 *   decimal. A word that starts with a digit is taken to be an address
 *   already and comes back unchanged, without a lookup.
 * Results: the address; TCL_ERROR with an empty result when the name does
 *   not resolve; the usage message unless there is exactly one argument.
 */
int getIPAddrCmd(ZKS_CMD_ARGS)
{
    if (argc != 2) {
        return zks::usage(interp, argv[0], "string");
    }
    const char *name = argv[1];
    if (name[0] >= '0' && name[0] <= '9') {
        zks::setResult(interp, name);
        return TCL_OK;
    }
    hostent entry;
    std::string buffer;
    bool found = hostEntryLookup(
        [name](hostent *e, char *buf, std::size_t len, hostent **res, int *herr) {
            return gethostbyname_r(name, e, buf, len, res, herr);
        },
        entry, buffer);
    if (!found || entry.h_addrtype != AF_INET || entry.h_length != 4 ||
        entry.h_addr_list[0] == nullptr) {
        Tcl_ResetResult(interp);
        return TCL_ERROR;
    }
    in_addr address;
    std::memcpy(&address, entry.h_addr_list[0], sizeof address);
    std::string text;
    appendDotted(text, ntohl(address.s_addr));
    zks::setResult(interp, text);
    return TCL_OK;
}

/*
 * getIPHostCmd --
 *   "getIPHost string": the official name of an IPv4 address. The address
 *   may be written in any form of inet_aton (one to four parts, decimal,
 *   octal or hex); 255.255.255.255 is an address like any other.
 * Results: the name, or the argument unchanged when the address has none;
 *   a message for text that is no address; the usage message unless there
 *   is exactly one argument.
 */
int getIPHostCmd(ZKS_CMD_ARGS)
{
    if (argc != 2) {
        return zks::usage(interp, argv[0], "string");
    }
    in_addr address;
    if (inet_aton(argv[1], &address) == 0) {
        zks::setResult(interp, "IP-address must be of the form a.b.c.d");
        return TCL_ERROR;
    }
    hostent entry;
    std::string buffer;
    bool found = hostEntryLookup(
        [&address](hostent *e, char *buf, std::size_t len, hostent **res, int *herr) {
            return gethostbyaddr_r(&address, sizeof address, AF_INET, e, buf, len, res, herr);
        },
        entry, buffer);
    zks::setResult(interp, found && entry.h_name != nullptr ? entry.h_name : argv[1]);
    return TCL_OK;
}

namespace {

/* Sets the message 'bad KIND "WORD" in "ARGUMENT": REASON'; returns TCL_ERROR. */
int badWord(Tcl_Interp *interp, const char *kind, std::string_view word,
    std::string_view argument, const char *reason)
{
    std::string msg = "bad ";
    msg += kind;
    msg += " \"";
    msg.append(word);
    msg += "\" in \"";
    msg.append(argument);
    msg += "\": ";
    msg += reason;
    setResult(interp, msg);
    return TCL_ERROR;
}

/* Appends the hex digits of a 32-bit pattern, lowercase, at least four. */
void appendHex4(std::string &out, std::uint32_t value)
{
    std::array<char, 8> digits;
    auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16).ptr;
    for (auto n = end - digits.data(); n < 4; ++n) {
        out += '0';
    }
    out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
}

/*
 * dec2hexCmd --
 *   "dec2hex integer": writes each blank-separated decimal integer as at
 *   least four lowercase hex digits (negative ones as their 32-bit pattern),
 *   joins the digits and cuts them into colon-separated pairs.
 * Results: the pairs (empty for a blank argument); a message naming a word
 *   that is no decimal number or falls outside the signed 32-bit range; the
 *   usage message without an argument.
 */
int dec2hexCmd(ZKS_CMD_ARGS)
{
    if (argc < 2) {
        return usage(interp, argv[0], "integer");
    }
    std::string_view list = argv[1];
    std::string digits;
    digits.reserve(list.size() * 2);
    std::string_view rest = list;
    for (std::string_view word; !(word = nextToken(rest, ' ')).empty();) {
        long long value;
        ScanStatus status = scanInt32(word, &value);
        if (status != ScanStatus::ok) {
            return badWord(interp, "integer", word, list,
                status == ScanStatus::noNumber ? "expected a decimal number"
                                               : "outside the signed 32-bit range");
        }
        appendHex4(digits, static_cast<std::uint32_t>(value));
    }
    std::string pairs;
    pairs.reserve(digits.size() + digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && i % 2 == 0) {
            pairs += ':';
        }
        pairs += digits[i];
    }
    setResult(interp, pairs);
    return TCL_OK;
}

/*
 * hex2decCmd --
 *   "hex2dec hex": writes colon-separated hex fields (0a:01:02:03) as
 *   point-separated signed decimal numbers (10.1.2.3). A field may be wider
 *   than an octet, up to 32 bits. Text without a colon is passed through.
 * Results: the decimal text or the argument; a message naming a field that
 *   holds no hex number or more than 32 bits; the usage message without an
 *   argument.
 */
int hex2decCmd(ZKS_CMD_ARGS)
{
    if (argc < 2) {
        return usage(interp, argv[0], "hex");
    }
    std::string_view text = argv[1];
    std::size_t colons = std::count(text.begin(), text.end(), ':');
    if (colons == 0) {
        setResult(interp, text);
        return TCL_OK;
    }
    /*
     * Each field gives at most 11 characters ("-2147483648") and a point.
     * Addresses are a handful of fields: build those on the stack.
     */
    std::size_t bound = 12 * (colons + 1);
    std::array<char, 192> local;
    std::string large;
    char *out = local.data();
    if (bound > local.size()) {
        large.resize(bound);
        out = large.data();
    }
    char *const outEnd = out + bound;
    char *p = out;
    for (std::size_t start = 0;;) {
        /* A colon is neither space, sign nor digit: the reading stops there. */
        long long value;
        std::size_t used = 0;
        ScanStatus status = scanNumber(text.substr(start), 16, 0xffffffffLL, &value, &used);
        std::size_t colon = text.find(':', start + used);
        if (status != ScanStatus::ok) {
            return badWord(interp, "field", text.substr(start, colon - start), text,
                status == ScanStatus::noNumber ? "expected a hexadecimal number"
                                               : "wider than 32 bits");
        }
        /* The 32-bit pattern is printed signed: ffffffff is -1. */
        p = std::to_chars(p, outEnd,
            static_cast<std::int32_t>(static_cast<std::uint32_t>(value))).ptr;
        if (colon == std::string_view::npos || p == outEnd) {
            break;
        }
        *p++ = '.';
        start = colon + 1;
    }
    setResult(interp, std::string_view(out, static_cast<std::size_t>(p - out)));
    return TCL_OK;
}

/*
 * ipmShowIpAddrCmd --
 *   "ipmShowIpAddr a.b.c.d": lists the multicast addresses 224.0.0.0 to
 *   239.255.255.255 that share the low 23 bits of the given address, and so
 *   its Ethernet multicast address (RFC 1112). Each number is taken modulo
 *   256; text after the fourth number is ignored.
 * Results: the addresses in ascending order, each followed by a blank, the
 *   given one left out; a message for an argument without four numbers; the
 *   usage message without an argument.
 */
int ipmShowIpAddrCmd(ZKS_CMD_ARGS)
{
    if (argc < 2) {
        return usage(interp, argv[0], "integer");
    }
    std::string_view text = argv[1];
    std::uint32_t given = 0;
    std::size_t pos = 0;
    for (int n = 0; n < 4; ++n) {
        bool separated = (n == 0) || (pos < text.size() && text[pos++] == '.');
        long long value = 0;
        std::size_t used = 0;
        ScanStatus status = separated ? scanInt32(text.substr(pos), &value, &used)
                                      : ScanStatus::noNumber;
        if (status != ScanStatus::ok) {
            std::string msg = "bad address \"";
            msg.append(text);
            msg += (status == ScanStatus::noNumber)
                ? "\": expected four decimal numbers a.b.c.d"
                : "\": number outside the signed 32-bit range";
            setResult(interp, msg);
            return TCL_ERROR;
        }
        given = (given << 8) | (static_cast<std::uint32_t>(value) & 0xff);
        pos += used;
    }
    const std::uint32_t low23 = given & 0x7fffff;
    std::string list;
    list.reserve(32 * 16);
    for (std::uint32_t first = 224; first <= 239; ++first) {
        for (std::uint32_t bit23 : {0u, 0x800000u}) {
            std::uint32_t candidate = (first << 24) | bit23 | low23;
            if (candidate != given) {
                appendDotted(list, candidate);
                list += ' ';
            }
        }
    }
    setResult(interp, list);
    return TCL_OK;
}

} // namespace

/*
 *----------------------------------------------------------------------
 * Initialisation.
 *----------------------------------------------------------------------
 */

namespace {

/* The utility commands, in creation order. */
struct UtilityCommand {
    const char *name;
    Tcl_CmdProc *proc;
};
const UtilityCommand utilityCommands[] = {
    {"rlindex", rlindexCmd},
    {"loop", Tcl_LoopCmd},
    {"timeticks", timeticksCmd},
    {"getIPAddr", getIPAddrCmd},
    {"getIPHost", getIPHostCmd},
    {"bit", bitCmd},
    {"port", portCmd},
    {"chmod", chmodCmd},
    {"dec2hex", dec2hexCmd},
    {"hex2dec", hex2decCmd},
    {"ipmShowIpAddr", ipmShowIpAddrCmd},
    {"idList", idListCmd},
    {"deleteProc", deleteProcCmd},
    {nullptr, nullptr}, /* end of table; commands are listed above this line */
};

/* Platform libraries whose symbols later loads in the process may need. */
const char *const preloads[] = {
    "/opt/QX/lib/libqxsnmp.so.1",
    "/opt/QX/lib/libqx.so.1",
};

} // namespace

/*
 * Zk_Init --
 *   Creates the utility commands, then preloads the platform libraries with
 *   global symbol visibility. Missing libraries are passed over silently.
 * Results: TCL_OK, or TCL_ERROR when the interpreter's Tcl is not 8.6.
 */
int Zk_Init(Tcl_Interp *interp)
{
    if (Tcl_InitStubs(interp, "8.6", 0) == nullptr) {
        return TCL_ERROR;
    }
    for (const UtilityCommand &c : utilityCommands) {
        if (c.name != nullptr) {
            Tcl_CreateCommand(interp, c.name, c.proc, nullptr, nullptr);
        }
    }
    for (const char *path : preloads) {
        dlopen(path, RTLD_LAZY | RTLD_GLOBAL); /* handle kept by the loader */
    }
    return TCL_OK;
}
