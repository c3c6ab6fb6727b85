/*
 * zksInt.h --
 *   What the reader (zks.cpp) and the utility commands (ZK.cpp) share: the
 *   export macro, the form of a command procedure, the usage message and the
 *   bit-set codec that the port codec builds on.
 */
#ifndef ZKS_INT_H
#define ZKS_INT_H

#include <tcl.h>

#include <string>
#include <string_view>

#define ZKS_EXPORT extern "C" __attribute__((visibility("default")))

/* The entry points. */
ZKS_EXPORT int Zks_Init(Tcl_Interp *interp);
ZKS_EXPORT int Zk_Init(Tcl_Interp *interp);

/*
 * Every command is string based: client data (always null here), the
 * interpreter, and the words as C strings, word 0 being the command name.
 */
#define ZKS_CMD_ARGS ClientData, Tcl_Interp *interp, int argc, const char *argv[]

/* The three command procedures that hosts may also call by name. */
ZKS_EXPORT int getIPAddrCmd(ZKS_CMD_ARGS);
ZKS_EXPORT int getIPHostCmd(ZKS_CMD_ARGS);
ZKS_EXPORT int deleteProcCmd(ZKS_CMD_ARGS);

namespace zks {

/*
 * usage --
 *   Sets "wrong # args: WORD0 TEXT" as the result and returns TCL_ERROR.
 *   The text is built whole, whatever the length of the command word.
 */
int usage(Tcl_Interp *interp, const char *word0, const char *text);

/*
 * White space as the C library's number readers and the specification
 * reader know it: the POSIX-locale space class, whatever locale the host
 * has set. Bytes above 127 (negative chars included) are never space.
 */
inline bool isSpace(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

/* Hands a text of any length to the interpreter as its result. */
inline void setResult(Tcl_Interp *interp, std::string_view text)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
}

} // namespace zks

#endif /* ZKS_INT_H */
