/*
 * codecs.cpp --
 *   The codecs between the lists people write and the octet strings that
 *   management data carries:
 *     bit     number lists ("0 - 2 5") and hex-octet strings ("e5:80")
 *     port    port lists ("1/1-1/3"), by way of the bit codec and the host
 *             scripts' mapping procedures
 *     idList  identifier lists ("5,12") and two octets per identifier
 *   The parse traces go out through trace.cpp.
 */
#include "zksInt.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <string>
#include <string_view>

namespace zks {
namespace {

/*
 *----------------------------------------------------------------------
 * The bit-list codec.
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

/* hasBit -- whether number k is in the set. */
bool hasBit(const PrintSet &set, int k)
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
        std::string_view octet = text.substr(p, 2); /* never empty: p is within text */
        int high = hexValue(octet[0]);
        if (high < 0) {
            return false;
        }
        int low = octet.size() == 2 ? hexValue(octet[1]) : -1;
        set[n] = static_cast<unsigned char>(low < 0 ? high : high * 16 + low);
    }
    return true;
}

/* The value of a token's leading digits, held at 256 once it is past 255. */
int leadingNumber(std::string_view token)
{
    int v = 0;
    auto digitsEnd = std::find_if_not(token.begin(), token.end(), isDigit);
    for (auto c = token.begin(); c != digitsEnd; ++c) {
        v = std::min(v * 10 + (*c - '0'), maxBit + 1);
    }
    return v;
}

/*
 * ParseTrace --
 *   The trace of a parse: "bitParse: str=TEXT", a setting line per bit set,
 *   the octets of the set, "bitParse: buf=OCTETS". Nothing else runs during
 *   a parse, so the lines are gathered and written in one piece: the same
 *   bytes as line by line, at a fraction of the cost.
 *
 *   A setting line holds the octets of the set, highest numbers first, each
 *   as "%x" writes it, then a newline. It is kept up to date instead of
 *   formatted afresh: setting a bit rewrites one octet's text, which at most
 *   grows from one character to two and shifts the rest of the line by one.
 */
class ParseTrace {
public:
    explicit ParseTrace(std::string_view text)
    {
        lines_.reserve(8192); /* most traces fit */
        lines_ += "bitParse: str=";
        lines_ += text;
        lines_ += '\n';
        head_ = lines_.size();
        line_.fill('0');
        line_[32] = '\n';
        std::iota(start_.begin(), start_.end(), 0);
    }

    /* Sets number k (0 to 255) in set and appends its setting line. */
    void setBit(ParseSet &set, int k)
    {
        unsigned before = set[k / 8];
        unsigned after = before | (0x80u >> (k % 8));
        set[k / 8] = static_cast<unsigned char>(after);
        size_t place = set.size() - 1 - k / 8; /* highest octets come first */
        char *at = &line_[start_[place]];
        if (before < 16 && after >= 16) {
            std::memmove(at + 1, at, start_.back() + 1 - start_[place]);
            std::for_each(start_.begin() + place + 1, start_.end(), [](unsigned char &start) { ++start; });
        }
        if (after >= 16) {
            *at++ = hexDigits[after >> 4];
        }
        *at = hexDigits[after & 15];
        lines_.append(line_.data(), start_.back() + 1);
    }

    /* Appends the last two lines: the set's octets, reversed, and the result. */
    void finish(const ParseSet &set, std::string_view octets)
    {
        std::array<char, 3 * 32> line; /* " %x" per octet, built whole: it is on every trace */
        char *at = line.data();
        for (auto octet = set.rbegin(); octet != set.rend(); ++octet) {
            *at++ = ' ';
            if (*octet >= 16) {
                *at++ = hexDigits[*octet >> 4];
            }
            *at++ = hexDigits[*octet & 15];
        }
        lines_.append(line.data(), static_cast<std::size_t>(at - line.data()));
        lines_ += "\nbitParse: buf=";
        lines_ += octets;
        lines_ += '\n';
    }

    /* All but the script's text on the first line is ASCII. */
    void write(Tcl_Interp *interp) const { writeTrace(interp, lines_, head_); }

private:
    std::string lines_;
    std::size_t head_;                         /* the length of the str= line */
    std::array<char, 2 * 32 + 1> line_;        /* the setting line */
    std::array<unsigned char, 32 + 1> start_;  /* of each octet's text, then of the newline */
};

/*
 * bitParse --
 *   Turns a number list ("0 - 2 5 7 - 8") into a hex-octet string ("e5:80").
 * Results: TCL_OK with the string, or TCL_ERROR with "invalid number" or
 *   "invalid range" (errorCode ZKS COMMAND BAD_NUMBER|BAD_RANGE TOKEN).
 * Side effects: trace lines on the interpreter's stdout.
 */
