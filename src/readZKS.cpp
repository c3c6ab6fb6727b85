/*
 * readZKS.cpp --
 *   readZKS, the specification file reader, and its token reader.
 *
 *   A specification file holds classes of attribute/value pairs plus include
 *   and source directives; every attribute becomes the element
 *   ZkZKS(class.attribute), set by evaluating a "set" command in the caller's
 *   scope.
 */
#include "zksInt.h"
#include "platform.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace zks {
namespace {

/*
 *----------------------------------------------------------------------
 * Reader state.
 *
 * The include bookkeeping is shared by every readZKS running on a thread:
 * the current depth, and per depth the line and file name that messages
 * show. TopDir is the directory of the top-level file, against which
 * includes are resolved. Names are kept as reader paths (platform.h): on
 * POSIX in the system's encoding, as the system and the files themselves
 * give them. Each thread has its own, so interpreters in different threads
 * can read at the same time.
 *----------------------------------------------------------------------
 */

constexpr int MaxNest = 16;            /* depths 0..15; an include at 16 fails */
constexpr std::size_t MaxToken = 9999; /* characters stored before the closer */

thread_local int NestLevel = 0;
thread_local std::array<int, MaxNest> ZksLineNo{};
thread_local std::array<std::string, MaxNest> ZksFileName;
thread_local std::string TopDir;

/*
 *----------------------------------------------------------------------
 * The token reader.
 *----------------------------------------------------------------------
 */

enum class TokenKind {
    word,
    classKeyword,
    sourceKeyword,
    includeKeyword,
    string,
    openBrace,
    closeBrace,
    end,
    tooLong,
};

using File = std::unique_ptr<FILE, int (*)(FILE *)>;

/*
 * Input --
 *   A file read through a block buffer of its own, one byte at a time. After
 *   the end of the file every read returns EOF, as stdio keeps its end-of-file
 *   indicator; a read error is remembered so that the caller does not
 *   mistake it for a clean end.
 */
struct Input {
    static constexpr std::size_t BufSize = 64 * 1024;

