/*
 * fuzz_values.cpp --
 *   Fuzzes timeticks, hex2dec, dec2hex and ipmShowIpAddr. The first byte
 *   picks the command (and the timeticks subcommand); the rest is the
 *   argument. Every argument is also read as getIPHost reads its address,
 *   which must agree with the C library's inet_aton.
 */
#include "harness.h"
#include "zksInt.h"

#include <arpa/inet.h>

namespace {

fuzz::Interp in;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (in = fuzz::makeInterp({}), true);
    (void)ready;
    if (size == 0) {
        return 0;
    }
    std::string_view arg(reinterpret_cast<const char *>(data) + 1, size - 1);
    static const char *const ticks[] = {"now", "uptime", "relative", "clock", "timeticks", "x", ""};
    fuzz::allowCommands(in, 1000);

    /* inet_aton reads up to the first NUL. */
    std::string text(arg.substr(0, arg.find('\0')));
    in_addr libc;
    std::uint32_t address = 0;
    bool libcOk = inet_aton(text.c_str(), &libc) != 0;
    bool ok = zks::parseIPv4(text, &address);
    fuzz::require(ok == libcOk && (!ok || address == ntohl(libc.s_addr)), "address as inet_aton",
                  text);

    switch (data[0] % 4) {
    case 0:
        fuzz::run(in.child, {"timeticks", ticks[(data[0] / 4) % 7], arg});
        break;
    case 1:
        fuzz::run(in.child, {"hex2dec", arg});
        break;
    case 2:
        fuzz::run(in.child, {"dec2hex", arg});
        break;
    default:
        if (fuzz::run(in.child, {"ipmShowIpAddr", arg}) == TCL_OK) {
            /* 31 or 32 addresses, each followed by a blank. */
            std::string r = fuzz::result(in);
            std::size_t blanks = 0;
            for (char c : r) {
                blanks += c == ' ';
            }
            fuzz::require((blanks == 31 || blanks == 32) && !r.empty() && r.back() == ' ',
                          "ipmShowIpAddr count", r);
        }
        break;
    }
    return 0;
}
