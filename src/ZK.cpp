/*
 * ZK.cpp --
 *   Zk_Init and the utility commands: bit sets and port lists, managed-value
 *   formats, script utilities, and address and number conversion.
 */
#include "zksInt.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

int zks::usage(Tcl_Interp *interp, const char *word0, const char *text)
{
    std::string msg = "wrong # args: ";
    msg += word0;
    msg += ' ';
    msg += text;
    setResult(interp, msg);
    return TCL_ERROR;
}

namespace {

using zks::setResult;
using zks::usage;

/*
 *----------------------------------------------------------------------
 * Bit sets and port lists: bit, port.
 *----------------------------------------------------------------------
 */

/*
 *----------------------------------------------------------------------
 * Managed-value formats: timeticks, idList.
 *----------------------------------------------------------------------
 */

/*
 *----------------------------------------------------------------------
 * Script utilities: loop, rlindex, chmod, deleteProc.
 *----------------------------------------------------------------------
 */

/*
 *----------------------------------------------------------------------
 * Address and number conversion: getIPAddr, getIPHost, hex2dec, dec2hex,
 * ipmShowIpAddr.
 *----------------------------------------------------------------------
 */

} // namespace

/*
 *----------------------------------------------------------------------
 * Initialisation.
 *----------------------------------------------------------------------
 */

namespace {

/* The utility commands, in creation order. */
struct UtilityCommand {
    const char *name;
    Tcl_CmdProc *proc;
};
const UtilityCommand utilityCommands[] = {
    {nullptr, nullptr}, /* end of table; commands are listed above this line */
};

/* Platform libraries whose symbols later loads in the process may need. */
const char *const preloads[] = {
    "/opt/QX/lib/libqxsnmp.so.1",
    "/opt/QX/lib/libqx.so.1",
};

} // namespace

/*
 * Zk_Init --
 *   Creates the utility commands, then preloads the platform libraries with
 *   global symbol visibility. Missing libraries are passed over silently.
 * Results: TCL_OK, or TCL_ERROR when the interpreter's Tcl is not 8.6.
 */
int Zk_Init(Tcl_Interp *interp)
{
    if (Tcl_InitStubs(interp, "8.6", 0) == nullptr) {
        return TCL_ERROR;
    }
    for (const UtilityCommand &c : utilityCommands) {
        if (c.name != nullptr) {
            Tcl_CreateCommand(interp, c.name, c.proc, nullptr, nullptr);
        }
    }
    for (const char *path : preloads) {
        dlopen(path, RTLD_LAZY | RTLD_GLOBAL); /* handle kept by the loader */
    }
    return TCL_OK;
}
