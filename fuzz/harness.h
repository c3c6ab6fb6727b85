/*
 * harness.h --
 *   Shared set-up for the fuzz targets: one interpreter per process with the
 *   library loaded, cut down to the commands a target names, so that fuzzed
 *   text evaluated by the library cannot reach files, processes or endless
 *   loops outside what is being tested.
 */
#ifndef ZKS_FUZZ_HARNESS_H
#define ZKS_FUZZ_HARNESS_H

#include <tcl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

extern "C" int Zks_Init(Tcl_Interp *interp);

namespace fuzz {

/*
 * The library runs in a safe child interpreter, cut down to the commands a
 * target keeps, so that fuzzed text evaluated by the library (attribute
 * values, port answers, loop bodies) cannot reach files or processes; a
 * command limit set before every input ends endless scripts with an error.
 */
struct Interp {
    Tcl_Interp *master = nullptr;
    Tcl_Interp *child = nullptr;
};

inline void check(Tcl_Interp *interp, int rc, const char *what)
{
    if (rc != TCL_OK) {
        std::fprintf(stderr, "harness: %s: %s\n", what, Tcl_GetStringResult(interp));
        std::abort();
    }
}

inline Interp makeInterp(std::initializer_list<const char *> keep)
{
    Interp in;
    Tcl_FindExecutable("zks-fuzz");
    in.master = Tcl_CreateInterp();
    check(in.master, Tcl_Eval(in.master, "interp create -safe zf"), "interp create");
#if TCL_MAJOR_VERSION >= 9
    in.child = Tcl_GetChild(in.master, "zf");
#else
    in.child = Tcl_GetSlave(in.master, "zf"); /* Tcl 9 renamed it */
#endif
    check(in.child, Zks_Init(in.child), "Zks_Init");
    std::string keepList = "readZKS rlindex loop timeticks bit port dec2hex hex2dec "
                           "ipmShowIpAddr idList";
    for (const char *k : keep) {
        keepList += ' ';
        keepList += k;
    }
    std::string script = "foreach c [zf eval {info commands}] {"
                         "  if {$c ni {" + keepList + "}} {interp hide zf $c}"
                         "}";
    check(in.master, Tcl_Eval(in.master, script.c_str()), "hide");
    return in;
}

/* Allows n more commands, and a second, in the child from now on. */
inline void allowCommands(Interp &in, int n)
{
    std::string script = "interp limit zf command -value {}; interp limit zf time -seconds {}; "
                         "interp limit zf command -value "
                         "[expr {[interp invokehidden zf info cmdcount] + " + std::to_string(n) + "}]; "
                         "interp limit zf time -seconds [expr {[clock seconds] + 2}]";
    check(in.master, Tcl_Eval(in.master, script.c_str()), "limit");
    Tcl_ResetResult(in.child);
}

/* Splits fuzz input into fields at a separator byte. */
inline std::string_view nextField(std::string_view &in, char sep)
{
    std::size_t at = in.find(sep);
    std::string_view field = in.substr(0, at);
    in = at == std::string_view::npos ? std::string_view() : in.substr(at + 1);
    return field;
}

/* Runs a command made of words, each passed as its own argument. */
inline int run(Tcl_Interp *interp, std::initializer_list<std::string_view> words)
{
    Tcl_Obj *objv[8];
    int n = 0;
    for (std::string_view w : words) {
        objv[n] = Tcl_NewStringObj(w.data(), static_cast<int>(w.size()));
        Tcl_IncrRefCount(objv[n]);
        ++n;
    }
    int rc = Tcl_EvalObjv(interp, n, objv, TCL_EVAL_GLOBAL);
    for (int i = 0; i < n; ++i) {
        Tcl_DecrRefCount(objv[i]);
    }
    return rc;
}

/* The result of the last evaluation in the child. */
inline std::string result(const Interp &in)
{
    return Tcl_GetStringResult(in.child);
}

/* Aborts with a message when a property of the library does not hold. */
inline void require(bool ok, const char *what, std::string_view detail)
{
    if (!ok) {
        std::fprintf(stderr, "property broken: %s: %.*s\n", what, static_cast<int>(detail.size()),
                     detail.data());
        std::abort();
    }
}

} // namespace fuzz

#endif
