/*
 * zks.cpp --
 *   The specification file reader: the readZKS command, its token reader and
 *   its error formatter, and Zks_Init, the entry point of the whole package.
 *
 *   A specification file holds classes of attribute/value pairs plus include
 *   and source directives; every attribute becomes the element
 *   ZkZKS(class.attribute), set by evaluating a "set" command in the caller's
 *   scope.
 */
#include "zksInt.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

/*
 *----------------------------------------------------------------------
 * Reader state.
 *
 * The include bookkeeping is shared by every readZKS running on a thread:
 * the current depth, and per depth the line and file name that messages
 * show. Path is the directory of the top-level file, against which includes
 * are resolved. Each thread has its own, so interpreters in different
 * threads can read at the same time.
 *----------------------------------------------------------------------
 */

constexpr int MaxNest = 16;         /* depths 0..15; an include at 16 fails */
constexpr std::size_t MaxToken = 9999; /* characters stored before the closer */

thread_local int NestLevel = 0;
thread_local std::array<int, MaxNest> ZksLineNo{};
thread_local std::array<std::string, MaxNest> ZksFileName;
thread_local std::string Path;

/*
 *----------------------------------------------------------------------
 * The token reader.
 *----------------------------------------------------------------------
 */

enum TokenKind {
    TOKEN_WORD,
    TOKEN_CLASS,
    TOKEN_SOURCE,
    TOKEN_INCLUDE,
    TOKEN_STRING,
    TOKEN_OPEN_BRACE,
    TOKEN_CLOSE_BRACE,
    TOKEN_END,
    TOKEN_TOO_LONG,
};

using zks::isSpace;

using File = std::unique_ptr<FILE, int (*)(FILE *)>;

/*
 * Input --
 *   A file read through a block buffer of its own, one byte at a time. After
 *   the end of the file (or a read error, which is remembered so that the
 *   caller does not mistake it for a clean end) every read returns EOF.
 */
struct Input {
    static constexpr std::size_t BufSize = 64 * 1024;

    FILE *file;
    std::unique_ptr<char[]> buf{new char[BufSize]};
    const char *pos = nullptr;
    const char *end = nullptr;
    bool done = false;
    int readErrno = 0; /* non-zero once a read has failed */

    explicit Input(FILE *f) : file(f) {}

    int get()
    {
        if (pos != end) {
            return static_cast<unsigned char>(*pos++);
        }
        return refill() ? static_cast<unsigned char>(*pos++) : EOF;
    }

    bool refill()
    {
        if (done) {
            return false;
        }
        std::size_t n = std::fread(buf.get(), 1, BufSize, file);
        if (n == 0) {
            done = true;
            if (std::ferror(file)) {
                readErrno = errno != 0 ? errno : EIO;
            }
            return false;
        }
        pos = buf.get();
        end = pos + n;
        return true;
    }

    /* Discards everything up to and including the next line feed. */
    void skipLine()
    {
        for (;;) {
            if (pos == end && !refill()) {
                return;
            }
            const void *nl = std::memchr(pos, '\n', static_cast<std::size_t>(end - pos));
            if (nl != nullptr) {
                pos = static_cast<const char *>(nl) + 1;
                return;
            }
            pos = end;
        }
    }
};

/*
 * get_token --
 *   Reads the next token of the file into text, from position start on (what
 *   text holds before start is a prefix that the caller keeps). With brace
 *   set, a "{" that starts a token comes back alone as TOKEN_OPEN_BRACE;
 *   without it, it starts a braced group read whole as one word.
 * Results: the token kind. Side effects: line is advanced by every line feed
 *   consumed, and once for a comment that ends at the end of the file.
 */
