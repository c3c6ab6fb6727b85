/*
 * zksInt.h --
 *   What the source files of the library share: the public declarations
 *   (zks.h), every command procedure, and the scanning, formatting and
 *   message helpers (the hot ones inline here).
 *
 *   Where each command lives:
 *     init.cpp      every entry point (Init, SafeInit, Unload of Zks and Zk),
 *                   the command table, the platform preloads, unloading
 *     readZKS.cpp   readZKS and its token reader
 *     codecs.cpp    bit, port, idList
 *     values.cpp    timeticks, hex2dec, dec2hex, ipmShowIpAddr, getIPAddr, getIPHost
 *     loop.cpp      loop
 *     utils.cpp     rlindex, chmod, deleteProc
 *   and the helpers:
 *     trace.cpp     the trace lines of bit parse and port parse, to stdout
 *     messages.cpp  usage and "bad X" messages, errorCode lists
 *     encoding.cpp  texts to and from the system's encoding
 *     numbers.cpp   number and address scanners, formatters
 *   and what differs between POSIX and Windows (platform.h):
 *     platformPosix.cpp, platformWin.cpp
 */
#ifndef ZKS_INT_H
#define ZKS_INT_H

/* The exported declarations, with the attribute that exports them. */
#ifndef BUILD_zks
#define BUILD_zks
#endif
#include "zks.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

/* Tcl 8.6 counts in int what Tcl 9 counts in Tcl_Size. */
#ifndef TCL_SIZE_MAX
typedef int Tcl_Size;
#endif

namespace zks {

/* Object command procedures: Tcl 9 passes the word count as a Tcl_Size. */
#if TCL_MAJOR_VERSION >= 9
using ObjCmdProc = Tcl_ObjCmdProc2;
#else
using ObjCmdProc = Tcl_ObjCmdProc;
#endif

/*
 * One procedure per command, in the files listed above. getIPAddrCmd,
 * getIPHostCmd and deleteProcCmd share their names with the string-based
 * forms above, which are global: zks:: names the object command.
 */
ObjCmdProc readZKSCmd;
ObjCmdProc bitCmd;
ObjCmdProc portCmd;
ObjCmdProc idListCmd;
ObjCmdProc timeticksCmd;
ObjCmdProc hex2decCmd;
ObjCmdProc dec2hexCmd;
ObjCmdProc ipmShowIpAddrCmd;
ObjCmdProc getIPAddrCmd;
ObjCmdProc getIPHostCmd;
ObjCmdProc loopCmd;
ObjCmdProc loopNRCmd;
ObjCmdProc rlindexCmd;
ObjCmdProc chmodCmd;
ObjCmdProc deleteProcCmd;

/* A reference to a Tcl_Obj held for a scope: released on every path. */
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
 * Marks a call that runs scripts, from its start to its return: the
 * library is not unloaded from the process under it (init.cpp).
 */
void beginCall();
void endCall();
struct CallUnderWay {
    CallUnderWay() { beginCall(); }
    ~CallUnderWay() { endCall(); }
    CallUnderWay(const CallUnderWay &) = delete;
    CallUnderWay &operator=(const CallUnderWay &) = delete;
};

/*
 *----------------------------------------------------------------------
 * Results and messages (messages.cpp).
 *----------------------------------------------------------------------
 */

/* Hands a text of any length to the interpreter as its result. */
inline void setResult(Tcl_Interp *interp, std::string_view text)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), static_cast<Tcl_Size>(text.size())));
}

/*
 * Sets "wrong # args: WORD0 TEXT" as the result, errorCode TCL WRONGARGS,
 * and returns TCL_ERROR. The text is built whole, whatever the length of
 * the command word.
 */
int usage(Tcl_Interp *interp, const char *word0, const char *text);
int usage(Tcl_Interp *interp, Tcl_Obj *word0, const char *text);

/* A word's text as a view: Tcl's strings hold no raw NUL byte. */
inline std::string_view wordView(Tcl_Obj *word)
{
    Tcl_Size length = 0;
    const char *bytes = Tcl_GetStringFromObj(word, &length);
    return std::string_view(bytes, static_cast<std::size_t>(length));
}

/*
 * Sets errorCode to "ZKS COMMAND REASON ?DETAIL ...?" for an error of the
 * library's own; COMMAND is the command's name in upper case, REASON one
 * fixed word per kind of failure. Returns TCL_ERROR.
 */
int setErrorCode(Tcl_Interp *interp, const char *command, const char *reason,
    std::initializer_list<std::string_view> details = {});

/*
 * Sets errorCode to "POSIX NAME MESSAGE" for the system error err, as Tcl's
 * own file commands do, and returns TCL_ERROR.
 */
int setPosixErrorCode(Tcl_Interp *interp, int err);

/* Sets 'bad KIND "WORD" in "ARGUMENT": REASON' as the result; returns TCL_ERROR. */
int badWord(Tcl_Interp *interp, const char *kind, std::string_view word,
    std::string_view argument, const char *reason);

/* The same for a word that is the whole argument: 'bad KIND "WORD": REASON'. */
int badWord(Tcl_Interp *interp, const char *kind, std::string_view word, const char *reason);

/*
 *----------------------------------------------------------------------
 * Trace lines (trace.cpp): written to the channel interp knows as stdout,
 * when it has one, in a single write, as Tcl's puts would write them.
 *----------------------------------------------------------------------
 */
void writeTrace(Tcl_Interp *interp, std::string_view text);

/* The same for a text whose part from asciiFrom on is known to be ASCII:
 * written as bytes when the whole of it is and the channel allows. */
void writeTrace(Tcl_Interp *interp, std::string_view text, std::size_t asciiFrom);

