/*
 * init.cpp --
 *   Every entry point of both packages side by side (Zks_Init, Zk_Init, their
 *   safe forms and their unload procedures), the command table, the preload
 *   of the platform libraries, and the registry of the commands the library
 *   has made in each interpreter. The commands live in readZKS.cpp,
 *   codecs.cpp, values.cpp, loop.cpp and utils.cpp.
 */
#include "zksInt.h"
#include "platform.h"

#include <atomic>
#include <memory>
#include <mutex>

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

/*
 *----------------------------------------------------------------------
 * The commands the library has made in an interpreter, so that unloading
 * removes exactly those, renamed ones included, and nothing of the
 * script's. Each command's client data is its record; deleting the command
 * unlinks the record. The interpreter's assoc data, each record and an
 * unload under way hold the registry, which goes with the last of them.
 * Both come from the C++ heap, where the sanitizers and valgrind see them,
 * not from Tcl's allocator.
 *----------------------------------------------------------------------
 */

constexpr const char *registryKey = "zks::commands";

/*
 * Marks an interpreter the library was unloaded from. Tcl 8.6's loader
 * keeps its record of an interpreter after an unload that leaves the file
 * in the process, so it would take a second unload of that interpreter for
 * another holder going, and free its record of the file while others still
 * hold it. The mark's value is only ever compared with null.
 */
constexpr const char *unloadedKey = "zks::unloaded";
constexpr char unloadedMark = 1;

struct CommandRecord;

struct Registry {
    CommandRecord *first = nullptr;
    bool unloading = false; /* its commands are being deleted */
};

/* What the interpreter's assoc data holds. */
using RegistryRef = std::shared_ptr<Registry>;

struct CommandRecord {
    RegistryRef owner;
    Tcl_Command token = nullptr;
    bool dying = false; /* an unload is deleting its command */
    CommandRecord *prev = nullptr;
    CommandRecord *next = nullptr;
};

void registryDeleted(ClientData clientData, Tcl_Interp *)
{
    delete static_cast<RegistryRef *>(clientData);
}

RegistryRef *heldRegistry(Tcl_Interp *interp)
{
    return static_cast<RegistryRef *>(Tcl_GetAssocData(interp, registryKey, nullptr));
}

RegistryRef registryOf(Tcl_Interp *interp)
{
    RegistryRef *held = heldRegistry(interp);
    if (held == nullptr) {
        held = new RegistryRef(std::make_shared<Registry>());
        Tcl_DeleteAssocData(interp, unloadedKey);
        Tcl_SetAssocData(interp, registryKey, registryDeleted, held);
    }
    return *held;
}

/* The delete procedure of every command of the library. */
void forgetCommand(ClientData clientData)
{
    auto *record = static_cast<CommandRecord *>(clientData);
    if (record->prev != nullptr) {
        record->prev->next = record->next;
    } else {
        record->owner->first = record->next;
    }
    if (record->next != nullptr) {
        record->next->prev = record->prev;
    }
    delete record;
}

/* The first record whose command no call is deleting yet. */
CommandRecord *firstLiving(const Registry &registry)
{
    CommandRecord *record = registry.first;
    while (record != nullptr && record->dying) {
        record = record->next;
    }
    return record;
}

/*
 * deleteLibraryCommands --
 *   Deletes every command the library made in interp, by token, so that
 *   renamed and hidden ones go too, then the registry itself: nothing of
 *   the library's stays behind. A delete trace may run any script, so the
 *   list is walked afresh after every deletion; a command that another call
 *   is already deleting unlinks itself when that call ends.
 */
void deleteLibraryCommands(Tcl_Interp *interp, RegistryRef registry)
{
    registry->unloading = true;
    while (CommandRecord *record = firstLiving(*registry)) {
        record->dying = true;
        Tcl_DeleteCommandFromToken(interp, record->token);
    }
    Tcl_DeleteAssocData(interp, registryKey);
    Tcl_SetAssocData(interp, unloadedKey, nullptr,
        const_cast<char *>(&unloadedMark)); /* no procedure of the library's */
}

/*
 * Calls under way whose code must stay mapped until they return: the loops
 * between iterations or suspended in a coroutine, and readZKS and port
 * while they run scripts. Any thread's interpreter may be the last to hold
 * the library, so the count is the process's.
 */
std::atomic<int> callsUnderWay{0};

/*
 * pinLibrary --
 *   Keeps the library's code mapped for the life of the process, whatever
 *   Tcl's loader does at the last unload: thread-local state, a coroutine
 *   or an object a script still holds may point into it. The loader still
 *   forgets the file, so a later load initialises it again.
 */
void pinLibrary()
{
    static std::once_flag pinned;
    std::call_once(pinned, zks::pinModule);
}

