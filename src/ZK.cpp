/*
 * ZK.cpp --
 *   Zk_Init, the entry point of the utility commands: the command table and
 *   the preload of the platform libraries. The commands live in codecs.cpp,
 *   values.cpp and utils.cpp.
 */
#include "zksInt.h"

#include <dlfcn.h>

namespace {

/* The utility commands, in creation order. */
struct UtilityCommand {
    const char *name;
    zks::ObjCmdProc *proc;
};
constexpr UtilityCommand utilityCommands[] = {
    {"rlindex", zks::rlindexCmd},
    {"loop", zks::loopCmd},
    {"timeticks", zks::timeticksCmd},
    {"getIPAddr", zks::getIPAddrObjCmd},
    {"getIPHost", zks::getIPHostObjCmd},
    {"bit", zks::bitCmd},
    {"port", zks::portCmd},
    {"chmod", zks::chmodCmd},
    {"dec2hex", zks::dec2hexCmd},
    {"hex2dec", zks::hex2decCmd},
    {"ipmShowIpAddr", zks::ipmShowIpAddrCmd},
    {"idList", zks::idListCmd},
    {"deleteProc", zks::deleteProcObjCmd},
};

/* Platform libraries whose symbols later loads in the process may need. */
constexpr const char *preloads[] = {
    "/opt/QX/lib/libqxsnmp.so.1",
    "/opt/QX/lib/libqx.so.1",
};

} // namespace

Tcl_Command zks::createCommand(Tcl_Interp *interp, const char *name, ObjCmdProc *proc)
{
#if TCL_MAJOR_VERSION >= 9
    return Tcl_CreateObjCommand2(interp, name, proc, nullptr, nullptr);
#else
    return Tcl_CreateObjCommand(interp, name, proc, nullptr, nullptr);
#endif
}

/*
 * Zk_Init --
 *   Creates the utility commands, then preloads the platform libraries with
 *   global symbol visibility. Missing libraries are passed over silently.
 * Results: TCL_OK, or TCL_ERROR when the interpreter's Tcl is not one this
 *   library was built for.
 * Side effects: thirteen commands; two libraries in the process.
 */
int Zk_Init(Tcl_Interp *interp)
{
    /* A host may call Zk_Init alone, so it sets up the stubs itself too. */
    if (Tcl_InitStubs(interp, "8.6", 0) == nullptr) {
        return TCL_ERROR;
    }
    for (const UtilityCommand &c : utilityCommands) {
        zks::createCommand(interp, c.name, c.proc);
    }
    for (const char *path : preloads) {
        dlopen(path, RTLD_LAZY | RTLD_GLOBAL); /* the handle stays with the loader */
    }
    return TCL_OK;
}
