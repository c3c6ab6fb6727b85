// time() interposer for the tests: in a process started with this module in
// LD_PRELOAD, the clock reads ZKS_CLOCK, in seconds since the Epoch, so that
// a suite can run the library at a date past 2038 today. A 32-bit program
// built with a 64-bit time_t calls __time64; one built with the 32-bit
// time_t calls time, which past 2038 fails as the C library's does.
//
// Windows has no LD_PRELOAD: there the module is loaded into the tclsh
// after the library ("load fixedclock.dll Fixedclock") and points the
// library's import of the C runtime's _time64 at the same clock.
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

#ifdef _WIN32
#include <windows.h>

#include <cstring>

namespace {

std::int64_t __cdecl fixedTime64(std::int64_t *t)
{
    std::int64_t now = fixedClock();
    if (t != nullptr) {
        *t = now;
    }
    return now;
}

// Points the module's imports of the function name, from any DLL, at
// replacement; false when it imports no such function.
bool patchImport(HMODULE module, const char *name, void *replacement)
{
    auto *base = reinterpret_cast<BYTE *>(module);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(
        base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    bool patched = false;
    for (auto *dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         imports.Size != 0 && dll->Name != 0; ++dll) {
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)
                || std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(
                                   base + names->u1.AddressOfData)->Name, name) != 0) {
                continue;
            }
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                &protection);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection,
                &protection);
            patched = true;
        }
    }
    return patched;
}

} // namespace

// Tcl's load calls it with the interpreter, which it does not need. The
// library is the module ZKS_LIBRARY names; TCL_ERROR (1) when it is not
// loaded or does not read the clock through _time64.
extern "C" __declspec(dllexport) int Fixedclock_Init(void *)
{
    const char *path = std::getenv("ZKS_LIBRARY");
    if (path == nullptr) {
        return 1;
    }
    const char *name = path;
    for (const char *p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            name = p + 1;
        }
    }
    HMODULE library = GetModuleHandleA(name);
    return library != nullptr
        && patchImport(library, "_time64", reinterpret_cast<void *>(&fixedTime64)) ? 0 : 1;
}

#else

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

#endif
