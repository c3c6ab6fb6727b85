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
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

/*
 * qemu 7.2 passes the path of a statx call to the host as it is, not under
 * its prefix as it does for every other call, and the target's C library
 * stats with statx: the root's own files would be missing to stat, glob
 * and Tcl's package search. A statx that the kernel does not know sends
 * qemu to its fstatat, which takes the prefix, and the C library to stat.
 */
static int refuseStatx(void)
{
    struct sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_statx, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog program = {(unsigned short)(sizeof code / sizeof code[0]), code};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return -1;
    }
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
}

int main(int argc, char **argv)
{
    static char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        perror("cross32-tclsh: /proc/self/exe");
        return 127;
    }
    self[n] = '\0';

    /* A child started through us stacks a second filter: harmless. */
    if (refuseStatx() != 0) {
        perror("cross32-tclsh: seccomp");
        return 127;
    }

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