int bitParse(Tcl_Interp *interp, std::string_view text, const char *command)
{
    ParseTrace trace(text);
    auto fail = [&](const char *message, const char *reason, std::string_view token) {
        trace.write(interp);
        setResult(interp, message);
        return setErrorCode(interp, command, reason, {token});
    };

    ParseSet set{};
    int lower = -1; /* none until a number has been read */
    std::string_view rest(text);
    for (std::string_view token; !(token = nextToken(rest, ' ')).empty();) {
        if (token[0] == '-') {
            /* The rest of a hyphen token is ignored: "-5" is a bare hyphen. */
            std::string_view bound = nextToken(rest, ' ');
            if (lower < 0 || bound.empty() || !isDigit(bound[0])
                || leadingNumber(bound) > maxBit) {
                return fail("invalid range", "BAD_RANGE", bound);
            }
            int upper = leadingNumber(bound);
            if (lower <= upper) {
                for (int k = lower; k <= upper; ++k) {
                    trace.setBit(set, k);
                }
                lower = upper + 1;
            }
        } else {
            if (!isDigit(token[0]) || leadingNumber(token) > maxBit) {
                return fail("invalid number", "BAD_NUMBER", token);
            }
            lower = leadingNumber(token);
            trace.setBit(set, lower);
        }
    }

    /* Trailing zero octets are left out, but the first is always written. */
    size_t last = set.size() - 1;
    while (last > 0 && set[last] == 0) {
        --last;
    }
    std::array<char, 3 * 32> written; /* "%2.2x:" per octet, the last colon left out */
    char *at = written.data();
    for (size_t n = 0; n <= last; ++n) {
        *at++ = hexDigits[set[n] >> 4];
        *at++ = hexDigits[set[n] & 15];
        *at++ = ':';
    }
    std::string_view octets(written.data(), static_cast<std::size_t>(at - written.data() - 1));
    trace.finish(set, octets);
    trace.write(interp);
    setResult(interp, octets);
    return TCL_OK;
}

/*
 * bitPrint --
 *   Turns a hex-octet string into a number list: "0 1 2 5 7 8 " in the
 *   plain form, "0 - 2 5 7 - 8" in the range form. Numbers 0 to 255 are
 *   listed, so whatever bitParse accepts comes back.
 * Results: TCL_OK with the list, or TCL_ERROR with an empty result when the
 *   string cannot be read (errorCode ZKS COMMAND BAD_OCTETS STRING).
 */
