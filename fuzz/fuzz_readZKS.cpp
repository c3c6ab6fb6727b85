/*
 * fuzz_readZKS.cpp --
 *   Fuzzes the specification reader on file contents. The file may include
 *   itself and the files of a small fixed tree; after every input the reader
 *   must still read a chain of includes 15 deep (so the depth was restored)
 *   and report a known error with the right file and line.
 */
#include "harness.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace {

std::string dir;
fuzz::Interp in;

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

void setUp()
{
    char tmpl[] = "/tmp/zks-fuzz-XXXXXX";
    dir = mkdtemp(tmpl);
    (void)!chdir(dir.c_str()); /* names with a slash resolve from here */
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
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (setUp(), true);
    static unsigned long runs = 0;
    static int fds = -1; /* taken once the interpreter has settled */
    (void)ready;

    writeFile("fuzz.spec", std::string_view(reinterpret_cast<const char *>(data), size));
    fuzz::allowCommands(in, 20000);
    fuzz::run(in.child, {"readZKS", dir + "/fuzz.spec"});

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
