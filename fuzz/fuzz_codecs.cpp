/*
 * fuzz_codecs.cpp --
 *   Fuzzes bit, port and idList in both directions. The first byte picks the
 *   call; the rest is "text NUL answer", where answer is what the host
 *   procedures zksBitIndexPort / zksBitIfIndex2Port return (an answer that
 *   starts with "!" makes them fail). Whatever bit parse accepts must come
 *   back from bit print in the range form and parse again to the same
 *   octets.
 */
#include "harness.h"

namespace {

fuzz::Interp in;
std::string answer;

int hostProc(ClientData, Tcl_Interp *interp, int, Tcl_Obj *const[])
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(answer.data(), static_cast<int>(answer.size())));
    return !answer.empty() && answer[0] == '!' ? TCL_ERROR : TCL_OK;
}

void setUp()
{
    /*
     * The parse direction traces to the interpreter's stdout: the safe child
     * is given the process's, file descriptor 1, sent to /dev/null.
     */
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::abort();
    }
    in = fuzz::makeInterp({});
    fuzz::check(in.master, Tcl_Eval(in.master, "interp share {} stdout zf"), "interp share");
    Tcl_CreateObjCommand(in.child, "zksBitIndexPort", hostProc, nullptr, nullptr);
    Tcl_CreateObjCommand(in.child, "zksBitIfIndex2Port", hostProc, nullptr, nullptr);
}

void checkBitRoundTrip(const std::string &octets)
{
    fuzz::require(fuzz::run(in.child, {"bit", "print", octets, "r"}) == TCL_OK, "print of parsed octets", octets);
    std::string list = fuzz::result(in);
    fuzz::require(fuzz::run(in.child, {"bit", "parse", list}) == TCL_OK, "parse of printed list", list);
    fuzz::require(fuzz::result(in) == octets, "bit round trip", octets + " / " + list);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (setUp(), true);
    (void)ready;
    if (size == 0) {
        return 0;
    }
    std::string_view rest(reinterpret_cast<const char *>(data) + 1, size - 1);
    std::string_view text = fuzz::nextField(rest, '\0');
    answer = std::string(rest);
    fuzz::allowCommands(in, 100000);

    int rc;
    switch (data[0] % 8) {
    case 0:
        rc = fuzz::run(in.child, {"bit", "parse", text});
        if (rc == TCL_OK) {
            checkBitRoundTrip(fuzz::result(in));
        }
        break;
    case 1:
        fuzz::run(in.child, {"bit", "print", text});
        break;
    case 2:
        fuzz::run(in.child, {"bit", "print", text, "r"});
        break;
    case 3:
        rc = fuzz::run(in.child, {"port", "parse", text});
        if (rc == TCL_OK) {
            checkBitRoundTrip(fuzz::result(in));
        }
        break;
    case 4:
        fuzz::run(in.child, {"port", "print", text});
        break;
    case 5:
        fuzz::run(in.child, {"port", "print", text, "r"});
        break;
    case 6:
        fuzz::run(in.child, {"idList", "parse", text});
        break;
    default:
        fuzz::run(in.child, {"idList", "print", text});
        break;
    }
    return 0;
}
