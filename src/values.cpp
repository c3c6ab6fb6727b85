/*
 * values.cpp --
 *   Renderings and conversions of managed values:
 *     timeticks      time ticks as uptimes, dates and clock values
 *     hex2dec        colon-separated hex fields as dotted signed decimal
 *     dec2hex        decimal integers as colon-separated hex octets
 *     ipmShowIpAddr  the IP multicast addresses sharing one Ethernet address
 *     getIPAddr      a host name's IPv4 address
 *     getIPHost      an IPv4 address's host name
 */
#include "zksInt.h"
#include "platform.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace zks {
namespace {

/*
 * readTicksInteger --
 *   Reads the integer word of timeticks as atoi does: leading white space,
 *   an optional sign and decimal digits up to the first other character; no
 *   digits read as 0. A device's 32-bit counter may be written unsigned, so
 *   values from -2^31 up to 2^32-1 are taken; wider ones have no 32-bit
 *   pattern and are refused rather than wrapped.
 * Results: true with *value set, or false with a message in the result.
 */
bool readTicksInteger(Tcl_Interp *interp, std::string_view word, std::int64_t *value)
{
    ScanStatus status = scanNumber(word, 10, std::int64_t{UINT32_MAX}, value);
    if (status == ScanStatus::noNumber) {
        *value = 0;
    } else if (status == ScanStatus::tooWide || *value < INT32_MIN) {
        badWord(interp, "integer", word, "outside the range -2147483648 to 4294967295");
        setErrorCode(interp, "TIMETICKS", "OUT_OF_RANGE", {word});
        return false;
    }
    return true;
}

/*
 * How a command reports a word whose number did not scan: 'bad KIND "WORD"'
 * and the reason for the way it failed, errorCode ZKS COMMAND with
 * noNumberCode or OUT_OF_RANGE.
 */
struct ScanFailure {
    const char *command;
    const char *kind;
    const char *noNumber;     /* the reason when the word holds no number */
    const char *noNumberCode; /* errorCode's reason then */
    const char *tooWide;      /* the reason when its number does not fit */
};

constexpr ScanFailure hexField{"HEX2DEC", "field", "expected a hexadecimal number",
    "BAD_FIELD", "wider than 32 bits"};
constexpr ScanFailure decimalInteger{"DEC2HEX", "integer", "expected a decimal number",
    "BAD_INTEGER", "outside the signed 32-bit range"};
constexpr ScanFailure dottedAddress{"IPMSHOWIPADDR", "address",
    "expected four decimal numbers a.b.c.d", "BAD_ADDRESS",
    "number outside the signed 32-bit range"};

/*
 * scanFailed --
 *   Reports word, whose scan ended with status, as 'bad KIND "WORD" in
 *   "ARGUMENT": REASON', or without the "in" part when no argument is given
 *   (the word is the whole of it).
 * Results: TCL_ERROR, errorCode ZKS COMMAND REASON WORD.
 */
int scanFailed(Tcl_Interp *interp, const ScanFailure &failure, ScanStatus status,
    std::string_view word, std::optional<std::string_view> argument = std::nullopt)
{
    bool noNumber = status == ScanStatus::noNumber;
    const char *reason = noNumber ? failure.noNumber : failure.tooWide;
    if (argument) {
        badWord(interp, failure.kind, word, *argument, reason);
    } else {
        badWord(interp, failure.kind, word, reason);
    }
    return setErrorCode(interp, failure.command,
        noNumber ? failure.noNumberCode : "OUT_OF_RANGE", {word});
}

/*
 * appendCtime --
 *   Appends a clock value as local time in the 24-character layout of ctime,
 *   "Thu Nov  4 18:22:48 1986", without its newline. The names are always
 *   the English ones, as ctime writes them in any locale. Callers pass a
 *   time within 497 days of the clock, which always has a local time; the
 *   zeroed fields would keep even a failure harmless.
 */
void appendCtime(std::string &out, std::int64_t seconds)
{
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    localTime(seconds, &local);
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
    appendDecimal(out, local.tm_year + std::int64_t{1900});
}

/*
 * lookupAddress --
 *   The work of getIPAddr: the first IPv4 address of a host name, in dotted
 *   decimal. A name that starts with a digit is taken to be an address
 *   already and comes back unchanged, without a lookup.
 * Results: TCL_OK with the address; TCL_ERROR with an empty result when the
 *   name does not resolve to an IPv4 address, errorCode ZKS GETIPADDR
 *   STATUS NAME with the resolver's status (NO_DATA when the name has no
 *   IPv4 address).
 */
int lookupAddress(Tcl_Interp *interp, const char *name)
{
    if (isDigit(name[0])) {
        setResult(interp, name);
        return TCL_OK;
    }
    std::uint32_t address = 0;
    const char *reason = nullptr;
    if (!firstIPv4Address(name, &address, &reason)) {
        Tcl_ResetResult(interp);
        return setErrorCode(interp, "GETIPADDR", reason, {name});
    }
    std::string text;
    appendDotted(text, address);
    setResult(interp, text);
    return TCL_OK;
}

/*
 * lookupHost --
 *   The work of getIPHost: the official name of an IPv4 address, written in
 *   any form of inet_aton (one to four parts, decimal, octal or hex), read
 *   the same on every platform; 255.255.255.255 is an address like any
 *   other.
 * Results: TCL_OK with the name, or the text unchanged when the address has
 *   none; TCL_ERROR with a message for text that is no address.
 */
int lookupHost(Tcl_Interp *interp, const char *text)
{
    std::uint32_t address = 0;
    if (!parseIPv4(text, &address)) {
        setResult(interp, "IP-address must be of the form a.b.c.d");
        return setErrorCode(interp, "GETIPHOST", "BAD_ADDRESS", {text});
    }
    std::string name;
    setResult(interp, officialHostName(address, &name) ? std::string_view(name) : text);
    return TCL_OK;
}

} // namespace

