/*
 * messages.cpp --
 *   The messages and errorCodes that every command group builds: the usage
 *   message, "bad X" messages, and errorCode lists. No commands.
 */
#include "zksInt.h"

namespace zks {

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

namespace {

/* 'bad KIND "WORD"', the start of both forms of the message. */
std::string badWordStart(const char *kind, std::string_view word)
{
    std::string msg = "bad ";
    msg += kind;
    msg += " \"";
    msg.append(word);
    msg += '"';
    return msg;
}

} // namespace

int badWord(Tcl_Interp *interp, const char *kind, std::string_view word,
    std::string_view argument, const char *reason)
{
    std::string msg = badWordStart(kind, word);
    msg += " in \"";
    msg.append(argument);
    msg += "\": ";
    msg += reason;
    setResult(interp, msg);
    return TCL_ERROR;
}

int badWord(Tcl_Interp *interp, const char *kind, std::string_view word, const char *reason)
{
    std::string msg = badWordStart(kind, word);
    msg += ": ";
    msg += reason;
    setResult(interp, msg);
    return TCL_ERROR;
}

} // namespace zks