int get_token(Input &in, std::string &text, std::size_t start, bool brace, int &line)
{
    text.resize(start);
    std::size_t stored = 0;
    /* Stores a character that is not a closing delimiter; false past the limit. */
    auto store = [&](int c) {
        if (stored == MaxToken) {
            return false;
        }
        text.push_back(static_cast<char>(c));
        ++stored;
        return true;
    };

    int c;
    for (;;) {
        c = in.get();
        if (c == '#') {
            in.skipLine();
            ++line;
        } else if (c == '\n') {
            ++line;
        } else if (c == EOF || !isSpace(c)) {
            break;
        }
    }

    if (c == EOF) {
        return TOKEN_END;
    }
    if (c == '}') {
        return TOKEN_CLOSE_BRACE;
    }
    if (c == '"') {
        store(c);
        for (;;) {
            c = in.get();
            if (c == EOF) {
                return TOKEN_END;
            }
            if (c == '"') {
                text.push_back('"');
                return TOKEN_STRING;
            }
            if (!store(c)) {
                return TOKEN_TOO_LONG;
            }
            if (c == '\n') {
                ++line;
            }
        }
    }
    if (c == '{') {
        if (brace) {
            return TOKEN_OPEN_BRACE;
        }
        int depth = 1;
        store(c);
        for (;;) {
            c = in.get();
            if (c == EOF) {
                return TOKEN_END;
            }
            if (c == '{') {
                ++depth;
            } else if (c == '}' && --depth == 0) {
                text.push_back('}');
                return TOKEN_WORD;
            }
            if (!store(c)) {
                return TOKEN_TOO_LONG;
            }
            if (c == '\n') {
                ++line;
            }
        }
    }

    /* A bare word, ended by white space (consumed) or the end of the file. */
    store(c);
    for (;;) {
        c = in.get();
        if (c == EOF) {
            return TOKEN_END;
        }
        if (isSpace(c)) {
            if (c == '\n') {
                ++line;
            }
            break;
        }
        if (!store(c)) {
            return TOKEN_TOO_LONG;
        }
    }
    std::string_view word(text.data() + start, stored);
    switch (word[0]) {
    case 'c':
        return word == "class" ? TOKEN_CLASS : TOKEN_WORD;
    case 's':
        return word == "source" ? TOKEN_SOURCE : TOKEN_WORD;
    case 'i':
        return word == "include" ? TOKEN_INCLUDE : TOKEN_WORD;
    default:
        return TOKEN_WORD;
    }
}

/*
 *----------------------------------------------------------------------
 * The readZKS command.
 *----------------------------------------------------------------------
 */

/*
 * error --
 *   Sets the result to "readZKS: FILE:LINE MESSAGE" for the file being read
 *   at the current depth. The message may be the interpreter's result itself.
 */
void error(Tcl_Interp *interp, std::string_view message)
{
    std::string text = "readZKS: ";
    text += ZksFileName[NestLevel];
    text += ':';
    text += std::to_string(ZksLineNo[NestLevel]);
    text += ' ';
    text += message;
    zks::setResult(interp, text);
}

/* Reports a failed evaluation with the interpreter's own message. */
void errorFromResult(Tcl_Interp *interp)
{
    std::string message = Tcl_GetStringResult(interp);
    error(interp, message);
}

int canNotOpen(Tcl_Interp *interp, std::string_view path)
{
    std::string text = "readZKS: ";
    text += path;
    text += ": can't open";
    zks::setResult(interp, text);
    return TCL_ERROR;
}

/*
 * evalText --
 *   Evaluates a command text built from the file. Files are in the system
 *   encoding, as for "source": text with bytes above 127 is converted first,
 *   so that every value is a proper string (pure ASCII needs no work).
 */
int evalText(Tcl_Interp *interp, const std::string &text)
{
    bool ascii = true;
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        return Tcl_EvalEx(interp, text.data(), static_cast<int>(text.size()), 0);
    }
    Tcl_DString utf;
    Tcl_ExternalToUtfDString(nullptr, text.data(), static_cast<int>(text.size()), &utf);
    int rc = Tcl_EvalEx(interp, Tcl_DStringValue(&utf), Tcl_DStringLength(&utf), 0);
    Tcl_DStringFree(&utf);
    return rc;
}

/*
 * readSpec --
 *   Reads one specification file at the current depth: the body of readZKS,
 *   and of every include, which calls it again one depth deeper.
 * Results: TCL_OK at a clean end of the file, TCL_ERROR after the first
 *   error, with the message in the interpreter's result.
 * Side effects: elements of ZkZKS and whatever the evaluated commands do.
 */
