/*
 * platformWin.cpp --
 *   The platform layer (platform.h) for Windows: paths through the
 *   wide-character calls, Winsock's resolver, the module pinned with
 *   GetModuleHandleEx.
 */
#include "zksInt.h"
#include "platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <io.h>
#include <sys/stat.h>
#include <wchar.h>

#include <cerrno>
#include <memory>

namespace zks {
namespace {

/*
 * wideFromTcl --
 *   A Tcl string as Windows' wide characters, converted as Tcl's own file
 *   commands convert names for the system.
 * Results: false when the text holds a NUL, which would cut a name short.
 */
bool wideFromTcl(std::string_view text, std::wstring &wide)
{
    Tcl_DString ds;
    const auto *w = reinterpret_cast<const wchar_t *>(
        Tcl_WinUtfToTChar(text.data(), static_cast<int>(text.size()), &ds));
    wide.assign(w, static_cast<std::size_t>(Tcl_DStringLength(&ds)) / sizeof(wchar_t));
    Tcl_DStringFree(&ds);
    return wide.find(L'\0') == std::wstring::npos;
}

/* Windows' wide characters as a Tcl string. */
std::string tclFromWide(const wchar_t *wide)
{
    Tcl_DString ds;
    Tcl_WinTCharToUtf(reinterpret_cast<const TCHAR *>(wide), -1, &ds);
    std::string text(Tcl_DStringValue(&ds), static_cast<std::size_t>(Tcl_DStringLength(&ds)));
    Tcl_DStringFree(&ds);
    return text;
}

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

/* The length of a drive prefix ("C:") at the start of path, 0 when there is none. */
std::size_t drivePrefix(std::string_view path)
{
    bool letter = path.size() >= 2
        && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return letter && path[1] == ':' ? 2 : 0;
}

/*
 * Winsock for the resolver, started on the first lookup and never stopped:
 * Tcl starts it only for its own sockets, and a script may look names up
 * before it opens any. The module stays loaded, so nothing outlives its
 * code. False when it could not start.
 */
bool winsockStarted()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

/* Winsock's reason by the resolver's word for it. */
const char *resolverStatusName(int status)
{
    switch (status) {
    case WSAHOST_NOT_FOUND:
        return "HOST_NOT_FOUND";
    case WSATRY_AGAIN:
        return "TRY_AGAIN";
    case WSANO_DATA:
        return "NO_DATA";
    default:
        return "NO_RECOVERY";
    }
}

struct AddrinfoFree {
    void operator()(ADDRINFOW *list) const { FreeAddrInfoW(list); }
};

} // namespace

bool readerPathFromTcl(std::string_view tclText, std::string &path)
{
    path.assign(tclText);
    std::wstring wide;
    return wideFromTcl(tclText, wide);
}

std::string readerPathFromFile(std::string_view bytes)
{
    return fromSystemEncoding(bytes);
}

std::string readerPathToTcl(std::string_view path)
{
    return std::string(path);
}

std::size_t fileNameStart(std::string_view path)
{
    std::size_t start = drivePrefix(path);
    for (std::size_t i = start; i < path.size(); ++i) {
        if (isSeparator(path[i])) {
            start = i + 1;
        }
    }
    return start;
}

std::string includeDirectory(std::string_view path)
{
    std::size_t start = fileNameStart(path);
    if (start == 0) {
        return std::string();
    }
    if (!isSeparator(path[start - 1])) {
        /* "C:name": the drive's current directory, which "C:./NAME" keeps. */
        return std::string(path.substr(0, start)) + '.';
    }
    return std::string(path.substr(0, start - 1));
}

std::FILE *openForReading(const std::string &path, int *err)
{
    std::wstring wide;
    if (!wideFromTcl(path, wide)) {
        *err = EINVAL;
        return nullptr;
    }
    errno = 0;
    std::FILE *f = _wfopen(wide.c_str(), L"rb");
    if (f == nullptr) {
        *err = errno != 0 ? errno : EIO;
        /* Opening a directory is refused as any access is; say what it is. */
        DWORD attributes = GetFileAttributesW(wide.c_str());
        if (*err == EACCES && attributes != INVALID_FILE_ATTRIBUTES
            && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            *err = EISDIR;
        }
        return nullptr;
    }
    return f;
}

int changeMode(std::string_view tclPath, int mode)
{
    std::wstring wide;
    if (!wideFromTcl(tclPath, wide)) {
        return EINVAL;
    }
    errno = 0;
    int flags = (mode & 0200) != 0 ? _S_IREAD | _S_IWRITE : _S_IREAD;
    if (_wchmod(wide.c_str(), flags) != 0) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

bool firstIPv4Address(const char *name, std::uint32_t *address, const char **reason)
{
    std::wstring wide;
    if (!winsockStarted()) {
        *reason = "NO_RECOVERY";
        return false;
    }
    if (!wideFromTcl(name, wide)) {
        *reason = "HOST_NOT_FOUND";
        return false;
    }
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; /* one entry per address, not one per socket type */
    ADDRINFOW *list = nullptr;
    int rc = GetAddrInfoW(wide.c_str(), nullptr, &hints, &list);
    std::unique_ptr<ADDRINFOW, AddrinfoFree> held(list);
    if (rc != 0 || list == nullptr || list->ai_family != AF_INET) {
        *reason = rc != 0 ? resolverStatusName(rc) : "NO_DATA";
        return false;
    }
    *address = ntohl(reinterpret_cast<const sockaddr_in *>(list->ai_addr)->sin_addr.s_addr);
    return true;
}

bool officialHostName(std::uint32_t address, std::string *name)
{
    if (!winsockStarted()) {
        return false;
    }
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(address);
    std::wstring host(NI_MAXHOST, L'\0');
    int rc = GetNameInfoW(reinterpret_cast<const sockaddr *>(&sin), sizeof sin, host.data(),
        static_cast<DWORD>(host.size()), nullptr, 0, NI_NAMEREQD);
    if (rc != 0) {
        return false;
    }
    *name = tclFromWide(host.c_str());
    return true;
}

void pinModule()
{
    HMODULE module = nullptr;
    /* The pin lasts until the process ends; the handle needs no release. */
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
        reinterpret_cast<LPCWSTR>(&pinModule), &module);
}

void preloadPlatformLibraries()
{
    /* The platform's libraries and global symbol scope are POSIX ones. */
}

bool localTime(std::int64_t seconds, std::tm *local)
{
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm result{};
    _tzset(); /* localtime_s need not look at TZ again by itself */
    if (localtime_s(&result, &t) != 0) {
        return false;
    }
    *local = result;
    return true;
}

} // namespace zks
