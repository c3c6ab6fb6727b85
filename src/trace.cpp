/*
 * trace.cpp --
 *   Where the trace lines of "bit parse" and "port parse" go: the channel
 *   the calling interpreter knows as stdout, written as Tcl's own puts
 *   would write them, each trace in one write. An interpreter without a
 *   stdout (a safe one, or one that closed it) gets no trace, and a failed
 *   write is the channel's affair, not the command's.
 */
#include "zksInt.h"

#include <algorithm>
#include <string_view>

namespace zks {
namespace {

/*
 * traceChannel --
 *   The channel interp knows as stdout, as Tcl_GetChannel finds it, or null
 *   when it has none: a safe interpreter is given none, and a script may
 *   have closed it. The usual case, a registered stdout, is answered without
 *   Tcl_GetChannel, whose failure would leave a message in the interpreter.
 */
Tcl_Channel traceChannel(Tcl_Interp *interp)
{
    Tcl_Channel chan = Tcl_GetStdChannel(TCL_STDOUT);
    if (chan == nullptr || Tcl_IsChannelRegistered(interp, chan)) {
        return chan;
    }
    if (Tcl_IsSafe(interp)) {
        return nullptr; /* only a master's "interp share" gives it one */
    }
    /* A trusted interpreter registers the standard channels at its first lookup. */
    Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
    chan = Tcl_GetChannel(interp, "stdout", nullptr);
    Tcl_RestoreInterpState(interp, saved);
    return chan;
}

/*
 * Whether chan's encoding writes ASCII as the same bytes, with no shift
 * state: then ASCII text may go to it as bytes, without the conversion
 * that costs more than a parse.
 */
bool writesAsciiAsIs(Tcl_Channel chan)
{
    Tcl_DString name;
    Tcl_DStringInit(&name);
    bool asIs = false;
    if (Tcl_GetChannelOption(nullptr, chan, "-encoding", &name) == TCL_OK) {
        std::string_view n(Tcl_DStringValue(&name), static_cast<std::size_t>(Tcl_DStringLength(&name)));
        asIs = n == "utf-8" || n == "ascii" || n == "binary" || n.substr(0, 8) == "iso8859-";
    }
    Tcl_DStringFree(&name);
    return asIs;
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

} // namespace

void writeTrace(Tcl_Interp *interp, std::string_view text)
{
    if (Tcl_Channel chan = traceChannel(interp)) {
        Tcl_WriteChars(chan, text.data(), static_cast<Tcl_Size>(text.size()));
    }
}

/*
 * As bytes when the part before asciiFrom is ASCII too and the channel takes
 * ASCII as is. Always in one call: a script behind the channel (a
 * transform, a reflected channel) may close it while a write is under way.
 */
void writeTrace(Tcl_Interp *interp, std::string_view text, std::size_t asciiFrom)
{
    Tcl_Channel chan = traceChannel(interp);
    if (chan == nullptr) {
        return;
    }
    if (writesAsciiAsIs(chan) && isAscii(text.substr(0, asciiFrom))) {
        Tcl_Write(chan, text.data(), static_cast<Tcl_Size>(text.size()));
    } else {
        Tcl_WriteChars(chan, text.data(), static_cast<Tcl_Size>(text.size()));
    }
}

} // namespace zks
