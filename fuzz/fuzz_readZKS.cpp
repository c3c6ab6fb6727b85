/*
 * fuzz_readZKS.cpp --
 *   Fuzzes the specification reader on file contents. The file may include
 *   itself and the files of a small fixed tree; after every input the reader
 *   must still read a chain of includes 15 deep (so the depth was restored)
 *   and report a known error with the right file and line. Only while the
 *   input is read is the tree the current directory (names with a slash
 *   resolve from there); libFuzzer's own relative paths (corpora, artifacts)
 *   keep meaning the directory the fuzzer was started in.
 */
#include "harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

std::string dir;
fuzz::Interp in;
int startDir = -1; /* the directory libFuzzer runs in, held open */

void writeFile(const std::string &name, std::string_view text)
{
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

int openFds()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) {
            ++n;
        }
        closedir(d);
    }
    return n;
}

void expect(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s: %s\n", what, Tcl_GetStringResult(in.child));
        std::abort();
    }
}

/* Aborts when the directory can't be changed: a read from the wrong one
 * would test nothing, or leave libFuzzer writing into the tree. */
void need(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "harness: %s: %s\n", what, std::strerror(errno));
        std::abort();
    }
}

/* The tree every input may include from; removed when the fuzzer exits. */
void setUp()
{
    char tmpl[] = "/tmp/zks-fuzz-XXXXXX";
    dir = mkdtemp(tmpl);
    startDir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    need(startDir >= 0, "can't open the start directory");
    mkdir((dir + "/sub").c_str(), 0755);
    writeFile("a.spec", "class a {\n x 1\n}\ninclude \"b.spec\"\n");
    writeFile("b.spec", "class b { y \"2\" z {3 4} }\n");
    writeFile("sub/c.spec", "include \"a.spec\"\nclass c {\n");
    writeFile("bad.spec", "\n\nx 1\n");
    for (int i = 0; i < 15; ++i) {
        writeFile("chain" + std::to_string(i) + ".spec",
                  "include \"chain" + std::to_string(i + 1) + ".spec\"\n");
    }
    writeFile("chain15.spec", "class end { ok 1 }\n");
    in = fuzz::makeInterp({"set"});
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    });
}

/* Makes a libFuzzer path flag's value absolute, from the start directory. */
std::string absoluteFlag(std::string arg, std::string_view flag, const std::string &here)
{
    if (arg.compare(0, flag.size(), flag) == 0 &&
        (arg.size() == flag.size() || arg[flag.size()] != '/')) {
        arg.insert(flag.size(), here);
    }
    return arg;
}

} // namespace

/*
 * LLVMFuzzerInitialize --
 *   A crash inside the reader is written while the tree is the current
 *   directory, so the artifact paths are made absolute first (the default
 *   prefix being the start directory, as libFuzzer's own is).
 * Side effects: replaces the argument vector libFuzzer parses.
 */
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static std::vector<std::string> args;
    static std::vector<char *> ptrs;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        return 0;
    }
    std::string here = std::string(cwd) + "/";
    bool prefixGiven = false;
    for (int i = 0; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        if (i > 0) {
            prefixGiven = prefixGiven || arg.rfind("-artifact_prefix=", 0) == 0;
            arg = absoluteFlag(arg, "-artifact_prefix=", here);
            arg = absoluteFlag(arg, "-exact_artifact_path=", here);
        }
        args.push_back(arg);
    }
    if (!prefixGiven) {
        args.push_back("-artifact_prefix=" + here);
    }
    for (std::string &arg : args) {
        ptrs.push_back(arg.data());
    }
    ptrs.push_back(nullptr);
    *argc = static_cast<int>(args.size());
    *argv = ptrs.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (setUp(), true);
    static unsigned long runs = 0;
    static int fds = -1; /* taken once the interpreter has settled */
    (void)ready;

    writeFile("fuzz.spec", std::string_view(reinterpret_cast<const char *>(data), size));
    fuzz::allowCommands(in, 20000);
    need(chdir(dir.c_str()) == 0, "can't enter the tree"); /* names with a slash resolve from there */
    fuzz::run(in.child, {"readZKS", dir + "/fuzz.spec"});
    need(fchdir(startDir) == 0, "can't return to the start directory");

    fuzz::allowCommands(in, 20000);
    expect(fuzz::run(in.child, {"readZKS", dir + "/chain0.spec"}) == TCL_OK, "chain of 15 includes");
    expect(fuzz::run(in.child, {"readZKS", dir + "/bad.spec"}) == TCL_ERROR &&
               std::string_view(Tcl_GetStringResult(in.child)) ==
                   "readZKS: bad.spec:3 must be within class",
           "error position");

    Tcl_Eval(in.master, "foreach v [zf invokehidden info vars] {zf invokehidden unset -nocomplain $v}");
    if (++runs % 1024 == 0) {
        if (fds < 0) {
            fds = openFds();
        }
        if (openFds() != fds) {
            std::system(("ls -l /proc/" + std::to_string(getpid()) + "/fd >&2").c_str());
            expect(false, "open file descriptors");
        }
    }
    return 0;
}
