/*
 * scan.cpp --
 *   Helpers every command group uses: the usage message and the message
 *   builders, the number scanners, and the formatters. No commands.
 */
#include "zksInt.h"

#include <charconv>
#include <climits>

namespace zks {

/*
 *----------------------------------------------------------------------
 * Messages.
 *----------------------------------------------------------------------
 */

int usage(Tcl_Interp *interp, const char *word0, const char *text)
{
    std::string msg = "wrong # args: ";
    msg += word0;
    msg += ' ';
    msg += text;
    setResult(interp, msg);
    Tcl_SetErrorCode(interp, "TCL", "WRONGARGS", nullptr);
    return TCL_ERROR;
}

int usage(Tcl_Interp *interp, Tcl_Obj *word0, const char *text)
{
    return usage(interp, Tcl_GetString(word0), text);
}

int setErrorCode(Tcl_Interp *interp, const char *command, const char *reason,
    std::initializer_list<std::string_view> details)
{
    Tcl_Obj *code = Tcl_NewListObj(0, nullptr);
    Tcl_ListObjAppendElement(nullptr, code, Tcl_NewStringObj("ZKS", -1));
    Tcl_ListObjAppendElement(nullptr, code, Tcl_NewStringObj(command, -1));
    Tcl_ListObjAppendElement(nullptr, code, Tcl_NewStringObj(reason, -1));
    for (std::string_view detail : details) {
        Tcl_ListObjAppendElement(nullptr, code,
            Tcl_NewStringObj(detail.data(), static_cast<Tcl_Size>(detail.size())));
    }
    Tcl_SetObjErrorCode(interp, code);
    return TCL_ERROR;
}

int setPosixErrorCode(Tcl_Interp *interp, int err)
{
    Tcl_SetErrno(err);
    Tcl_PosixError(interp);
    return TCL_ERROR;
}

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

int badWord(Tcl_Interp *interp, const char *kind, std::string_view word, const char *reason)
{
    std::string msg = "bad ";
    msg += kind;
    msg += " \"";
    msg.append(word);
    msg += "\": ";
    msg += reason;
    setResult(interp, msg);
    return TCL_ERROR;
}

/*
 *----------------------------------------------------------------------
 * The system's encoding.
 *----------------------------------------------------------------------
 */

std::string toSystemEncoding(std::string_view utf)
{
    Tcl_DString ds;
#if TCL_MAJOR_VERSION >= 9
    Tcl_UtfToExternalDStringEx(nullptr, nullptr, utf.data(), static_cast<Tcl_Size>(utf.size()),
        TCL_ENCODING_PROFILE_TCL8, &ds, nullptr);
#else
    Tcl_UtfToExternalDString(nullptr, utf.data(), static_cast<Tcl_Size>(utf.size()), &ds);
#endif
    std::string native(Tcl_DStringValue(&ds), static_cast<std::size_t>(Tcl_DStringLength(&ds)));
    Tcl_DStringFree(&ds);
    return native;
}

std::string fromSystemEncoding(std::string_view native)
{
    Tcl_DString ds;
#if TCL_MAJOR_VERSION >= 9
    Tcl_ExternalToUtfDStringEx(nullptr, nullptr, native.data(),
        static_cast<Tcl_Size>(native.size()), TCL_ENCODING_PROFILE_TCL8, &ds, nullptr);
#else
    Tcl_ExternalToUtfDString(nullptr, native.data(), static_cast<Tcl_Size>(native.size()), &ds);
#endif
    std::string utf(Tcl_DStringValue(&ds), static_cast<std::size_t>(Tcl_DStringLength(&ds)));
    Tcl_DStringFree(&ds);
    return utf;
}

bool toSystemPath(std::string_view utf, std::string &native)
{
    native = toSystemEncoding(utf);
    return native.find('\0') == std::string::npos;
}

/*
 *----------------------------------------------------------------------
 * Number scanners.
 *----------------------------------------------------------------------
 */

ScanStatus scanNumber(std::string_view text, int base, long long maxMagnitude,
    long long *value, std::size_t *rest)
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

ScanStatus scanInt32(std::string_view text, long long *value, std::size_t *rest)
{
    ScanStatus status = scanNumber(text, 10, 1LL + INT_MAX, value, rest);
    return status == ScanStatus::ok && *value > INT_MAX ? ScanStatus::tooWide : status;
}

bool takeInt32(std::string_view &s, int &value)
{
    /* A number past an int was never a valid port or identifier: refused, not wrapped. */
    long long v = 0;
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

void appendDecimal(std::string &out, long long value)
{
    std::array<char, 24> digits;
    auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
}

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