/*
 * createCommand --
 *   Creates a command of the library in interp and records it; with
 *   nreProc, one that runs scripts through Tcl's non-recursive engine.
 *   False when Tcl made no command (an interpreter being deleted).
 */
bool createCommand(Tcl_Interp *interp, const char *name, zks::ObjCmdProc *proc,
    zks::ObjCmdProc *nreProc = nullptr)
{
    RegistryRef registry = registryOf(interp);
    auto *record = new CommandRecord{registry};
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
    if (record->token == nullptr) {
        delete record;
        return false;
    }
    record->next = registry->first;
    if (registry->first != nullptr) {
        registry->first->prev = record;
    }
    registry->first = record;
    return true;
}

/*
 * Whether the package index asks, by ::zks::loadAs, for the Zk set from a
 * load under the Zks prefix. Tcl's loader knows a file under one prefix per
 * process, so the index gives Zk to an interpreter that way.
 */
bool indexAsksForZk(Tcl_Interp *interp)
{
    const char *as = Tcl_GetVar2(interp, "::zks::loadAs", nullptr, TCL_GLOBAL_ONLY);
    return as != nullptr && std::string_view(as) == "Zk";
}

/*
 * initialise --
 *   What every entry point does: the stubs (a host may call an entry point
 *   alone), the library pinned, then the commands in table order, readZKS
 *   first for Zks, only the safe ones for a safe interpreter; then the
 *   packages provided, so that a plain load registers them.
 */
int initialise(Tcl_Interp *interp, bool withReader, bool safe)
{
    if (Tcl_InitStubs(interp, "8.6-", 0) == nullptr) {
        return TCL_ERROR;
    }
    pinLibrary();
    if (withReader && indexAsksForZk(interp)) {
        withReader = false;
    }
    if (withReader && !safe && !createCommand(interp, "readZKS", zks::readZKSCmd)) {
        return TCL_ERROR;
    }
    for (const UtilityCommand &c : utilityCommands) {
        if ((c.safe || !safe) && !createCommand(interp, c.name, c.proc, c.nreProc)) {
            return TCL_ERROR;
        }
    }
    if (!safe) {
        zks::preloadPlatformLibraries();
    }
    /* Zks made every command of Zk as well. */
    if (withReader && Tcl_PkgProvide(interp, "Zks", ZKS_VERSION) != TCL_OK) {
        return TCL_ERROR;
    }
    return Tcl_PkgProvide(interp, "Zk", ZKS_VERSION);
}

/*
 * forgetPackages --
 *   Takes Zks and Zk out of what interp says it has, keeping the scripts
 *   that load them: after an unload, "package require" loads again (or says
 *   why it can't) instead of answering with a version whose commands are
 *   gone. Tcl has no call for this but its package command.
 */
void forgetPackages(Tcl_Interp *interp)
{
    /* In a frame of its own, so that no variable of the script's is touched. */
    static const char forget[] =
        "::apply {{} {"
        "    ::foreach p {Zks Zk} {"
        "        ::set scripts [::lmap v [::package versions $p] {::list $v [::package ifneeded $p $v]}];"
        "        ::package forget $p;"
        "        ::foreach s $scripts {::package ifneeded $p {*}$s}"
        "    }"
        "}}";
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    Tcl_EvalEx(interp, forget, -1, TCL_EVAL_GLOBAL);
    Tcl_RestoreInterpState(interp, state);
}

/*
 *----------------------------------------------------------------------
 * An interpreter kept alive across its own unload. A delete trace that the
 * unload sets off may delete the interpreter, or its master, and Tcl's
 * unload goes on using the interpreter after the unload procedure returns.
 * So the procedure preserves it; when it was deleted meanwhile, the release
 * waits for the next command this thread completes (Tcl then runs its
 * async handlers), by which time the unload command has returned.
 *----------------------------------------------------------------------
 */

struct DeferredRelease {
    Tcl_AsyncHandler handler;
    Tcl_Interp *interp;
};

/* The async handler: frees the deleted interpreter, leaving the state of the
 * one that ran the command (if any) as it was. */
int releaseDeletedInterp(ClientData clientData, Tcl_Interp *current, int code)
{
    auto *release = static_cast<DeferredRelease *>(clientData);
    Tcl_Interp *deleted = release->interp;
    Tcl_AsyncDelete(release->handler);
    delete release;
    Tcl_InterpState state = current != nullptr ? Tcl_SaveInterpState(current, code) : nullptr;
    Tcl_Release(deleted); /* its own delete traces may run scripts */
    return state != nullptr ? Tcl_RestoreInterpState(current, state) : code;
}

