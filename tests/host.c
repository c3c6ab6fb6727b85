/*
 * host.c --
 *   A C program that embeds Tcl as a host would and uses the library
 *   through its public header: it loads the module named on its command
 *   line, finds the entry points and the three exported command procedures
 *   by name, with the types zks.h declares, and calls them with string
 *   words. Prints each failed check and exits non-zero if there was one.
 *
 *     host LIBRARY
 */
#include <stdio.h>
#include <string.h>

#include <tcl.h>

#include "zks.h"

/* The module opened and its symbols found as the system's loader does it. */
#ifdef _WIN32
#include <windows.h>
static void *openModule(const char *path) { return (void *)LoadLibraryA(path); }
static void *symbol(void *module, const char *name)
{
    return (void *)GetProcAddress((HMODULE)module, name);
}
static const char *openError(void) { return "LoadLibrary failed"; }
#else
#include <dlfcn.h>
static void *openModule(const char *path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static void *symbol(void *module, const char *name) { return dlsym(module, name); }
static const char *openError(void) { return dlerror(); }
#endif

static int failures = 0;

/*
 * check --
 *   Compares a call's code and result with the expected ones.
 * Side effects: prints a line for a mismatch and counts it.
 */
static void check(const char *what, Tcl_Interp *interp, int code, int wantCode,
    const char *wantResult)
{
    const char *result = Tcl_GetStringResult(interp);
    if (code != wantCode || strcmp(result, wantResult) != 0) {
        printf("FAILED %s: code %d, result \"%s\"; expected %d, \"%s\"\n", what, code, result,
            wantCode, wantResult);
        ++failures;
    }
}

/* Compares the errorCode a failed call left with the expected one. */
static void checkErrorCode(const char *what, Tcl_Interp *interp, const char *want)
{
    Tcl_Obj *options = Tcl_GetReturnOptions(interp, TCL_ERROR);
    Tcl_Obj *key = Tcl_NewStringObj("-errorcode", -1);
    Tcl_Obj *code = NULL;
    Tcl_IncrRefCount(options);
    Tcl_IncrRefCount(key);
    Tcl_DictObjGet(NULL, options, key, &code);
    if (code == NULL || strcmp(Tcl_GetString(code), want) != 0) {
        printf("FAILED %s: \"%s\"; expected \"%s\"\n", what,
            code == NULL ? "" : Tcl_GetString(code), want);
        ++failures;
    }
    Tcl_DecrRefCount(key);
    Tcl_DecrRefCount(options);
}

/* Calls a string-based command procedure as Tcl would, argv ending in NULL. */
static int call(Tcl_CmdProc *proc, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tcl_ResetResult(interp);
    return proc(NULL, interp, argc, argv);
}

/* The address of a symbol of the library, converted to the type the header declares. */
#define FIND(library, name) ((__typeof__(&name)) symbol(library, #name))

int main(int argc, char *argv[])
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s library\n", argv[0]);
        return 2;
    }
    void *library = openModule(argv[1]);
    if (library == NULL) {
        fprintf(stderr, "%s: %s\n", argv[1], openError());
        return 2;
    }

    /* Every entry point the header declares is exported. */
    const char *entryPoints[] = {"Zks_Init", "Zks_SafeInit", "Zks_Unload", "Zks_SafeUnload",
        "Zk_Init", "Zk_SafeInit", "Zk_Unload", "Zk_SafeUnload"};
    for (size_t i = 0; i < sizeof entryPoints / sizeof entryPoints[0]; ++i) {
        if (symbol(library, entryPoints[i]) == NULL) {
            printf("FAILED %s not found\n", entryPoints[i]);
            ++failures;
        }
    }
    __typeof__(&Zk_Init) init = FIND(library, Zk_Init);
    __typeof__(&Zk_Unload) unload = FIND(library, Zk_Unload);
    Tcl_CmdProc *getIPAddr = FIND(library, getIPAddrCmd);
    Tcl_CmdProc *getIPHost = FIND(library, getIPHostCmd);
    Tcl_CmdProc *deleteProc = FIND(library, deleteProcCmd);
    if (init == NULL || unload == NULL || getIPAddr == NULL || getIPHost == NULL
        || deleteProc == NULL) {
        printf("FAILED a command procedure not found\n");
        return 1;
    }

    Tcl_FindExecutable(argv[0]);
    Tcl_Interp *interp = Tcl_CreateInterp();

    /* Zk_Init sets up the stubs that the command procedures use. */
    check("Zk_Init", interp, init(interp), TCL_OK, "");
    check("a command Zk_Init made", interp, Tcl_Eval(interp, "idList parse 5"), TCL_OK,
        "00:05");

    const char *addr[] = {"getIPAddr", "10.1.2.3", NULL};
    check("getIPAddrCmd of an address", interp, call(getIPAddr, interp, 2, addr), TCL_OK,
        "10.1.2.3");
    check("getIPAddrCmd without an argument", interp, call(getIPAddr, interp, 1, addr),
        TCL_ERROR, "wrong # args: getIPAddr string");

    const char *host[] = {"getIPHost", "router", NULL};
    check("getIPHostCmd of no address", interp, call(getIPHost, interp, 2, host), TCL_ERROR,
        "IP-address must be of the form a.b.c.d");
    checkErrorCode("getIPHostCmd's errorCode", interp, "ZKS GETIPHOST BAD_ADDRESS router");
    check("getIPHostCmd without an argument", interp, call(getIPHost, interp, 1, host),
        TCL_ERROR, "wrong # args: getIPHost string");

    const char *del[] = {"deleteProc", "victim", NULL};
    Tcl_Eval(interp, "proc victim {} {}");
    check("deleteProcCmd of a procedure", interp, call(deleteProc, interp, 2, del), TCL_OK, "");
    check("the procedure is gone", interp, Tcl_Eval(interp, "info commands victim"), TCL_OK,
        "");
    check("deleteProcCmd of no command", interp, call(deleteProc, interp, 2, del), TCL_ERROR,
        "");
    check("deleteProcCmd without an argument", interp, call(deleteProc, interp, 1, del),
        TCL_ERROR, "wrong # args: deleteProc integer");

    Tcl_ResetResult(interp);
    check("Zk_Unload", interp, unload(interp, TCL_UNLOAD_DETACH_FROM_INTERPRETER), TCL_OK, "");
    check("no command after Zk_Unload", interp, Tcl_Eval(interp, "info commands idList"),
        TCL_OK, "");

    /* The library stays mapped: deleting the interpreter runs its clean-up code. */
    Tcl_DeleteInterp(interp);
    if (failures == 0) {
        printf("host: all checks passed\n");
    }
    return failures == 0 ? 0 : 1;
}