/*
 * timeticksCmd --
 *   "timeticks {now|uptime|relative|clock|timeticks} integer": renders time
 *   ticks (hundredths of a second) as a past local date, an uptime or a past
 *   clock value, seconds as a duration, or a clock value as the ticks elapsed
 *   since it. Only the first letter of the subcommand counts.
 * Results: the rendering; the usage message with fewer than two arguments;
 *   a fixed message for an unknown subcommand; a message for an integer
 *   beyond 32 bits.
 * Side effects: none.
 */
int timeticksCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        return usage(interp, objv[0], "{now|uptime|relative|clock|timeticks} integer");
    }
    std::int64_t integer;
    if (!readTicksInteger(interp, wordView(objv[2]), &integer)) {
        return TCL_ERROR;
    }
    /* Tick counts are unsigned 32-bit counters: -1 is 2^32-1 ticks. */
    const std::uint32_t count = static_cast<std::uint32_t>(integer);
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    std::string text;

    switch (Tcl_GetString(objv[1])[0]) {
    case 'n':
        appendCtime(text, now - count / 100);
        break;
    case 'u':
        appendDecimal(text, count / 8640000);
        text += " day(s), ";
        appendTwoDigits(text, count % 8640000 / 360000);
        text += ':';
        appendTwoDigits(text, count % 360000 / 6000);
        text += ':';
        appendTwoDigits(text, count % 6000 / 100);
        text += '.';
        appendTwoDigits(text, count % 100);
        break;
    case 'r':
        appendDecimal(text, count / 3600);
        text += "h ";
        appendDecimal(text, count % 3600 / 60);
        text += "m ";
        appendDecimal(text, count % 60);
        text += 's';
        break;
    case 'c':
        appendDecimal(text, now - count / 100);
        break;
    case 't':
        /* 64-bit: a clock value of more than 248 days ago must not wrap. */
        appendDecimal(text, (now - integer) * 100);
        break;
    default:
        /* "relative" is left out: the text scripts know. */
        setResult(interp, "timeticks {now | uptime | clock | ticks}");
        return setErrorCode(interp, "TIMETICKS", "BAD_SUBCOMMAND", {wordView(objv[1])});
    }
    setResult(interp, text);
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
 * Side effects: none.
 */
