/*
 * ZK.cpp --
 *   Zk_Init and the utility commands: bit sets and port lists, managed-value
 *   formats, script utilities, and address and number conversion.
 */
#include "zksInt.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
 * Token scanning shared by the codecs. Every scan keeps its position in a
 * view of its own, so a mapping procedure that re-enters the library while a
 * scan is under way cannot disturb it.
 */

/* Returns the next token of rest, skipping separators; empty when none is left. */
std::string_view nextToken(std::string_view &rest, std::string_view separators)
{
    size_t start = rest.find_first_not_of(separators);
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    size_t end = rest.find_first_of(separators, start);
    if (end == std::string_view::npos) {
        end = rest.size();
    }
    std::string_view token = rest.substr(start, end - start);
    rest.remove_prefix(end);
    return token;
}

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

/*
 * Reads a decimal integer the way "%d" does (white space, an optional sign,
 * digits) from the front of s and advances past it. False when there is no
 * number, or when it does not fit an int: such a number was never a valid
 * port or identifier, so it is refused rather than wrapped.
 */
bool scanInt(std::string_view &s, int &value)
{
    size_t p = 0;
    while (p < s.size() && std::isspace(static_cast<unsigned char>(s[p]))) {
        ++p;
    }
    bool negative = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) {
        negative = s[p++] == '-';
    }
    if (p == s.size() || !isDigit(s[p])) {
        return false;
    }
    long long v = 0;
    for (; p < s.size() && isDigit(s[p]); ++p) {
        v = v * 10 + (s[p] - '0');
        if (v > 1LL + INT_MAX) {
            return false;
        }
    }
    v = negative ? -v : v;
    if (v > INT_MAX) {
        return false;
    }
    value = static_cast<int>(v);
    s.remove_prefix(p);
    return true;
}

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

/* Appends an octet as "%x" writes it: lowercase, no leading zero. */
void appendHex(std::string &out, unsigned octet)
{
    if (octet >= 16) {
        out += hexDigits[octet >> 4];
    }
    out += hexDigits[octet & 15];
}

/* Appends an octet as "%2.2x" writes it. */
void appendHex2(std::string &out, unsigned octet)
{
    out += hexDigits[octet >> 4];
    out += hexDigits[octet & 15];
}

void writeTrace(const std::string &line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
}

/*
 * SetBit --
 *   Sets number k (0 to 255) and writes the trace line: every octet, highest
 *   numbers first, in "%x" without separators.
 */
void SetBit(ParseSet &set, int k)
{
    set[k / 8] |= 0x80 >> (k % 8);
    std::string line;
    for (auto octet = set.rbegin(); octet != set.rend(); ++octet) {
        appendHex(line, *octet);
    }
    line += '\n';
    writeTrace(line);
}

/* GetBit -- 1 when number k is in the set, else 0. */
int GetBit(const PrintSet &set, int k)
{
    return (set[k / 8] & (0x80 >> (k % 8))) != 0;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
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
    std::printf("bitParse: str=%s\n", text);
    ParseSet set{};
    int lower = -1; /* none until a number has been read */
    std::string_view rest(text);
    for (std::string_view token; !(token = nextToken(rest, " ")).empty();) {
        if (token[0] == '-') {
            /* The rest of a hyphen token is ignored: "-5" is a bare hyphen. */
            std::string_view bound = nextToken(rest, " ");
            if (lower < 0 || bound.empty() || !isDigit(bound[0])
                || leadingNumber(bound) > maxBit) {
                setResult(interp, "invalid range");
                return TCL_ERROR;
            }
            int upper = leadingNumber(bound);
            if (lower <= upper) {
                for (int k = lower; k <= upper; ++k) {
                    SetBit(set, k);
                }
                lower = upper + 1;
            }
        } else {
            if (!isDigit(token[0]) || leadingNumber(token) > maxBit) {
                setResult(interp, "invalid number");
                return TCL_ERROR;
            }
            lower = leadingNumber(token);
            SetBit(set, lower);
        }
    }

    std::string line;
    for (auto octet = set.rbegin(); octet != set.rend(); ++octet) {
        line += ' ';
        appendHex(line, *octet);
    }
    line += '\n';
    writeTrace(line);

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
    std::printf("bitParse: buf=%s\n", octets.c_str());
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
    for (int k = 0; k <= maxBit; ++k) {
        if (!GetBit(set, k)) {
            continue;
        }
        if (!ranges) {
            list += std::to_string(k);
            list += ' ';
            continue;
        }
        int last = k;
        while (last < maxBit && GetBit(set, last + 1)) {
            ++last;
        }
        if (!list.empty()) {
            list += ' ';
        }
        list += std::to_string(k);
        if (last > k) {
            list += " - ";
            list += std::to_string(last);
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
    std::string_view rest(text);
    for (std::string_view token; !(token = nextToken(rest, " {}")).empty();) {
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
    for (std::string_view token; !(token = nextToken(rest, " ")).empty();) {
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

/*
 * Identifier lists: "5,12,300" as scripts write them, "00:05:00:0c:01:2c"
 * (two octets per identifier, high byte first) as management data carries
 * them.
 */

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
    for (std::string_view field; !(field = nextToken(rest, ",")).empty();) {
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
    std::string ids;
    std::string_view rest(text);
    for (std::string_view high; !(high = nextToken(rest, ":")).empty();) {
        std::string_view low = nextToken(rest, ":");
        std::string pair(high);
        pair += low;
        unsigned id;
        /* A signed pair ("-1:00") would read as a huge value: no identifier. */
        if (low.empty() || std::sscanf(pair.c_str(), "%4x", &id) != 1 || id > 0xffff) {
            setResult(interp, "invalid number");
            return TCL_ERROR;
        }
        if (!ids.empty()) {
            ids += ',';
        }
        ids += std::to_string(id);
    }
    setResult(interp, ids);
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
    {"bit", bitCmd},
    {"port", portCmd},
    {"idList", idListCmd},
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
