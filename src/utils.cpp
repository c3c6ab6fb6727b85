/*
 * utils.cpp --
 *   Script utilities (loop, the fourth, is in loop.cpp):
 *     rlindex     one element of a list held in a variable
 *     chmod       the permission bits of a file
 *     deleteProc  removal of a command
 */
#include "zksInt.h"
#include "platform.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace zks {
namespace {

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
    return std::min(read, static_cast<int>(limit - p));
}

/* One element of a list text, as found by nextListElement. */
struct ListElement {
    const char *open = nullptr;  /* first byte: the opening brace or quote, if any */
    const char *start = nullptr; /* first byte of the element's text */
    const char *end = nullptr;   /* one past its last byte */
    bool literal = true;         /* no backslash sequence to replace: braced, or without one */
};

enum class ListScan { element, end, syntaxError };

/*
 * At the closing brace or quote p of an element: the element ends there, and
 * p moves past it; what follows must be white space or the end of the text.
 */
ListScan closeElement(const char *&p, const char *limit, ListElement &el)
{
    el.end = p++;
    return p == limit || isSpace(*p) ? ListScan::element : ListScan::syntaxError;
}

/* The rest of a braced element: braces nest; a backslash sequence neither opens nor closes. */
ListScan scanBraced(const char *&p, const char *limit, ListElement &el)
{
    for (int depth = 1; p < limit; ++p) {
        if (*p == '{') {
            ++depth;
        } else if (*p == '}' && --depth == 0) {
            return closeElement(p, limit, el);
        } else if (*p == '\\') {
            p += listBackslash(p, limit, nullptr) - 1;
        }
    }
    return ListScan::syntaxError;
}

/*
 * The rest of a quoted element, ended by a quote, or of a bare one, ended by
 * white space or the end of the text. Braces are plain bytes in both.
 */
ListScan scanUnbraced(const char *&p, const char *limit, ListElement &el, bool quoted)
{
    for (; p < limit; ++p) {
        if (*p == '\\') {
            el.literal = false;
            p += listBackslash(p, limit, nullptr) - 1;
        } else if (quoted && *p == '"') {
            return closeElement(p, limit, el);
        } else if (!quoted && isSpace(*p)) {
            break;
        }
    }
    if (quoted) {
        return ListScan::syntaxError;
    }
    el.end = p;
    return ListScan::element;
}

/*
 * nextListElement --
 *   Finds the list element at or after p with Tcl's list rules: white space
 *   (the same six bytes as isSpace) between elements, braces that nest and
 *   keep their text as written, double quotes, and backslash sequences that
 *   neither close nor separate.
 * Results: element (p then points past it), end (no element is left), or
 *   syntaxError (el.open is the faulty element and p the byte where the scan
 *   stopped: the end of the text, or just after the closing brace or quote).
 */
ListScan nextListElement(const char *&p, const char *limit, ListElement &el)
{
    p = std::find_if_not(p, limit, isSpace);
    if (p == limit) {
        return ListScan::end;
    }
    el = ListElement{};
    el.open = p;
    char opener = *p;
    if (opener == '{' || opener == '"') {
        ++p;
    }
    el.start = p;
    return opener == '{' ? scanBraced(p, limit, el) : scanUnbraced(p, limit, el, opener == '"');
}

/*
 * listIndex --
 *   rlindex on a value that is already a list: its element, straight from
 *   the list, without a string form.
 */
int listIndex(Tcl_Interp *interp, Tcl_Obj *list, int index)
{
    Tcl_Obj *elem = nullptr;
    if (Tcl_ListObjIndex(interp, list, index, &elem) != TCL_OK) {
        return TCL_ERROR;
    }
    if (elem != nullptr) {
        Tcl_SetObjResult(interp, elem);
    }
    return TCL_OK;
}

/*
 * findElement --
 *   Scans the list text at p up to its element index (0 or more), which is
 *   then el.
 * Results: those of nextListElement for the last element scanned: end when
 *   the list is shorter.
 */
ListScan findElement(const char *&p, const char *limit, int index, ListElement &el)
{
    for (int i = 0; i <= index; ++i) {
        ListScan scan = nextListElement(p, limit, el);
        if (scan != ListScan::element) {
            return scan;
        }
    }
    return ListScan::element;
}