    FILE *file;
    std::unique_ptr<char[]> buf{new char[BufSize]};
    const char *pos = nullptr;
    const char *end = nullptr;
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
        std::size_t n = std::fread(buf.get(), 1, BufSize, file);
        if (n == 0) {
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
 * Token --
 *   The text a token is read into, after a prefix that the caller keeps,
 *   and the line counter that every line feed consumed advances.
 */
struct Token {
    Input &in;
    std::string &text;
    int &line;
    std::size_t stored = 0; /* characters of this token, closers excluded */

    /*
     * Stores a character that is not a closing delimiter, counting the line
     * feeds inside strings and groups; false past the limit.
     */
    bool store(int c)
    {
        if (stored == MaxToken) {
            return false;
        }
        text.push_back(static_cast<char>(c));
        ++stored;
        if (c == '\n') {
            ++line;
        }
        return true;
    }
};

/*
 * A string ("...") or a braced group ({...}, braces nest), from its opener
 * (stored) to its closer, which is kept but not counted; the whole is one
 * token of the given kind.
 */
TokenKind readDelimited(Token &t, char open, char close, TokenKind kind)
{
    int depth = 1;
    t.store(open);
    for (;;) {
        int c = t.in.get();
        if (c == EOF) {
            return TokenKind::end;
        }
        if (c == open && open != close) {
            ++depth;
        } else if (c == close && --depth == 0) {
            t.text.push_back(close);
            return kind;
        }
        if (!t.store(c)) {
            return TokenKind::tooLong;
        }
    }
}

/* A bare word from its first character c, ended by white space (consumed). */
TokenKind readBare(Token &t, int c, std::size_t start)
{
    t.store(c);
    for (;;) {
        c = t.in.get();
        if (c == EOF) {
            return TokenKind::end;
        }
        if (isSpace(c)) {
            if (c == '\n') {
                ++t.line;
            }
            break;
        }
        if (!t.store(c)) {
            return TokenKind::tooLong;
        }
    }
    std::string_view word(t.text.data() + start, t.stored);
    if (word == "class") {
        return TokenKind::classKeyword;
    }
    if (word == "source") {
        return TokenKind::sourceKeyword;
    }
    return word == "include" ? TokenKind::includeKeyword : TokenKind::word;
}

/*
 * readToken --
 *   Reads the next token of the file into text, from position start on (what
 *   text holds before start is a prefix that the caller keeps). With brace
 *   set, a "{" that starts a token comes back alone as openBrace;
 *   without it, it starts a braced group read whole as one word.
 * Results: the token kind. Side effects: line is advanced by every line feed
 *   consumed, and once for a comment that ends at the end of the file.
 */
TokenKind readToken(Input &in, std::string &text, std::size_t start, bool brace, int &line)
{
    text.resize(start);
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

    Token t{in, text, line};
    switch (c) {
    case EOF:
        return TokenKind::end;
    case '}':
        return TokenKind::closeBrace;
    case '"':
        return readDelimited(t, '"', '"', TokenKind::string);
    case '{':
        return brace ? TokenKind::openBrace : readDelimited(t, '{', '}', TokenKind::word);
    default:
        return readBare(t, c, start);
    }
}

/*
 *----------------------------------------------------------------------
 * Messages.
 *----------------------------------------------------------------------
 */

/*
 * setReadError --
 *   Sets the result to "readZKS: FILE:LINE MESSAGE" for the file being read
 *   at the current depth. The message may be the interpreter's result itself.
 */
void setReadError(Tcl_Interp *interp, std::string_view message)
{
    std::string text = "readZKS: ";
    text += readerPathToTcl(ZksFileName[NestLevel]);
    text += ':';
    text += std::to_string(ZksLineNo[NestLevel]);
    text += ' ';
    text += message;
    setResult(interp, text);
}

/* "readZKS: PATH: can't open", with the system's reason in errorCode. */
int canNotOpen(Tcl_Interp *interp, std::string_view path, int err)
{
    std::string text = "readZKS: ";
    text += readerPathToTcl(path);
    text += ": can't open";
    setResult(interp, text);
    return setPosixErrorCode(interp, err);
}

/*
 *----------------------------------------------------------------------
 * Statements.
 *----------------------------------------------------------------------
 */

/*
 * evalText --
 *   Evaluates a command text built from the file. Files are in the system
 *   encoding, as for "source": the text is converted first, so that every
 *   value is a proper string (a NUL byte becomes Tcl's own form of it, bytes
 *   above 127 characters of the system's encoding).
 */
int evalText(Tcl_Interp *interp, const std::string &text)
{
    std::string utf = fromSystemEncoding(text);
    return Tcl_EvalEx(interp, utf.data(), static_cast<Tcl_Size>(utf.size()), 0);
}

/* What a statement leaves the reader to do next. */
enum class Next { read, end, fail };

/* One file being read: its input, the token text, the open class. */
struct Reader {
    Tcl_Interp *interp;
    Input in;
    std::string text;      /* each token, and the command texts built on it */
    std::string className; /* non-empty exactly while a class is open */
    int &line;

    TokenKind next(std::size_t start, bool brace)
    {
        return readToken(in, text, start, brace, line);
    }

    /*
     * Reports an error. A failed read ends the file early, so whatever the
     * grammar then finds wrong, the read error is the cause that is reported.
     */
    Next fail(const char *reason, std::string_view message)
    {
        if (in.readErrno != 0) {
            setReadError(interp, std::string("read error: ") + Tcl_ErrnoMsg(in.readErrno));
            setPosixErrorCode(interp, in.readErrno);
        } else {
            setReadError(interp, message);
            setErrorCode(interp, "READZKS", reason,
                {readerPathToTcl(ZksFileName[NestLevel]), std::to_string(ZksLineNo[NestLevel])});
        }
        return Next::fail;
    }

    /* A failed read, whatever the token reader made of what it got. */
    Next failedRead()
    {
        return fail(nullptr, {});
    }

    /* A failed evaluation, with the interpreter's own message and errorCode. */
    Next failedEval()
    {
        std::string message = Tcl_GetStringResult(interp);
        setReadError(interp, message);
        return Next::fail;
    }
};

int readSpec(Tcl_Interp *interp, const std::string &path);

/*
 * readAttribute --
 *   The attribute statement: the name just read in r.text, then its value,
 *   evaluated as "set ZkZKS(CLASS.NAME) VALUE" in the caller's scope. A
 *   closing brace is no value: the one-argument set then reads the element.
 */
Next readAttribute(Reader &r)
{
    if (r.className.empty()) {
        return r.fail("SYNTAX", "must be within class");
    }
    std::string prefix = "set ZkZKS(";
    prefix += r.className;
    prefix += '.';
    prefix += r.text;
    prefix += ") ";
    r.text = prefix;
    TokenKind valueKind = r.next(r.text.size(), false);
    if (r.in.readErrno != 0) {
        return r.failedRead();
    }
    if (valueKind == TokenKind::tooLong) {
        return r.fail("TOO_LONG", "string too long (" + std::to_string(MaxToken) + ")");
    }
    if (evalText(r.interp, r.text) != TCL_OK) {
        return r.failedEval();
    }
    return valueKind == TokenKind::end ? Next::end : Next::read;
}

/* include "NAME": reads NAME one depth deeper, joined with TopDir when bare. */
Next readInclude(Reader &r)
{
    if (r.next(0, false) != TokenKind::string) {
        return r.fail("SYNTAX", "expected string");
    }
    std::string bytes = r.text.substr(1, r.text.size() - 2);
    std::string name = readerPathFromFile(bytes);
    std::string includePath = name;
    if (fileNameStart(name) == 0 && !TopDir.empty()) {
        includePath = TopDir + '/' + name;
    }
    if (bytes.find('\0') != std::string::npos) {
        canNotOpen(r.interp, includePath, EINVAL); /* the system would read a name cut short */
        return Next::fail;
    }
    if (NestLevel + 1 >= MaxNest) {
        return r.fail("NESTING", "exceeded include nesting limit (" + std::to_string(MaxNest) + ")");
    }
    ++NestLevel;
    int rc = readSpec(r.interp, includePath);
    --NestLevel;
    return rc == TCL_OK ? Next::read : Next::fail; /* the nested read set the message */
}

/* source "PATH": evaluated as "source "PATH"", substitutions and all. */
Next readSource(Reader &r)
{
    r.text += ' ';
    if (r.next(r.text.size(), false) != TokenKind::string) {
        return r.fail("SYNTAX", "expected string");
    }
    if (evalText(r.interp, r.text) != TCL_OK) {
        return r.failedEval();
    }
    return Next::read;
}

/* class NAME {: opens a class; classes do not nest. */
Next readClass(Reader &r)
{
    if (!r.className.empty()) {
        return r.fail("SYNTAX", "can't nest classes");
    }
    if (r.next(0, false) != TokenKind::word) {
        return r.fail("SYNTAX", "not valid class name");
    }
    r.className = r.text;
    if (r.next(0, true) != TokenKind::openBrace) {
        return r.fail("SYNTAX", "expected {");
    }
    return Next::read;
}

/*
 * readSpec --
 *   Reads one specification file at the current depth: the body of readZKS,
 *   and of every include, which calls it again one depth deeper. The path
 *   is a reader path (platform.h).
 * Results: TCL_OK at a clean end of the file, TCL_ERROR after the first
 *   error, with the message in the interpreter's result.
 * Side effects: elements of ZkZKS and whatever the evaluated commands do.
 */
int readSpec(Tcl_Interp *interp, const std::string &path)
{
    /* Bytes as they are: CR is white space already, and 0x1A is no end. */
    int err = 0;
    File f(openForReading(path, &err), &std::fclose);
    if (!f) {
        return canNotOpen(interp, path, err);
    }

    ZksFileName[NestLevel] = path.substr(fileNameStart(path));
    ZksLineNo[NestLevel] = 1;
    if (NestLevel == 0) {
        TopDir = includeDirectory(path);
    }

    Reader r{interp, Input(f.get()), {}, {}, ZksLineNo[NestLevel]};
    for (;;) {
        TokenKind kind = r.next(0, false);
        Next next;
        if (r.in.readErrno != 0) {
            next = r.failedRead();
        } else {
            switch (kind) {
            case TokenKind::end:
                return TCL_OK;
            case TokenKind::tooLong:
                next = r.fail("TOO_LONG", "token too long");
                break;
            case TokenKind::classKeyword:
                next = readClass(r);
                break;
            case TokenKind::sourceKeyword:
                next = readSource(r);
                break;
            case TokenKind::includeKeyword:
                next = readInclude(r);
                break;
            case TokenKind::closeBrace:
                r.className.clear();
                next = Next::read;
                break;
            default: /* word, string: an attribute name */
                next = readAttribute(r);
                break;
            }
        }
        if (next != Next::read) {
            return next == Next::end ? TCL_OK : TCL_ERROR;
        }
    }
}

} // namespace

/*
 * readZKSCmd --
 *   "readZKS path": reads a specification file into the array ZkZKS. Words
 *   beyond the path are ignored.
 * Results: TCL_OK with the result of the last evaluated command (empty when
 *   none), or TCL_ERROR with a message naming the file and line.
 * Side effects: elements of ZkZKS; sourced scripts run.
 */
int readZKSCmd(ClientData, Tcl_Interp *interp, Tcl_Size objc, Tcl_Obj *const objv[])
{
    if (objc < 2) {
        setResult(interp, "readZKS: expected filename");
        Tcl_SetErrorCode(interp, "TCL", "WRONGARGS", nullptr);
        return TCL_ERROR;
    }
    /*
     * A read started from a sourced script or a substitution in a value runs
     * at the depth of the read that is in progress; the outer read gets its
     * file name, line and directory back, so its later messages and includes
     * stay right.
     */
    CallUnderWay call;
    std::string savedName = std::move(ZksFileName[NestLevel]);
    int savedLine = ZksLineNo[NestLevel];
    std::string savedDir = TopDir;
    int savedLevel = NestLevel;

    std::string path;
    int rc = readerPathFromTcl(wordView(objv[1]), path) ? readSpec(interp, path)
                                                        : canNotOpen(interp, path, EINVAL);

    NestLevel = savedLevel;
    ZksFileName[NestLevel] = std::move(savedName);
    ZksLineNo[NestLevel] = savedLine;
    TopDir = std::move(savedDir);
    return rc;
}

} // namespace zks
