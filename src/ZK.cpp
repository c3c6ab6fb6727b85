/*
 * ZK.cpp --
 *   Zk_Init, the entry point of the utility commands: the command table, the
 *   preload of the platform libraries, the safe-interpreter entry points and
 *   unloading, for both packages (Zks_Init itself is in zks.cpp, beside
 *   readZKS). The commands live in codecs.cpp, values.cpp and utils.cpp.
 */
#include "zksInt.h"

#include <dlfcn.h>


namespace {

/* The utility commands, in creation order. */
struct UtilityCommand {
    const char *name;
    zks::ObjCmdProc *proc;
    zks::ObjCmdProc *nreProc; /* for a command that runs scripts non-recursively */
    bool safe;                /* touches no file, host or process state */
};
constexpr UtilityCommand utilityCommands[] = {
    {"rlindex", zks::rlindexCmd, nullptr, true},
    {"loop", zks::loopCmd, zks::loopNRCmd, true},
    {"timeticks", zks::timeticksCmd, nullptr, true},
    {"getIPAddr", zks::getIPAddrCmd, nullptr, false},
    {"getIPHost", zks::getIPHostCmd, nullptr, false},
    {"bit", zks::bitCmd, nullptr, true},
    {"port", zks::portCmd, nullptr, true},
    {"chmod", zks::chmodCmd, nullptr, false},
    {"dec2hex", zks::dec2hexCmd, nullptr, true},
    {"hex2dec", zks::hex2decCmd, nullptr, true},
    {"ipmShowIpAddr", zks::ipmShowIpAddrCmd, nullptr, true},
    {"idList", zks::idListCmd, nullptr, true},
    {"deleteProc", zks::deleteProcCmd, nullptr, true},
};

/* Platform libraries whose symbols later loads in the process may need. */
constexpr const char *preloads[] = {
    "/opt/QX/lib/libqxsnmp.so.1",
    "/opt/QX/lib/libqx.so.1",
};

/*
 *----------------------------------------------------------------------
 * The commands the library has made in an interpreter, so that unloading
 * removes exactly those, renamed ones included, and nothing of the
 * script's. Each command's client data is its record; deleting the command
 * unlinks the record. The registry lives while the interpreter or one of
 * its records does.
 *----------------------------------------------------------------------
 */

constexpr const char *registryKey = "zks::commands";

struct Registry;

struct CommandRecord {
    Registry *owner;
    Tcl_Command token;
    CommandRecord *prev;
    CommandRecord *next;
};

struct Registry {
    CommandRecord *first;
    int refs; /* the interpreter's, and one per record */
};

void releaseRegistry(Registry *registry)
{
    if (--registry->refs == 0) {
        Tcl_Free(reinterpret_cast<char *>(registry));
    }
}

void registryDeleted(ClientData clientData, Tcl_Interp *)
{
    releaseRegistry(static_cast<Registry *>(clientData));
}

Registry *registryOf(Tcl_Interp *interp)
{
    auto *registry = static_cast<Registry *>(Tcl_GetAssocData(interp, registryKey, nullptr));
    if (registry == nullptr) {
        registry = reinterpret_cast<Registry *>(Tcl_Alloc(sizeof(Registry)));
        *registry = Registry{nullptr, 1};
        Tcl_SetAssocData(interp, registryKey, registryDeleted, registry);
    }
    return registry;
}

/* The delete procedure of every command of the library. */
void forgetCommand(ClientData clientData)
{
    auto *record = static_cast<CommandRecord *>(clientData);
    Registry *registry = record->owner;
    if (record->prev != nullptr) {
        record->prev->next = record->next;
    } else {
        registry->first = record->next;
    }
    if (record->next != nullptr) {
        record->next->prev = record->prev;
    }
    Tcl_Free(reinterpret_cast<char *>(record));
    releaseRegistry(registry);
}

/*
 * deleteLibraryCommands --
 *   Deletes every command the library made in interp, under whatever name
 *   it has now. Names are taken first: a delete trace may run any script.
 */
void deleteLibraryCommands(Tcl_Interp *interp)
{
    auto *registry = static_cast<Registry *>(Tcl_GetAssocData(interp, registryKey, nullptr));
    if (registry == nullptr) {
        return;
    }
    Tcl_Obj *names = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(names);
    for (CommandRecord *record = registry->first; record != nullptr; record = record->next) {
        Tcl_Obj *name = Tcl_NewObj();
        Tcl_GetCommandFullName(interp, record->token, name);
        Tcl_ListObjAppendElement(nullptr, names, name);
    }
    Tcl_Size count = 0;
    Tcl_Obj **elements = nullptr;
    Tcl_ListObjGetElements(nullptr, names, &count, &elements);
    for (Tcl_Size i = 0; i < count; ++i) {
        const char *name = Tcl_GetString(elements[i]);
        Tcl_CmdInfo info;
        if (Tcl_GetCommandInfo(interp, name, &info) && info.deleteProc == forgetCommand) {
            Tcl_DeleteCommand(interp, name);
        }
    }
    Tcl_DecrRefCount(names);
}

/*
 * Calls under way whose code must stay mapped until they return: the loops
 * between iterations, and readZKS and port while they run scripts. Only the
 * thread of the last interpreter that holds the library can be running one
 * when the library is to leave the process, so a count per thread will do.
 */
thread_local int callsUnderWay = 0;

/*
 * createUtilityCommands --
 *   The common part of Zk_Init and Zk_SafeInit: the utility commands (only
 *   the safe ones for a safe interpreter), in table order.
 */
int createUtilityCommands(Tcl_Interp *interp, bool safeOnly)
{
    /* A host may call the entry points alone, so each sets up the stubs. */
    if (Tcl_InitStubs(interp, "8.6-", 0) == nullptr) {
        return TCL_ERROR;
    }
    for (const UtilityCommand &c : utilityCommands) {
        if (c.safe || !safeOnly) {
            zks::createCommand(interp, c.name, c.proc, c.nreProc);
        }
    }
    return TCL_OK;
}

/*
 * unloadCommands --
 *   The unload procedure of both packages, trusted and safe: deletes the
 *   library's commands in interp. The library's code must outlive every
 *   call under way, so leaving the process is refused while one is.
 */
int unloadCommands(Tcl_Interp *interp, int flags)
{
    if (flags == TCL_UNLOAD_DETACH_FROM_PROCESS && callsUnderWay != 0) {
        zks::setResult(interp, "zks: can't unload while a command of the library is running");
        Tcl_SetErrorCode(interp, "ZKS", "UNLOAD", "BUSY", nullptr);
        return TCL_ERROR;
    }
    deleteLibraryCommands(interp);
    return TCL_OK;
}

} // namespace