/*
 *----------------------------------------------------------------------
 * The system's encoding (encoding.cpp). Both directions are lenient, as Tcl
 * 8.6 is (Tcl 9's "tcl8" profile): invalid sequences are taken byte by
 * byte rather than refused.
 *----------------------------------------------------------------------
 */

/* Tcl's string as the system would take it: file names, mostly. */
std::string toSystemEncoding(std::string_view utf);

/* Text from the system (a file's bytes, a file name) as a Tcl string. */
std::string fromSystemEncoding(std::string_view native);

/*
 * A path from a Tcl string, as Tcl's own file commands pass it to the
 * system. False when it holds a NUL byte, which the system would take as
 * its end: such a path names no file.
 */
bool toSystemPath(std::string_view utf, std::string &native);

/*
 *----------------------------------------------------------------------
 * Scanning (numbers.cpp; character tests inline).
 *----------------------------------------------------------------------
 */

/*
 * White space as the C library's number readers, Tcl's list rules and the
 * specification reader know it: the POSIX-locale space class, whatever
 * locale the host has set. Bytes above 127 are never space.
 */
inline bool isSpace(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/* text without the white space at its start. */
inline std::string_view skipSpace(std::string_view text)
{
    text.remove_prefix(static_cast<std::size_t>(
        std::find_if_not(text.begin(), text.end(), isSpace) - text.begin()));
    return text;
}

/* The value of each hex digit, -1 for every other byte. */
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

inline int hexValue(char c)
{
    return hexValues[static_cast<unsigned char>(c)];
}

/* The value of c as a digit of base (8, 10 or 16), -1 for every other byte. */
inline int digitValue(char c, int base)
{
    int d = hexValue(c);
    return d < base ? d : -1;
}

/* How many digits of base text starts with. */
inline std::size_t digitCount(std::string_view text, int base)
{
    return static_cast<std::size_t>(
        std::find_if(text.begin(), text.end(), [base](char c) { return digitValue(c, base) < 0; })
        - text.begin());
}

/*
 * Returns the next token of rest, skipping the characters for which
 * separates is true; empty when none is left. Each scan keeps its position
 * in a view of its own, so a script that re-enters the library in the
 * middle of a scan cannot disturb it.
 */
template <typename Separates>
std::string_view nextToken(std::string_view &rest, Separates separates)
{
    auto start = std::find_if_not(rest.begin(), rest.end(), separates);
    auto end = std::find_if(start, rest.end(), separates);
    std::string_view token = rest.substr(static_cast<std::size_t>(start - rest.begin()),
        static_cast<std::size_t>(end - start));
    rest.remove_prefix(static_cast<std::size_t>(end - rest.begin()));
    return token;
}

inline std::string_view nextToken(std::string_view &rest, char separator)
{
    return nextToken(rest, [separator](char c) { return c == separator; });
}

enum class ScanStatus { ok, noNumber, tooWide };

/*
 * Reads a number at the start of text as "%d" (base 10) or "%x" (base 16)
 * reads it: white space, an optional sign, for base 16 an optional 0x, then
 * digits; the rest is ignored. A magnitude above maxMagnitude is too wide.
 * *value holds the signed result when ok; *rest, when given, the offset
 * past the digits.
 */
ScanStatus scanNumber(std::string_view text, int base, std::int64_t maxMagnitude,
    std::int64_t *value, std::size_t *rest = nullptr);

/* scanNumber in base 10, too wide past the range of an int. */
ScanStatus scanInt32(std::string_view text, std::int64_t *value, std::size_t *rest = nullptr);

/*
 * Reads an IPv4 address in the forms of inet_aton: one to four parts
 * separated by points, each decimal, octal (leading 0) or hex (leading 0x);
 * all but the last are one byte each, the last fills the remaining low
 * bytes. White space may end the address, and what follows it is ignored.
 * False for any other text; *address is the host-order number when true.
 */
bool parseIPv4(std::string_view text, std::uint32_t *address);

/*
 * Like scanInt32, but takes the number off the front of s. False when there
 * is no number or it does not fit an int; s is then unchanged.
 */
bool takeInt32(std::string_view &s, int &value);

/*
 *----------------------------------------------------------------------
 * Formatting (numbers.cpp; the per-octet and per-number ones inline).
 *----------------------------------------------------------------------
 */

inline constexpr char hexDigits[] = "0123456789abcdef";

/* Appends an octet as "%2.2x" writes it. */
inline void appendHex2(std::string &out, unsigned octet)
{
    out += hexDigits[octet >> 4 & 15];
    out += hexDigits[octet & 15];
}

/* Appends a number in decimal. Inline: lists of numbers are built with one
 * call per number. */
inline void appendDecimal(std::string &out, std::int64_t value)
{
    std::array<char, 24> digits;
    auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
}

/*
 * Writes a number in decimal at p, as "%u" writes it, and returns the end
 * of what it wrote; the caller has made room up to end. For lists whose
 * longest text is known, written into a buffer of that size: an append per
 * number costs more than the conversion.
 */
inline char *writeDecimal(char *p, char *end, unsigned value)
{
    return std::to_chars(p, end, value).ptr;
}

/* Appends a number below 100 with a leading zero when below 10 ("%02d"). */
void appendTwoDigits(std::string &out, unsigned value);

/* Appends the hex digits of a 32-bit pattern, lowercase, at least four. */
void appendHex4(std::string &out, std::uint32_t value);

/* Appends an IPv4 address, given as a host-order number, in dotted decimal. */
void appendDotted(std::string &out, std::uint32_t address);

} // namespace zks

#endif /* ZKS_INT_H */