/*
 * listSyntaxError --
 *   Fails for the faulty element el in Tcl's own words: the text from el on
 *   is parsed again as a list of its own, and el is the first thing in it
 *   that Tcl refuses.
 * Results: TCL_ERROR, with Tcl's message and errorCode.
 */
int listSyntaxError(Tcl_Interp *interp, const ListElement &el, const char *limit)
{
    HeldObj faulty(Tcl_NewStringObj(el.open, static_cast<Tcl_Size>(limit - el.open)));
    Tcl_Size n = 0;
    if (Tcl_ListObjLength(interp, faulty.get(), &n) == TCL_OK) {
        /* The rules here are Tcl's, so it refuses the text; were one ever to take it: */
        setResult(interp, "malformed list");
        Tcl_SetErrorCode(interp, "TCL", "VALUE", "LIST", nullptr);
    }
    return TCL_ERROR;
}

/* An element's text with its backslash sequences replaced. */
std::string unescapedText(std::string_view element)
{
    const char *const end = element.data() + element.size();
    std::string text;
    text.reserve(element.size());
    for (const char *q = element.data(); q < end;) {
        const char *run = q;
        q = std::find(q, end, '\\');
        text.append(run, static_cast<size_t>(q - run));
        if (q < end) {
            q += listBackslash(q, end, &text);
        }
    }
    return text;
}

/*
 * chmodMode --
 *   Reads an octal file mode: octal digits, with or without Tcl's 0o prefix,
 *   white space around them. Nothing else is taken: a mode read from the
 *   front of a word with a typo in it would set bits nobody asked for.
 * Results: the mode, or -1 when the text is no such number or exceeds 07777.
 */
std::int64_t chmodMode(std::string_view text)
{
    text = skipSpace(text);
    text.remove_suffix(static_cast<std::size_t>(
        std::find_if_not(text.rbegin(), text.rend(), isSpace) - text.rbegin()));
    if (text.substr(0, 2) == "0o" || text.substr(0, 2) == "0O") {
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return -1;
    }
    std::int64_t mode = 0;
    for (char c : text) {
        if (c < '0' || c > '7') {
            return -1;
        }
        mode = mode * 8 + (c - '0');
        if (mode > 07777) {
            return -1;
        }
    }
    return mode;
}

/*
 * Whether an integer word stands for a negative number: its text says so at
 * once, where it has one; a computed value that has none is asked as a
 * double, which keeps the sign of any integer.
 */
bool isNegative(Tcl_Obj *word)
{
    if (word->bytes != nullptr) {
        std::string_view text = skipSpace(
            std::string_view(word->bytes, static_cast<std::size_t>(word->length)));
        return !text.empty() && text[0] == '-';
    }
    double value = 0;
    return Tcl_GetDoubleFromObj(nullptr, word, &value) == TCL_OK && value < 0;
}

/*
 * readIndex --
 *   Reads rlindex's index as Tcl_GetIntFromObj does. An index is read on
 *   every call, mostly a small literal: the wide form answers that from the
 *   word's integer at half the cost; anything else is left to
 *   Tcl_GetIntFromObj, for its values and its messages. The wide form takes
 *   the same words with the same values on every word size; Tcl 8.6's long
 *   form would refuse 2^64-1 (read as -1) where its long has 32 bits.
 */
int readIndex(Tcl_Interp *interp, Tcl_Obj *word, int *index)
{
    Tcl_WideInt value = 0;
    if (Tcl_GetWideIntFromObj(nullptr, word, &value) == TCL_OK
        && value == static_cast<int>(value)) {
        *index = static_cast<int>(value);
    } else if (Tcl_GetIntFromObj(interp, word, index) != TCL_OK) {
        return TCL_ERROR;
    }
    /*
     * Tcl takes a magnitude past its range modulo a power of two: -4294967295
     * would be 1. A negative number stays negative, so it lists nothing.
     */
    if (*index > 0 && isNegative(word)) {
        *index = -1;
    }
    return TCL_OK;
}

/*
 * deleteCommand --
 *   The work of deleteProc: deletes the command name, whatever implements
 *   it, and leaves the result empty whatever a delete trace set. An
 *   unknown name fails with errorCode TCL LOOKUP COMMAND NAME.
 */