int bitPrint(Tcl_Interp *interp, std::string_view text, bool ranges, const char *command)
{
    Tcl_ResetResult(interp);
    PrintSet set{};
    if (!readOctets(text, set)) {
        return setErrorCode(interp, command, "BAD_OCTETS", {text});
    }
    std::string list;
    if (!ranges) {
        list.resize(4 * (maxBit + 1)); /* "255 " for every number at most */
        char *p = list.data();
        for (int k = 0; k <= maxBit; ++k) {
            if (hasBit(set, k)) {
                p = writeDecimal(p, list.data() + list.size(), static_cast<unsigned>(k));
                *p++ = ' ';
            }
        }
        list.resize(static_cast<std::size_t>(p - list.data()));
    }
    for (int k = 0; ranges && k <= maxBit; ++k) {
        if (!hasBit(set, k)) {
            continue;
        }
        int last = k;
        while (last < maxBit && hasBit(set, last + 1)) {
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

/*
 *----------------------------------------------------------------------
 * The port-list codec.
 *----------------------------------------------------------------------
 */

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
    if (!takeInt32(s, slot) || s.empty() || s[0] != '/') {
        return false;
    }
    s.remove_prefix(1);
    return takeInt32(s, port);
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
 *   failing procedure call. Side effects: trace lines on the interpreter's stdout.
 */
int portParse(Tcl_Interp *interp, std::string_view text, std::string &numbers)
{
    /* Written at once: the mapping procedures may trace parses of their own. */
    writeTrace(interp, "portParse: str=" + std::string(text) + '\n');
    numbers.clear();
    /* Braces separate too, so the elements of a Tcl list come apart. */
    auto separates = [](char c) { return c == ' ' || c == '{' || c == '}'; };
    std::string_view rest(text);
    for (std::string_view token; !(token = nextToken(rest, separates)).empty();) {
        if (token.find('-') != std::string_view::npos) {
            std::array<int, 4> ports;
            std::string_view word = token;
            if (!scanPortRange(word, ports)) {
                setResult(interp, "invalid port range");
                return setErrorCode(interp, "PORT", "BAD_RANGE", {token});
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
            std::string_view word = token;
            if (!scanPort(word, slot, port)) {
                setResult(interp, "invalid port");
                return setErrorCode(interp, "PORT", "BAD_PORT", {token});
            }
            if (appendAnswer(interp, indexCall(slot, port), numbers) != TCL_OK) {
                return TCL_ERROR;
            }
        }
        numbers += ' ';
    }
    writeTrace(interp, "portParse: buf = " + numbers + '\n');
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
 *----------------------------------------------------------------------
 * The identifier-list codec.
 *----------------------------------------------------------------------
 */

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
    std::string joined(high);
    joined += low;
    std::string_view s = skipSpace(joined).substr(0, 4);
    if (s.substr(0, 1) == "+") {
        s.remove_prefix(1);
    }
    if ((s.substr(0, 2) == "0x" || s.substr(0, 2) == "0X") && digitCount(s.substr(2), 16) != 0) {
        s.remove_prefix(2);
    }
    std::string_view digits = s.substr(0, digitCount(s, 16));
    if (digits.empty()) {
        return false;
    }
    value = 0;
    for (char c : digits) {
        value = value * 16 + hexValue(c);
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
int idListParse(Tcl_Interp *interp, std::string_view text)
{
    std::string octets;
    std::string_view rest(text == "{}" ? std::string_view() : text);
    for (std::string_view field; !(field = nextToken(rest, ',')).empty();) {
        int id;
        std::string_view number = field;
        if (!takeInt32(number, id) || id < 0 || id > 0xffff) {
            setResult(interp, "invalid Id List");
            return setErrorCode(interp, "IDLIST", "BAD_ID", {field});
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
int idListPrint(Tcl_Interp *interp, std::string_view text)
{
    std::string_view rest(text);
    /*
     * n pairs take 4n - 1 characters or more ("a:b", then ":c:d" each) and
     * give 6n at most ("65535,"): twice the text's length is room enough.
     */
    std::string ids(2 * text.size() + 8, '\0');
    char *p = ids.data();
    for (std::string_view high; !(high = nextToken(rest, ':')).empty();) {
        std::string_view low = nextToken(rest, ':');
        unsigned id;
        if (low.empty() || !scanHex4(high, low, id)) {
            setResult(interp, "invalid number");
            std::string pair(high);
            if (!low.empty()) {
                pair += ':';
                pair += low;
            }
            return setErrorCode(interp, "IDLIST", "BAD_NUMBER", {pair});
        }
        p = writeDecimal(p, ids.data() + ids.size(), id);
        *p++ = ',';
    }
    /* Without the last comma. */
    setResult(interp, std::string_view(ids.data(), p == ids.data() ? 0 : static_cast<std::size_t>(p - ids.data() - 1)));
    return TCL_OK;
}

/*
 *----------------------------------------------------------------------
 * The words of the codec commands.
 *----------------------------------------------------------------------
 */

/* The range form: exactly four words, the third beginning with "r". */
bool rangeForm(Tcl_Size objc, Tcl_Obj *const objv[])
{
    return objc == 4 && Tcl_GetString(objv[3])[0] == 'r';
}

/* The parse direction is taken only for exactly "parse"; any other word prints. */
bool parseDirection(Tcl_Obj *word)
{
    return std::strcmp(Tcl_GetString(word), "parse") == 0;
}

} // namespace

/*
 * bitCmd --
 *   "bit parse LIST" / "bit print OCTETS ?r?": converts between number lists
 *   and hex-octet strings. Any first word but "parse" prints.
 * Results: a standard Tcl result.
 * Side effects: parse writes trace lines to the interpreter's stdout.
 */
int bitCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        return usage(interp, objv[0], "{print|parse} string");
    }
    if (parseDirection(objv[1])) {
        return bitParse(interp, wordView(objv[2]), "BIT");
    }
    return bitPrint(interp, wordView(objv[2]), rangeForm(objc, objv), "BIT");
}

/*
 * portCmd --
 *   "port parse PORTS" / "port print OCTETS ?r?": converts between port lists
 *   and hex-octet strings, by way of the number lists of the bit codec and
 *   the host scripts' mapping procedures. Any first word but "parse" prints.
 * Results: a standard Tcl result.
 * Side effects: parse writes trace lines to the interpreter's stdout; both
 *   directions run the mapping procedures.
 */
int portCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        return usage(interp, objv[0], "{print|parse} string");
    }
    CallUnderWay call;
    if (parseDirection(objv[1])) {
        std::string numbers;
        if (portParse(interp, wordView(objv[2]), numbers) != TCL_OK) {
            return TCL_ERROR;
        }
        return bitParse(interp, numbers, "PORT");
    }
    if (bitPrint(interp, wordView(objv[2]), rangeForm(objc, objv), "PORT") != TCL_OK) {
        return TCL_ERROR;
    }
    return portPrint(interp);
}

/*
 * idListCmd --
 *   "idList parse IDS" / "idList print OCTETS": converts between identifier
 *   lists and octet text. Any first word but "parse" prints.
 * Results: a standard Tcl result.
 * Side effects: none.
 */
int idListCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        return usage(interp, objv[0], "{print|parse} string");
    }
    if (parseDirection(objv[1])) {
        return idListParse(interp, wordView(objv[2]));
    }
    return idListPrint(interp, wordView(objv[2]));
}

} // namespace zks
