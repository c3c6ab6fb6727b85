/*
 * fuzz_utils.cpp --
 *   Fuzzes rlindex and loop.
 *   rlindex: the first byte gives the index (-8 to 247), the rest is the
 *   list text; for a well-formed list the element must be what Tcl's own
 *   list parsing gives, and a well-formed list never fails.
 *   loop: three 64-bit bounds and a step from the input, checked against a
 *   model of the counting (the loop stops rather than wrap past 64 bits);
 *   or three fuzzed expressions with a small body.
 */
#include "harness.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

fuzz::Interp in;

void fuzzRlindex(int index, std::string text)
{
    for (char &c : text) {
        if (c == '\0') {
            c = ' '; /* variables are read as C strings */
        }
    }
    Tcl_Obj *list = Tcl_NewStringObj(text.data(), static_cast<int>(text.size()));
    Tcl_IncrRefCount(list);
    Tcl_SetVar2Ex(in.child, "v", nullptr, Tcl_DuplicateObj(list), TCL_GLOBAL_ONLY);
    int rc = fuzz::run(in.child, {"rlindex", "v", std::to_string(index)});
    std::string got = fuzz::result(in);

    int length;
    if (Tcl_ListObjLength(nullptr, list, &length) == TCL_OK) {
        fuzz::require(rc == TCL_OK, "rlindex failed on a well-formed list", got);
        std::string want;
        Tcl_Obj *elem = nullptr;
        if (index >= 0 && Tcl_ListObjIndex(nullptr, list, index, &elem) == TCL_OK && elem != nullptr) {
            want = Tcl_GetString(elem);
        }
        fuzz::require(got == want, "rlindex differs from lindex", got + " / " + want);
    }
    Tcl_DecrRefCount(list);
}

void fuzzLoopModel(const uint8_t *data)
{
    std::int64_t first, limit, step;
    std::memcpy(&first, data, sizeof first);
    std::memcpy(&limit, data + 8, sizeof limit);
    std::memcpy(&step, data + 16, sizeof step);
    /* Small steps and nearby bounds are the interesting ones; keep a share. */
    if (data[24] & 1) {
        step = static_cast<signed char>(data[25]);
        std::int64_t delta = static_cast<short>(limit & 0xffff) * (data[24] & 2 ? 1 : -1) % 1500;
        limit = static_cast<std::int64_t>(static_cast<std::uint64_t>(first) + static_cast<std::uint64_t>(delta));
        if ((data[24] & 4) && first > 0) {
            first = INT64_MAX - (first & 0xff);
            limit = INT64_MAX;
        }
    }

    std::vector<std::int64_t> seq;
    std::int64_t c = first;
    bool modelled = true;
    while ((step >= 0 && c < limit) || (step < 0 && c > limit)) {
        seq.push_back(c);
        if (seq.size() > 2000) {
            modelled = false;
            break;
        }
        std::int64_t next;
        if (__builtin_add_overflow(c, step, &next)) {
            break;
        }
        c = next;
    }

    Tcl_SetVar2(in.child, "l", nullptr, "", TCL_GLOBAL_ONLY);
    int rc = fuzz::run(in.child, {"loop", "i", std::to_string(first), std::to_string(limit),
                                  std::to_string(step),
                                  modelled ? "lappend l $i" : "if {[incr n] > 3000} break"});
    if (!modelled) {
        return; /* endless or long: the harness's limits end it */
    }
    std::string want;
    for (std::int64_t v : seq) {
        want += want.empty() ? "" : " ";
        want += std::to_string(v);
    }
    const char *l = Tcl_GetVar2(in.child, "l", nullptr, TCL_GLOBAL_ONLY);
    const char *i = Tcl_GetVar2(in.child, "i", nullptr, TCL_GLOBAL_ONLY);
    std::string bounds = std::to_string(first) + " " + std::to_string(limit) + " " + std::to_string(step);
    fuzz::require(rc == TCL_OK, "loop failed", bounds + ": " + fuzz::result(in));
    fuzz::require(l != nullptr && want == l, "loop values", bounds);
    fuzz::require(i != nullptr && std::to_string(c) == i, "loop final value", bounds + " -> " + (i ? i : "unset"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (in = fuzz::makeInterp({"set", "lappend", "incr", "break", "continue",
                                                "error", "return", "expr", "if"}),
                         true);
    (void)ready;
    if (size < 2) {
        return 0;
    }
    fuzz::allowCommands(in, 50000);
    Tcl_SetVar2(in.child, "n", nullptr, "0", TCL_GLOBAL_ONLY);
    std::string_view rest(reinterpret_cast<const char *>(data) + 2, size - 2);
    switch (data[0] % 3) {
    case 0:
        fuzzRlindex(static_cast<int>(data[1]) - 8, std::string(rest));
        break;
    case 1:
        if (size >= 28) {
            fuzzLoopModel(data + 2);
        }
        break;
    default: {
        std::string_view a = fuzz::nextField(rest, '\0');
        std::string_view b = fuzz::nextField(rest, '\0');
        std::string_view c = fuzz::nextField(rest, '\0');
        /* Every body stops a long loop after a few thousand rounds. */
        static const char *const bodies[] = {
            "if {[incr n] > 3000} break", "if {$i == 3 || [incr n] > 3000} break",
            "if {[incr n] > 3000} break; continue", "error boom", "return -code 5 x",
            "if {[incr n] > 3000} break; set i 100", "incr n; expr {$i / 0}",
        };
        const char *body = bodies[data[1] % 7];
        if (data[1] & 0x80) {
            fuzz::run(in.child, {"loop", "i", a, b, body});
        } else {
            fuzz::run(in.child, {"loop", "i", a, b, c, body});
        }
        break;
    }
    }
    return 0;
}
