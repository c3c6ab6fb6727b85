/*
 * utils.cpp --
 *   Script utilities:
 *     loop        a counting loop
 *     rlindex     one element of a list held in a variable
 *     chmod       the permission bits of a file
 *     deleteProc  removal of a command
 */
#include "zksInt.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <string>
#include <string_view>

namespace zks {
namespace {

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
    while (p < limit && isSpace(*p)) {
        ++p;
    }
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
 *   Fails for the faulty element el, whose scan stopped at p, in Tcl's own
 *   words: its message names at most 20 bytes after the closing brace or
 *   quote, so that much of the element is parsed again as a list of its own.
 * Results: TCL_ERROR, with Tcl's message and errorCode.
 */
int listSyntaxError(Tcl_Interp *interp, const ListElement &el, const char *p, const char *limit)
{
    const char *stop = limit - p > 20 ? p + 20 : limit;
    HeldObj faulty(Tcl_NewStringObj(el.open, static_cast<Tcl_Size>(stop - el.open)));
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
        while (q < end && *q != '\\') {
            ++q;
        }
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
long chmodMode(std::string_view text)
{
    std::size_t i = 0;
    std::size_t end = text.size();
    while (i < end && isSpace(text[i])) {
        ++i;
    }
    while (end > i && isSpace(text[end - 1])) {
        --end;
    }
    if (end - i > 2 && text[i] == '0' && (text[i + 1] == 'o' || text[i + 1] == 'O')) {
        i += 2;
    }
    if (i == end) {
        return -1;
    }
    long mode = 0;
    for (; i < end; ++i) {
        if (text[i] < '0' || text[i] > '7') {
            return -1;
        }
        mode = mode * 8 + (text[i] - '0');
        if (mode > 07777) {
            return -1;
        }
    }
    return mode;
}

/*
 * readIndex --
 *   Reads rlindex's index as Tcl_GetIntFromObj does. An index is read on
 *   every call, mostly a small literal: the long form answers that from the
 *   word's integer at half the cost; anything else is left to
 *   Tcl_GetIntFromObj, for its values and its messages.
 */
int readIndex(Tcl_Interp *interp, Tcl_Obj *word, int *index)
{
    long value = 0;
    if (Tcl_GetLongFromObj(nullptr, word, &value) == TCL_OK && value >= INT_MIN
        && value <= INT_MAX) {
        *index = static_cast<int>(value);
        return TCL_OK;
    }
    return Tcl_GetIntFromObj(interp, word, index);
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

/*
 *----------------------------------------------------------------------
 * The loop command's state between iterations.
 *
 * The body runs through Tcl's non-recursive engine: each iteration ends in
 * a callback that starts the next, so no C stack is held while the body
 * runs, and the body may yield from a coroutine or tailcall.
 *----------------------------------------------------------------------
 */

struct LoopState {
    Tcl_Obj *name;    /* the loop variable's name word, held */
    Tcl_Obj *body;    /* the body word itself, held: its bytecode is kept */
    Tcl_Obj *value;   /* the last counter value set, held; reused when unshared */
    long counter;
    long limit;
    long incr;
};

static_assert(sizeof(long) == 8, "the loop counter is a signed 64-bit long");

/*
 * The types Tcl gives a small integer and a double. Tcl 9 registers neither
 * under a name, so they are taken from sample values.
 */
const Tcl_ObjType *typeOf(Tcl_Obj *sample)
{
    HeldObj held(sample);
    return held.get()->typePtr;
}

const Tcl_ObjType *intType()
{
    static const Tcl_ObjType *const type = typeOf(Tcl_NewWideIntObj(0));
    return type;
}

const Tcl_ObjType *doubleType()
{
    static const Tcl_ObjType *const type = typeOf(Tcl_NewDoubleObj(0.5));
    return type;
}

/* Tcl's own error for a number that does not fit the counter. */
int tooLarge(Tcl_Interp *interp)
{
    static const char msg[] = "integer value too large to represent";
    setResult(interp, msg);
    Tcl_SetErrorCode(interp, "ARITH", "IOVERFLOW", msg, nullptr);
    return TCL_ERROR;
}

/*
 * boundValue --
 *   The value of a bound's expression as the counter takes it: an integer
 *   from -2^63 to 2^63-1 as it is, a double in that range truncated.
 *   Tcl_GetLongFromObj and Tcl_ExprLongObj would wrap an integer up to 2^64-1,
 *   or a double truncated to one, into the range instead of refusing it.
 * Results: TCL_OK, or TCL_ERROR with Tcl's message for a value out of range,
 *   NaN, or no number at all.
 */
int boundValue(Tcl_Interp *interp, Tcl_Obj *result, long *value)
{
    Tcl_WideInt wide = 0;
    if (Tcl_GetWideIntFromObj(nullptr, result, &wide) == TCL_OK && result->typePtr == intType()) {
        *value = static_cast<long>(wide);
        return TCL_OK;
    }
    double d = 0;
    if (Tcl_GetDoubleFromObj(interp, result, &d) != TCL_OK) {
        /*
         * Tcl's message for a value that is no number, in expr's words; Tcl 9
         * sets no errorCode for an empty list.
         */
        static const std::string_view asked = "expected floating-point number";
        std::string msg = Tcl_GetString(Tcl_GetObjResult(interp));
        if (msg.compare(0, asked.size(), asked) == 0) {
            msg.replace(0, asked.size(), "expected number");
            setResult(interp, msg);
        }
        Tcl_SetErrorCode(interp, "TCL", "VALUE", "NUMBER", nullptr);
        return TCL_ERROR;
    }
    if (result->typePtr != doubleType()) {
        return tooLarge(interp); /* an integer: any other type is a bignum */
    }
    if (std::isnan(d)) {
        static const char msg[] = "domain error: argument not in valid range";
        setResult(interp, msg);
        Tcl_SetErrorCode(interp, "ARITH", "DOMAIN", msg, nullptr);
        return TCL_ERROR;
    }
    if (!(d >= -0x1p63 && d < 0x1p63)) {
        return tooLarge(interp);
    }
    *value = static_cast<long>(d);
    return TCL_OK;
}

/*
 * evalBound --
 *   Reads a bound word that is not a plain integer of the counter's range:
 *   the empty word as 0, anything else as an expression, whose compiled
 *   form stays cached in the word for the next call. A break or continue in
 *   the expression has no loop to act on yet and is an error, as in a
 *   procedure body; return and other codes are passed on, as expr passes
 *   them. Kept out of line: readBound's plain integers need none of its
 *   stack.
 */
[[gnu::noinline]] int evalBound(Tcl_Interp *interp, Tcl_Obj *word, long *value)
{
    Tcl_Size length = 0;
    Tcl_GetStringFromObj(word, &length);
    if (length == 0) {
        *value = 0;
        return TCL_OK;
    }
    Tcl_Obj *result = nullptr;
    int code = Tcl_ExprObj(interp, word, &result);
    switch (code) {
    case TCL_OK: {
        int status = boundValue(interp, result, value);
        Tcl_DecrRefCount(result);
        return status;
    }
    case TCL_BREAK:
    case TCL_CONTINUE:
        setResult(interp, code == TCL_BREAK ? "invoked \"break\" outside of a loop"
                                            : "invoked \"continue\" outside of a loop");
        Tcl_SetErrorCode(interp, "TCL", "RESULT", "UNEXPECTED", nullptr);
        return TCL_ERROR;
    default:
        return code;
    }
}

/*
 * readBound --
 *   Reads a bound word: a plain integer directly, anything else through
 *   evalBound. An integer too wide for a long is a bignum, which
 *   Tcl_GetLongFromObj may have wrapped into the range: it goes to evalBound
 *   too, for its error.
 */
int readBound(Tcl_Interp *interp, Tcl_Obj *word, long *value)
{
    static const Tcl_ObjType *const plainInt = intType(); /* tested inline: no call per bound */
    if (Tcl_GetLongFromObj(nullptr, word, value) == TCL_OK && word->typePtr == plainInt) {
        return TCL_OK;
    }
    return evalBound(interp, word, value);
}

/* Sets the loop variable to the counter. */
int setCounter(Tcl_Interp *interp, LoopState *loop)
{
    if (loop->value != nullptr && !Tcl_IsShared(loop->value)) {
        Tcl_SetWideIntObj(loop->value, loop->counter);
    } else {
        if (loop->value != nullptr) {
            Tcl_DecrRefCount(loop->value);
        }
#if TCL_MAJOR_VERSION >= 9
        loop->value = Tcl_NewWideIntObj(loop->counter);
#else
        loop->value = Tcl_NewLongObj(loop->counter); /* half the work of the wide form */
#endif
        Tcl_IncrRefCount(loop->value);
    }
    return Tcl_ObjSetVar2(interp, loop->name, nullptr, loop->value, TCL_LEAVE_ERR_MSG) != nullptr
        ? TCL_OK : TCL_ERROR;
}

void freeLoop(LoopState *loop)
{
    Tcl_DecrRefCount(loop->name);
    Tcl_DecrRefCount(loop->body);
    if (loop->value != nullptr) {
        Tcl_DecrRefCount(loop->value);
    }
    Tcl_Free(reinterpret_cast<char *>(loop));
    endCall();
}

/* Ends the loop: the final assignment, then the code kept from the iterations. */
int endLoop(Tcl_Interp *interp, LoopState *loop, int code)
{
    if (setCounter(interp, loop) != TCL_OK) {
        code = TCL_ERROR;
    }
    freeLoop(loop);
    return code;
}

Tcl_NRPostProc loopBodyDone;

/*
 * nextIteration --
 *   Runs the body for the counter's value if the test lets it, else ends
 *   the loop.
 */
int nextIteration(Tcl_Interp *interp, LoopState *loop)
{
    if (loop->incr >= 0 ? loop->counter >= loop->limit : loop->counter <= loop->limit) {
        return endLoop(interp, loop, TCL_OK);
    }
    if (setCounter(interp, loop) != TCL_OK) {
        freeLoop(loop); /* no final assignment after a failed one */
        return TCL_ERROR;
    }
    Tcl_NRAddCallback(interp, loopBodyDone, loop, nullptr, nullptr, nullptr);
    return Tcl_NREvalObj(interp, loop->body, 0);
}

/*
 * loopBodyDone --
 *   Called with the body's code after each iteration: goes on, or ends the
 *   loop with the code the body's code calls for.
 */
int loopBodyDone(ClientData data[], Tcl_Interp *interp, int code)
{
    LoopState *loop = static_cast<LoopState *>(data[0]);
    switch (code) {
    case TCL_OK:
    case TCL_CONTINUE:
    {
        long next = 0;
        if (__builtin_add_overflow(loop->counter, loop->incr, &next)) {
            /* A step past the range of a long: the counter keeps the last value run. */
            return endLoop(interp, loop, TCL_OK);
        }
        loop->counter = next;
        return nextIteration(interp, loop);
    }
    case TCL_BREAK:
        return endLoop(interp, loop, TCL_OK);
    case TCL_ERROR: {
        std::string info = "\n    (\"loop\" body line ";
        info += std::to_string(Tcl_GetErrorLine(interp));
        info += ')';
        Tcl_AddErrorInfo(interp, info.c_str());
        return endLoop(interp, loop, TCL_ERROR);
    }
    default:
        return endLoop(interp, loop, code);
    }
}

} // namespace

/*
 * loopNRCmd --
 *   "loop var first limit ?incr? command": runs command once for each counter
 *   value from first towards limit (excluded) in steps of incr (default 1;
 *   zero counts as upward). The bounds are integer expressions, evaluated in
 *   that order, each a value from -2^63 to 2^63-1, which is the range of the
 *   counter. The counter is the command's own: var receives it before
 *   every iteration and once more at the end, and changes to var do not
 *   steer it. A step that would carry the counter past the range of a long
 *   ends the loop instead, var keeping the last value that ran.
 * Results: TCL_OK when the test or a break ends the loop; an error, return
 *   or other code of the body is passed on, errors with the body line added
 *   to the error information. The result is what the body's last evaluation
 *   left, empty when no iteration ran. A bound out of range, or one whose
 *   expression breaks or continues, is an error; a return or other code
 *   from a bound is passed on.
 * Side effects: sets var; whatever the bounds and the body do.
 */
int loopNRCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc != 5 && objc != 6) {
        return usage(interp, objv[0], "var first limit ?incr? command");
    }
    long first = 0;
    long limit = 0;
    long incr = 1;
    int code = readBound(interp, objv[2], &first);
    if (code == TCL_OK) {
        code = readBound(interp, objv[3], &limit);
    }
    if (code == TCL_OK && objc == 6) {
        code = readBound(interp, objv[4], &incr);
    }
    if (code != TCL_OK) {
        return code;
    }
    if (incr >= 0 ? first >= limit : first <= limit) {
        Tcl_ResetResult(interp); /* no body runs: the result the expressions leave */
    }