int deleteCommand(Tcl_Interp *interp, const char *name)
{
    int status = Tcl_DeleteCommand(interp, name);
    Tcl_ResetResult(interp);
    if (status != 0) {
        Tcl_SetErrorCode(interp, "TCL", "LOOKUP", "COMMAND", name, nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

} // namespace

/*
 * rlindexCmd --
 *   "rlindex var integer": the element of the list held in the variable var
 *   at the given index, counted from 0. Only the elements up to that one are
 *   parsed; the variable is neither copied nor converted.
 * Results: the element's text, empty for a negative index or one past the
 *   end; TCL_ERROR with Tcl's message when the variable cannot be read, the
 *   index is no integer, or an element up to the requested one is malformed.
 * Side effects: none; the variable's value is not converted.
 */
int rlindexCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
        return usage(interp, objv[0], "var integer");
    }
    Tcl_Obj *value = Tcl_ObjGetVar2(interp, objv[1], nullptr, TCL_LEAVE_ERR_MSG);
    if (value == nullptr) {
        return TCL_ERROR;
    }
    int index = 0;
    if (readIndex(interp, objv[2], &index) != TCL_OK) {
        return TCL_ERROR;
    }
    if (index < 0) {
        return TCL_OK;
    }

    /* A value that is already a list answers directly, without a string form. */
    static const Tcl_ObjType *const listType = Tcl_GetObjType("list");
    if (listType != nullptr && value->typePtr == listType) {
        return listIndex(interp, value, index);
    }
    Tcl_Size length = 0;
    const char *p = Tcl_GetStringFromObj(value, &length);
    const char *const limit = p + length;
    ListElement el;
    switch (findElement(p, limit, index, el)) {
    case ListScan::element:
        break;
    case ListScan::end:
        return TCL_OK; /* past the end: empty */
    case ListScan::syntaxError:
        return listSyntaxError(interp, el, limit);
    }
    std::string_view text(el.start, static_cast<size_t>(el.end - el.start));
    if (el.literal) {
        setResult(interp, text);
    } else {
        setResult(interp, unescapedText(text));
    }
    return TCL_OK;
}

/*
 * chmodCmd --
 *   "chmod filename mode": sets the permission bits of filename, taken as
 *   written (no tilde expansion), to the octal mode (digits, 0o prefix
 *   allowed). Words beyond the mode are ignored.
 * Results: empty on success. TCL_ERROR with "can't chmod PATH" when the
 *   system refuses, or naming the mode when it is no octal mode from 0 to
 *   7777, in which case the file is not touched.
 * Side effects: the file's permission bits.
 */
int chmodCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc <= 2) {
        return usage(interp, objv[0], "filename mode");
    }
    std::string_view path = wordView(objv[1]);
    std::string_view modeWord = wordView(objv[2]);
    std::int64_t mode = chmodMode(modeWord);
    if (mode < 0) {
        badWord(interp, "mode", modeWord, "must be an octal number from 0 to 7777");
        return setErrorCode(interp, "CHMOD", "BAD_MODE", {modeWord});
    }
    if (int err = changeMode(path, static_cast<int>(mode)); err != 0) {
        setResult(interp, std::string("can't chmod ").append(path));
        return setPosixErrorCode(interp, err);
    }
    return TCL_OK;
}

/*
 * deleteProcCmd --
 *   "deleteProc name": deletes the command name, whatever implements it.
 *   Words beyond the name are ignored.
 * Results: TCL_OK, or TCL_ERROR when there is no such command; the result
 *   is empty either way.
 * Side effects: the command is gone, its delete traces have run.
 */
int deleteProcCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc <= 1) {
        /* "integer" though the word is a name: the text scripts know. */
        return usage(interp, objv[0], "integer");
    }
    return deleteCommand(interp, Tcl_GetString(objv[1]));
}

} // namespace zks

/*
 * deleteProcCmd --
 *   The string-based form of deleteProc, for hosts that call it by name.
 */
int deleteProcCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc <= 1) {
        return zks::usage(interp, argv[0], "integer");
    }
    return zks::deleteCommand(interp, argv[1]);
}