Tcl_Command zks::createCommand(Tcl_Interp *interp, const char *name, ObjCmdProc *proc,
    ObjCmdProc *nreProc)
{
    Registry *registry = registryOf(interp);
    auto *record = reinterpret_cast<CommandRecord *>(Tcl_Alloc(sizeof(CommandRecord)));
    *record = CommandRecord{registry, nullptr, nullptr, nullptr};
    /* Created first: a namesake of the library's is unlinked as it is replaced. */
#if TCL_MAJOR_VERSION >= 9
    record->token = nreProc != nullptr
        ? Tcl_NRCreateCommand2(interp, name, proc, nreProc, record, forgetCommand)
        : Tcl_CreateObjCommand2(interp, name, proc, record, forgetCommand);
#else
    record->token = nreProc != nullptr
        ? Tcl_NRCreateCommand(interp, name, proc, nreProc, record, forgetCommand)
        : Tcl_CreateObjCommand(interp, name, proc, record, forgetCommand);
#endif
    record->next = registry->first;
    if (registry->first != nullptr) {
        registry->first->prev = record;
    }
    registry->first = record;
    ++registry->refs;
    return record->token;
}

void zks::beginCall()
{
    ++callsUnderWay;
}

void zks::endCall()
{
    --callsUnderWay;
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
    if (createUtilityCommands(interp, false) != TCL_OK) {
        return TCL_ERROR;
    }
    for (const char *path : preloads) {
        dlopen(path, RTLD_LAZY | RTLD_GLOBAL); /* the handle stays with the loader */
    }
    return TCL_OK;
}

/*
 * Zk_SafeInit --
 *   Zk_Init for a safe interpreter: only the commands that touch no file,
 *   host or process state outside the interpreter (no chmod, getIPAddr,
 *   getIPHost), and no preloads. A master may alias the others in.
 * Results: as Zk_Init. Side effects: ten commands.
 */
int Zk_SafeInit(Tcl_Interp *interp)
{
    return createUtilityCommands(interp, true);
}

/*
 * Zk_Unload, Zk_SafeUnload --
 *   Delete every command the library made in the interpreter; the preloaded
 *   libraries stay. Results: TCL_OK, or TCL_ERROR when the library is to
 *   leave the process while one of its commands is still running.
 */
int Zk_Unload(Tcl_Interp *interp, int flags)
{
    return unloadCommands(interp, flags);
}

int Zk_SafeUnload(Tcl_Interp *interp, int flags)
{
    return unloadCommands(interp, flags);
}

/*
 * Zks_SafeInit --
 *   Zks_Init (zks.cpp) for a safe interpreter: readZKS reads files and
 *   sources scripts, so a safe interpreter gets only Zk_SafeInit's commands.
 * Results: what Zk_SafeInit returns.
 */
int Zks_SafeInit(Tcl_Interp *interp)
{
    return Zk_SafeInit(interp);
}

/*
 * Zks_Unload, Zks_SafeUnload --
 *   Delete every command the library made in the interpreter, readZKS
 *   included. Results: as Zk_Unload.
 */
int Zks_Unload(Tcl_Interp *interp, int flags)
{
    return Zk_Unload(interp, flags);
}

int Zks_SafeUnload(Tcl_Interp *interp, int flags)
{
    return Zk_SafeUnload(interp, flags);
}