    beginCall(); /* until freeLoop */
    LoopState *loop = reinterpret_cast<LoopState *>(Tcl_Alloc(sizeof(LoopState)));
    *loop = LoopState{objv[1], objv[objc - 1], nullptr, first, limit, incr};
    Tcl_IncrRefCount(loop->name);
    Tcl_IncrRefCount(loop->body);
    return nextIteration(interp, loop);
}

/*
 * loopCmd --
 *   The loop command called from a caller that does not run commands
 *   through the non-recursive engine (Tcl_EvalObjv and the like).
 * Results and side effects: those of loopNRCmd.
 */
int loopCmd(ClientData clientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
#if TCL_MAJOR_VERSION >= 9
    return Tcl_NRCallObjProc2(interp, loopNRCmd, clientData, objc, objv);
#else
    return Tcl_NRCallObjProc(interp, loopNRCmd, clientData, objc, objv);
#endif
}

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
        return listSyntaxError(interp, el, p, limit);
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
    const char *path = Tcl_GetString(objv[1]);
    std::string_view modeWord = wordView(objv[2]);
    std::string nativePath;
    bool named = toSystemPath(wordView(objv[1]), nativePath);
    long mode = chmodMode(modeWord);
    if (mode < 0) {
        badWord(interp, "mode", modeWord, "must be an octal number from 0 to 7777");
        return setErrorCode(interp, "CHMOD", "BAD_MODE", {modeWord});
    }
    if (!named || ::chmod(nativePath.c_str(), static_cast<mode_t>(mode)) != 0) {
        int err = named ? errno : EINVAL;
        setResult(interp, std::string("can't chmod ") + path);
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
