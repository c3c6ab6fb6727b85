// dlopen interposer for the tests: appends "path mode" for every call to the
// file named by ZKS_DLOPEN_LOG, then forwards to the real dlopen.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <cstdio>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) void *dlopen(const char *file, int mode)
{
    using Fn = void *(*)(const char *, int);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "dlopen"));
    if (const char *log = std::getenv("ZKS_DLOPEN_LOG")) {
        if (FILE *f = std::fopen(log, "a")) {
            std::fprintf(f, "%s 0x%x\n", file ? file : "(null)", static_cast<unsigned>(mode));
            std::fclose(f);
        }
    }
    return real ? real(file, mode) : nullptr;
}