int hex2decCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc < 2) {
        return usage(interp, objv[0], "hex");
    }
    std::string_view text = wordView(objv[1]);
    if (text.find(':') == std::string_view::npos) {
        setResult(interp, text);
        return TCL_OK;
    }
    std::string decimal;
    for (std::size_t start = 0;;) {
        /* A colon is neither space, sign nor digit: the reading stops there. */
        std::int64_t value;
        std::size_t used = 0;
        ScanStatus status =
            scanNumber(text.substr(start), 16, std::int64_t{UINT32_MAX}, &value, &used);
        std::size_t colon = text.find(':', start + used);
        if (status != ScanStatus::ok) {
            return scanFailed(interp, hexField, status, text.substr(start, colon - start), text);
        }
        /* The 32-bit pattern is printed signed: ffffffff is -1. */
        appendDecimal(decimal, static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
        if (colon == std::string_view::npos) {
            break;
        }
        decimal += '.';
        start = colon + 1;
    }
    setResult(interp, decimal);
    return TCL_OK;
}

/*
 * dec2hexCmd --
 *   "dec2hex integer": writes each blank-separated decimal integer as at
 *   least four lowercase hex digits (negative ones as their 32-bit pattern),
 *   joins the digits and cuts them into colon-separated pairs.
 * Results: the pairs (empty for a blank argument); a message naming a word
 *   that is no decimal number or falls outside the signed 32-bit range; the
 *   usage message without an argument.
 * Side effects: none.
 */
int dec2hexCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc < 2) {
        return usage(interp, objv[0], "integer");
    }
    std::string_view list = wordView(objv[1]);
    std::string digits;
    std::string_view rest = list;
    for (std::string_view word; !(word = nextToken(rest, ' ')).empty();) {
        std::int64_t value;
        ScanStatus status = scanInt32(word, &value);
        if (status != ScanStatus::ok) {
            return scanFailed(interp, decimalInteger, status, word, list);
        }
        appendHex4(digits, static_cast<std::uint32_t>(value));
    }
    std::string pairs;
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
 * ipmShowIpAddrCmd --
 *   "ipmShowIpAddr a.b.c.d": lists the multicast addresses 224.0.0.0 to
 *   239.255.255.255 that share the low 23 bits of the given address, and so
 *   its Ethernet multicast address (RFC 1112). Each number is taken modulo
 *   256; text after the fourth number is ignored.
 * Results: the addresses in ascending order, each followed by a blank, the
 *   given one left out; a message for an argument without four numbers; the
 *   usage message without an argument.
 * Side effects: none.
 */
int ipmShowIpAddrCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc < 2) {
        /* "integer" though the word is an address: the text scripts know. */
        return usage(interp, objv[0], "integer");
    }
    std::string_view text = wordView(objv[1]);
    std::uint32_t given = 0;
    std::size_t pos = 0;
    for (int n = 0; n < 4; ++n) {
        bool separated = (n == 0) || (pos < text.size() && text[pos++] == '.');
        std::int64_t value = 0;
        std::size_t used = 0;
        ScanStatus status = separated ? scanInt32(text.substr(pos), &value, &used)
                                      : ScanStatus::noNumber;
        if (status != ScanStatus::ok) {
            return scanFailed(interp, dottedAddress, status, text);
        }
        given = (given << 8) | (static_cast<std::uint32_t>(value) & 0xff);
        pos += used;
    }
    const std::uint32_t low23 = given & 0x7fffff;
    std::string list;
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

/*
 * getIPAddrCmd --
 *   "getIPAddr string": the first IPv4 address of a host name, in dotted
 *   decimal; a word that starts with a digit comes back unchanged.
 * Results: the address; TCL_ERROR with an empty result when the name does
 *   not resolve; the usage message unless there is exactly one argument.
 * Side effects: asks the system's resolver.
 */
int getIPAddrCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        return usage(interp, objv[0], "string");
    }
    return lookupAddress(interp, Tcl_GetString(objv[1]));
}

/*
 * getIPHostCmd --
 *   "getIPHost string": the official name of an IPv4 address.
 * Results: the name, or the argument unchanged when the address has none; a
 *   message for text that is no address; the usage message unless there is
 *   exactly one argument.
 * Side effects: asks the system's resolver.
 */
int getIPHostCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        return usage(interp, objv[0], "string");
    }
    return lookupHost(interp, Tcl_GetString(objv[1]));
}

} // namespace zks

/*
 * The string-based forms of getIPAddr and getIPHost, for hosts that call
 * them by name: the same words give the same results.
 */
int getIPAddrCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
        return zks::usage(interp, argv[0], "string");
    }
    return zks::lookupAddress(interp, argv[1]);
}

int getIPHostCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
        return zks::usage(interp, argv[0], "string");
    }
    return zks::lookupHost(interp, argv[1]);
}