/* Ends what Tcl_Preserve began at the start of an unload. */
void releaseAfterUnload(Tcl_Interp *interp)
{
    if (!Tcl_InterpDeleted(interp)) {
        Tcl_Release(interp); /* nothing is pending: this frees nothing */
        return;
    }
    auto *release = new DeferredRelease{nullptr, interp};
    release->handler = Tcl_AsyncCreate(releaseDeletedInterp, release);
    Tcl_AsyncMark(release->handler);
}

/*
 * unloadCommands --
 *   The unload procedure of both packages, trusted and safe: deletes the
 *   library's commands in interp. The library's code must outlive every
 *   call under way, so leaving the process is refused while one is.
 */
int unloadCommands(Tcl_Interp *interp, int flags)
{
    RegistryRef *held = heldRegistry(interp);
    if (held == nullptr) {
        if (Tcl_GetAssocData(interp, unloadedKey, nullptr) != nullptr) {
            zks::setResult(interp, "zks: the library was already unloaded from this interpreter");
            Tcl_SetErrorCode(interp, "ZKS", "UNLOAD", "NOT_LOADED", nullptr);
            return TCL_ERROR;
        }
        return TCL_OK; /* an interpreter being deleted: its record went first */
    }
    /*
     * An unload from a delete trace of this very unload would have Tcl's
     * loader free its record of the interpreter twice.
     */
    if ((*held)->unloading) {
        zks::setResult(interp, "zks: can't unload while the library is being unloaded");
        Tcl_SetErrorCode(interp, "ZKS", "UNLOAD", "BUSY", nullptr);
        return TCL_ERROR;
    }
    if (flags == TCL_UNLOAD_DETACH_FROM_PROCESS && callsUnderWay != 0) {
        zks::setResult(interp, "zks: can't unload while a command of the library is running");
        Tcl_SetErrorCode(interp, "ZKS", "UNLOAD", "BUSY", nullptr);
        return TCL_ERROR;
    }
    Tcl_Preserve(interp);
    deleteLibraryCommands(interp, *held);
    if (!Tcl_InterpDeleted(interp)) {
        forgetPackages(interp);
    }
    releaseAfterUnload(interp);
    return TCL_OK;
}

} // namespace


void zks::beginCall()
{
    ++callsUnderWay;
}

void zks::endCall()
{
    --callsUnderWay;
}

/*
 *----------------------------------------------------------------------
 * The entry points, as Tcl's load and unload call them.
 *----------------------------------------------------------------------
 */

/*
 * Zks_Init --
 *   Creates readZKS, then the utility commands, then preloads the platform
 *   libraries with global symbol visibility; missing ones are passed over.
 *   When the package index has set ::zks::loadAs to Zk, only what Zk_Init
 *   makes: Tcl's loader lets the index load Zk under this prefix alone.
 * Results: TCL_OK, or TCL_ERROR when the interpreter's Tcl is not one this
 *   library was built for.
 * Side effects: fourteen commands; two libraries in the process.
 */
int Zks_Init(Tcl_Interp *interp)
{
    return initialise(interp, true, false);
}

/*
 * Zks_SafeInit --
 *   Zks_Init for a safe interpreter: readZKS reads files and sources
 *   scripts, so a safe interpreter gets only Zk_SafeInit's commands.
 * Results: as Zks_Init. Side effects: ten commands.
 */
int Zks_SafeInit(Tcl_Interp *interp)
{
    return initialise(interp, true, true);
}

/*
 * Zks_Unload, Zks_SafeUnload --
 *   Delete every command the library made in the interpreter, readZKS
 *   included, and its record of them; the preloaded libraries stay.
 * Results: TCL_OK, or TCL_ERROR when the library is to leave the process
 *   while one of its commands is under way, when this unload is called from
 *   a delete trace of another, or when it has already left the interpreter.
 */
int Zks_Unload(Tcl_Interp *interp, int flags)
{
    return unloadCommands(interp, flags);
}

int Zks_SafeUnload(Tcl_Interp *interp, int flags)
{
    return unloadCommands(interp, flags);
}

/*
 * Zk_Init --
 *   Zks_Init without readZKS.
 * Results: as Zks_Init. Side effects: thirteen commands; two libraries in
 *   the process.
 */
int Zk_Init(Tcl_Interp *interp)
{
    return initialise(interp, false, false);
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
    return initialise(interp, false, true);
}

/*
 * Zk_Unload, Zk_SafeUnload --
 *   As Zks_Unload, for an interpreter that loaded the library as Zk.
 */
int Zk_Unload(Tcl_Interp *interp, int flags)
{
    return unloadCommands(interp, flags);
}

int Zk_SafeUnload(Tcl_Interp *interp, int flags)
{
    return unloadCommands(interp, flags);
}
