/*
 * ZK.cpp --
 *   Zk_Init and the utility commands: bit sets and port lists, managed-value
 *   formats, script utilities, and address and number conversion.
 */
#include "zksInt.h"

#include <dlfcn.h>

#include <array>
#include <charconv>
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

using zks::setResult;
using zks::usage;

/*
 *----------------------------------------------------------------------
 * Bit sets and port lists: bit, port.
 *----------------------------------------------------------------------
 */

/*
 *----------------------------------------------------------------------
 * Managed-value formats: timeticks, idList.
 *----------------------------------------------------------------------
 */

/*
 * isScanSpace --
 *   The white space that the C library's number readers skip in the "C"
 *   locale, whatever locale the host process has set.
 */
inline bool isScanSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

/* Appends the decimal digits of a number. */
void appendDecimal(std::string &out, long long value)
{
    std::array<char, 24> digits;
    auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
}

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
    const char *p = word;
    while (isScanSpace(*p)) {
        ++p;
    }
    bool negative = (*p == '-');
    if (*p == '-' || *p == '+') {
        ++p;
    }
    constexpr long long limit = 4294967295LL;
    long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) {
            break;
        }
    }
    if (magnitude > (negative ? 2147483648LL : limit)) {
        setResult(interp, std::string("bad integer \"") + word +
            "\": outside the range -2147483648 to 4294967295");
        return false;
    }
    *value = negative ? -magnitude : magnitude;
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
 *----------------------------------------------------------------------
 * Script utilities: loop, rlindex, chmod, deleteProc.
 *----------------------------------------------------------------------
 */

/*
 *----------------------------------------------------------------------
 * Address and number conversion: getIPAddr, getIPHost, hex2dec, dec2hex,
 * ipmShowIpAddr.
 *----------------------------------------------------------------------
 */

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
    {"timeticks", timeticksCmd},
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
