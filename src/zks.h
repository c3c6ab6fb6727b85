/*
 * zks.h --
 *   What a host program that embeds Tcl may call in the library, from C or
 *   C++: the entry points of the packages Zks and Zk, and the three command
 *   procedures exported by name. The library is a loadable module: a host
 *   normally loads it with Tcl's "load" or with dlopen (LoadLibrary on
 *   Windows), and finds these by name; the declarations give their types.
 */
#ifndef ZKS_H
#define ZKS_H

#include <tcl.h>

/*
 * Only the library's own build exports them (a DLL only what is marked for
 * export); hosts see plain declarations, as they find the names at run time.
 */
#if defined(BUILD_zks) && (defined(_WIN32) || defined(__CYGWIN__))
#   define ZKS_API __declspec(dllexport)
#elif defined(BUILD_zks)
#   define ZKS_API __attribute__((visibility("default")))
#else
#   define ZKS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The entry points, as Tcl's "load" calls them: Init for a trusted
 * interpreter, SafeInit for a safe one, Unload with Tcl's
 * TCL_UNLOAD_DETACH_FROM_INTERPRETER or TCL_UNLOAD_DETACH_FROM_PROCESS.
 * Each sets up the stubs itself, so a host may call one directly.
 */
ZKS_API int Zks_Init(Tcl_Interp *interp);
ZKS_API int Zks_SafeInit(Tcl_Interp *interp);
ZKS_API int Zks_Unload(Tcl_Interp *interp, int flags);
ZKS_API int Zks_SafeUnload(Tcl_Interp *interp, int flags);
ZKS_API int Zk_Init(Tcl_Interp *interp);
ZKS_API int Zk_SafeInit(Tcl_Interp *interp);
ZKS_API int Zk_Unload(Tcl_Interp *interp, int flags);
ZKS_API int Zk_SafeUnload(Tcl_Interp *interp, int flags);

/*
 * getIPAddr, getIPHost and deleteProc as string-based command procedures:
 * argv[0] is the command's name, argv[1] its argument, and the result and
 * errorCode are those of the commands. The stubs must be set up first, by
 * one of the Init entry points in some interpreter.
 */
ZKS_API Tcl_CmdProc getIPAddrCmd;
ZKS_API Tcl_CmdProc getIPHostCmd;
ZKS_API Tcl_CmdProc deleteProcCmd;

#ifdef __cplusplus
}
#endif

#endif /* ZKS_H */