int readSpec(Tcl_Interp *interp, const std::string &path)
{
    File f(std::fopen(path.c_str(), "r"), &std::fclose);
    struct stat st;
    if (!f || fstat(fileno(f.get()), &st) != 0 || S_ISDIR(st.st_mode)) {
        return canNotOpen(interp, path);
    }

    std::size_t slash = path.rfind('/');
    ZksFileName[NestLevel] = slash == std::string::npos ? path : path.substr(slash + 1);
    ZksLineNo[NestLevel] = 1;
    if (NestLevel == 0) {
        Path = slash == std::string::npos ? std::string() : path.substr(0, slash);
    }

    Input in(f.get());
    std::string text;          /* each token, and the command texts built on it */
    std::string className;     /* non-empty exactly while a class is open */
    text.reserve(MaxToken + 256);
    int &line = ZksLineNo[NestLevel];

    auto next = [&](std::size_t start, bool brace) {
        return get_token(in, text, start, brace, line);
    };
    /*
     * Reports an error. A failed read ends the file early, so whatever the
     * grammar then finds wrong, the read error is the cause that is reported.
     */
    auto fail = [&](std::string_view message) {
        if (in.readErrno != 0) {
            error(interp, std::string("read error: ") + Tcl_ErrnoMsg(in.readErrno));
        } else {
            error(interp, message);
        }
        return TCL_ERROR;
    };

    for (;;) {
        int kind = next(0, false);
        if (in.readErrno != 0) {
            return fail({});
        }
        switch (kind) {
        case TOKEN_END:
            return TCL_OK;

        case TOKEN_TOO_LONG:
            return fail("token too long");

        case TOKEN_CLASS:
            if (!className.empty()) {
                return fail("can't nest classes");
            }
            if (next(0, false) != TOKEN_WORD) {
                return fail("not valid class name");
            }
            className = text;
            if (next(0, true) != TOKEN_OPEN_BRACE) {
                return fail("expected {");
            }
            break;

        case TOKEN_SOURCE:
            text += ' ';
            if (next(text.size(), false) != TOKEN_STRING) {
                return fail("expected string");
            }
            if (evalText(interp, text) != TCL_OK) {
                errorFromResult(interp);
                return TCL_ERROR;
            }
            break;

        case TOKEN_INCLUDE: {
            if (next(0, false) != TOKEN_STRING) {
                return fail("expected string");
            }
            std::string name = text.substr(1, text.size() - 2);
            std::string includePath = name;
            if (name.find('/') == std::string::npos && !Path.empty()) {
                includePath = Path + '/' + name;
            }
            if (NestLevel + 1 >= MaxNest) {
                return fail("exceeded include nesting limit (" + std::to_string(MaxNest) + ")");
            }
            ++NestLevel;
            int rc = readSpec(interp, includePath);
            --NestLevel;
            if (rc != TCL_OK) {
                return TCL_ERROR; /* the nested read has set the message */
            }
            break;
        }

        case TOKEN_CLOSE_BRACE:
            className.clear();
            break;

        default: { /* TOKEN_WORD, TOKEN_STRING: an attribute name */
            if (className.empty()) {
                return fail("must be within class");
            }
            std::string prefix = "set ZkZKS(";
            prefix += className;
            prefix += '.';
            prefix += text;
            prefix += ") ";
            text = prefix;
            int valueKind = next(text.size(), false);
            if (in.readErrno != 0) {
                return fail({});
            }
            if (valueKind == TOKEN_TOO_LONG) {
                return fail("string too long (" + std::to_string(MaxToken) + ")");
            }
            /* A closing brace is no value: the one-argument set reads the element. */
            if (evalText(interp, text) != TCL_OK) {
                errorFromResult(interp);
                return TCL_ERROR;
            }
            if (valueKind == TOKEN_END) {
                return TCL_OK;
            }
            break;
        }
        }
    }
}

/*
 * tcl_readZKSCmd --
 *   "readZKS path": reads a specification file into the array ZkZKS.
 * Results: TCL_OK with the result of the last evaluated command (empty when
 *   none), or TCL_ERROR with a message naming the file and line.
 * Side effects: elements of ZkZKS; sourced scripts run.
 */
int tcl_readZKSCmd(ZKS_CMD_ARGS)
{
    if (argc < 2) {
        Tcl_SetResult(interp, const_cast<char *>("readZKS: expected filename"), TCL_STATIC);
        return TCL_ERROR;
    }
    /*
     * A read started from a sourced script or a substitution in a value runs
     * at the depth of the read that is in progress; the outer read gets its
     * file name, line and directory back, so its later messages and includes
     * stay right.
     */
    std::string savedName = std::move(ZksFileName[NestLevel]);
    int savedLine = ZksLineNo[NestLevel];
    std::string savedPath = Path;
    int savedLevel = NestLevel;

    int rc = readSpec(interp, argv[1]);

    NestLevel = savedLevel;
    ZksFileName[NestLevel] = std::move(savedName);
    ZksLineNo[NestLevel] = savedLine;
    Path = std::move(savedPath);
    return rc;
}

} // namespace

/*
 * Zks_Init --
 *   Creates readZKS, then the utility commands through Zk_Init.
 * Results: what Zk_Init returns.
 */
int Zks_Init(Tcl_Interp *interp)
{
    if (Tcl_InitStubs(interp, "8.6", 0) == nullptr) {
        return TCL_ERROR;
    }
    Tcl_CreateCommand(interp, "readZKS", tcl_readZKSCmd, nullptr, nullptr);
    return Zk_Init(interp);
}
