/*
 * loop.cpp --
 *   The loop command: a counting loop whose body runs through Tcl's
 *   non-recursive engine, and the reading of its bounds.
 */
#include "zksInt.h"

#include <cmath>
#include <string>

namespace zks {
namespace {

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
    Tcl_WideInt counter;
    Tcl_WideInt limit;
    Tcl_WideInt incr;
};

/*
 * The types Tcl gives a small integer, an integer too wide for a long, and a
 * double. Tcl 9 registers none under a name, so they are taken from sample
 * values. Only Tcl 8.6 with a 32-bit long gives the second a type of its
 * own ("wideInt"); elsewhere it is the first.
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

const Tcl_ObjType *wideType()
{
    static const Tcl_ObjType *const type = typeOf(Tcl_NewWideIntObj(INT64_MAX));
    return type;
}

/* An integer of the counter's range, not a bignum that Tcl would wrap into it. */
bool counterType(const Tcl_ObjType *type)
{
    return type == intType() || type == wideType();
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
 *   Tcl_GetWideIntFromObj alone would refuse every double, and Tcl
 *   8.6's would wrap an integer up to 2^64-1 into the range instead of
 *   refusing it.
 * Results: TCL_OK, or TCL_ERROR with Tcl's message for a value out of range,
 *   NaN, or no number at all.
 */
int boundValue(Tcl_Interp *interp, Tcl_Obj *result, Tcl_WideInt *value)
{
    if (Tcl_GetWideIntFromObj(nullptr, result, value) == TCL_OK && counterType(result->typePtr)) {
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
    /* Checked before the conversion, which is undefined out of range. */
    if (!(d >= -0x1p63 && d < 0x1p63)) {
        return tooLarge(interp);
    }
    *value = static_cast<Tcl_WideInt>(d);
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
[[gnu::noinline]] int evalBound(Tcl_Interp *interp, Tcl_Obj *word, Tcl_WideInt *value)
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
 *   evalBound. An integer beyond 64 bits is a bignum, which
 *   Tcl_GetWideIntFromObj may have wrapped into the range: it goes to
 *   evalBound too, for its error.
 */
int readBound(Tcl_Interp *interp, Tcl_Obj *word, Tcl_WideInt *value)
{
    /* Tested inline: no call per bound. */
    static const Tcl_ObjType *const plainInt = intType();
    static const Tcl_ObjType *const wideInt = wideType();
    if (Tcl_GetWideIntFromObj(nullptr, word, value) == TCL_OK
        && (word->typePtr == plainInt || word->typePtr == wideInt)) {
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
        loop->value = Tcl_NewWideIntObj(loop->counter);
        Tcl_IncrRefCount(loop->value);
    }
    return Tcl_ObjSetVar2(interp, loop->name, nullptr, loop->value, TCL_LEAVE_ERR_MSG) != nullptr
        ? TCL_OK : TCL_ERROR;
}

/* Every path here has set the counter at least once, so value is held. */
void freeLoop(LoopState *loop)
{
    Tcl_DecrRefCount(loop->name);
    Tcl_DecrRefCount(loop->body);
    Tcl_DecrRefCount(loop->value);
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
        Tcl_WideInt next = 0;
        if (__builtin_add_overflow(loop->counter, loop->incr, &next)) {
            /* A step past 64 bits: the counter keeps the last value run. */
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
 *   steer it. A step that would carry the counter past that range ends the
 *   loop instead, var keeping the last value that ran.
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
    Tcl_WideInt first = 0;
    Tcl_WideInt limit = 0;
    Tcl_WideInt incr = 1;
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
    /* No reset: Tcl empties the result before a command, and bounds leave it so. */
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

} // namespace zks
