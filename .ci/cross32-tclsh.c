/*
 * cross32-tclsh.c --
 *   A host program that stands for the target's tclsh: it runs the root's
 *   tclsh under qemu-user, with the root as qemu's prefix for absolute
 *   paths, and tells that tclsh its own path as argv[0]. So the tclsh's
 *   "info nameofexecutable" names this program, and the child tclsh
 *   processes that the suites start run under qemu too; the kernel cannot
 *   start the target's programs itself.
 *
 *   Built static by .ci/cross32, with QEMU, ROOT and TCLSH defined as
 *   strings: a dynamic host program would have the host's loader complain
 *   about an LD_PRELOAD meant for the target's tclsh.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    static char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        perror("cross32-tclsh: /proc/self/exe");
        return 127;
    }
    self[n] = '\0';

    static const char *fixed[] = {QEMU, "-L", ROOT, "-0", NULL, ROOT TCLSH};
    const int nfixed = (int)(sizeof fixed / sizeof fixed[0]);
    char **args = calloc((size_t)(nfixed + argc), sizeof *args);
    if (args == NULL) {
        perror("cross32-tclsh");
        return 127;
    }
    fixed[4] = self;
    memcpy(args, fixed, sizeof fixed);
    for (int i = 1; i < argc; ++i) {
        args[nfixed + i - 1] = argv[i];
    }
    execv(QEMU, args);
    perror("cross32-tclsh: " QEMU);
    return 127;
}
