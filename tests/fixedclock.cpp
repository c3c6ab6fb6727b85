// time() interposer for the tests: in a process started with this module in
// LD_PRELOAD, the clock reads ZKS_CLOCK, in seconds since the Epoch, so that
// a suite can run the library at a date past 2038 today. A 32-bit program
// built with a 64-bit time_t calls __time64; one built with the 32-bit
// time_t calls time, which past 2038 fails as the C library's does.
//
// No header declares time here: with a 64-bit time_t on a 32-bit target
// <time.h> renames it to __time64.
#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace {

std::int64_t fixedClock()
{
    const char *text = std::getenv("ZKS_CLOCK");
    return text != nullptr ? std::strtoll(text, nullptr, 10) : 0;
}

} // namespace

extern "C" __attribute__((visibility("default"))) std::int64_t __time64(std::int64_t *t)
{
    std::int64_t now = fixedClock();
    if (t != nullptr) {
        *t = now;
    }
    return now;
}

// The plain call's time_t is as wide as a pointer: 32 bits on a 32-bit
// target, 64 on a 64-bit one.
extern "C" __attribute__((visibility("default"))) std::intptr_t time(std::intptr_t *t)
{
    std::int64_t wide = fixedClock();
    std::intptr_t now = static_cast<std::intptr_t>(wide);
    if (now != wide) {
        errno = EOVERFLOW;
        now = -1;
    }
    if (t != nullptr) {
        *t = now;
    }
    return now;
}
