/*
 * platformPosix.cpp --
 *   The platform layer (platform.h) for POSIX systems: Linux with glibc or
 *   musl, macOS, the BSDs.
 */
#include "zksInt.h"
#include "platform.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace zks {
namespace {

/* Platform libraries whose symbols later loads in the process may need. */
constexpr const char *preloads[] = {
    "/opt/QX/lib/libqxsnmp.so.1",
    "/opt/QX/lib/libqx.so.1",
};

#ifdef __GLIBC__
/* The resolver's status (h_errno) by the name its header gives it. */
const char *resolverStatusName(int status)
{
    switch (status) {
    case HOST_NOT_FOUND:
        return "HOST_NOT_FOUND";
    case TRY_AGAIN:
        return "TRY_AGAIN";
    case NO_DATA:
        return "NO_DATA";
    default:
        return "NO_RECOVERY";
    }
}

/*
 * firstInHostsOrder --
 *   firstIPv4Address through gethostbyname2_r, growing its work buffer
 *   while the resolver reports it too small.
 */
bool firstInHostsOrder(const char *name, std::uint32_t *address, const char **reason)
{
    constexpr std::size_t maxBuffer = 1 << 20;
    hostent entry;
    std::string buffer(1024, '\0');
    hostent *found = nullptr;
    int status = NO_RECOVERY;
    for (;;) {
        found = nullptr;
        status = NO_RECOVERY;
        int rc = gethostbyname2_r(name, AF_INET, &entry, buffer.data(), buffer.size(), &found,
            &status);
        if (rc == ERANGE && buffer.size() < maxBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc != 0) {
            found = nullptr;
        }
        break;
    }
    /* Asked for AF_INET, the resolver gives 4-byte addresses only. */
    if (found == nullptr || entry.h_addr_list[0] == nullptr) {
        *reason = found != nullptr ? "NO_DATA" : resolverStatusName(status);
        return false;
    }
    in_addr first;
    std::memcpy(&first, entry.h_addr_list[0], sizeof first);
    *address = ntohl(first.s_addr);
    return true;
}
#endif

/* getaddrinfo's reason by the resolver's word for it. */
const char *addrinfoStatusName(int status)
{
    switch (status) {
    case EAI_NONAME:
        return "HOST_NOT_FOUND";
    case EAI_AGAIN:
        return "TRY_AGAIN";
#if defined(EAI_NODATA) && EAI_NODATA != EAI_NONAME
    case EAI_NODATA:
        return "NO_DATA";
#endif
#if defined(EAI_ADDRFAMILY) && EAI_ADDRFAMILY != EAI_NONAME
    case EAI_ADDRFAMILY: /* addresses, but none of IPv4 */
        return "NO_DATA";
#endif
    default:
        return "NO_RECOVERY";
    }
}

struct AddrinfoFree {
    void operator()(addrinfo *list) const { freeaddrinfo(list); }
};

/*
 * firstByAddrinfo --
 *   firstIPv4Address through getaddrinfo, which every POSIX system has.
 *   Compiled everywhere, used where gethostbyname2_r is missing.
 */
[[maybe_unused]] bool firstByAddrinfo(const char *name, std::uint32_t *address,
    const char **reason)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; /* one entry per address, not one per socket type */
    addrinfo *list = nullptr;
    int rc = getaddrinfo(name, nullptr, &hints, &list);
    std::unique_ptr<addrinfo, AddrinfoFree> held(list);
    if (rc != 0 || list == nullptr || list->ai_family != AF_INET) {
        *reason = rc != 0 ? addrinfoStatusName(rc) : "NO_DATA";
        return false;
    }
    *address = ntohl(reinterpret_cast<const sockaddr_in *>(list->ai_addr)->sin_addr.s_addr);
    return true;
}

} // namespace

bool readerPathFromTcl(std::string_view tclText, std::string &path)
{
    return toSystemPath(tclText, path);
}

std::string readerPathFromFile(std::string_view bytes)
{
    return std::string(bytes);
}

std::string readerPathToTcl(std::string_view path)
{
    return fromSystemEncoding(path);
}

std::size_t fileNameStart(std::string_view path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

std::string includeDirectory(std::string_view path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::FILE *openForReading(const std::string &path, int *err)
{
    if (path.find('\0') != std::string::npos) {
        *err = EINVAL; /* the system would read a name cut short */
        return nullptr;
    }
    errno = 0;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *err = errno != 0 ? errno : EIO;
        return nullptr;
    }
    struct stat st;
    int statErr = fstat(fileno(f), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (statErr != 0) {
        std::fclose(f);
        *err = statErr;
        return nullptr;
    }
    return f;
}

int changeMode(std::string_view tclPath, int mode)
{
    std::string native;
    if (!toSystemPath(tclPath, native)) {
        return EINVAL;
    }
    return ::chmod(native.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

bool firstIPv4Address(const char *name, std::uint32_t *address, const char **reason)
{
    /*
     * glibc's getaddrinfo sorts a name's addresses by destination address
     * selection (RFC 3484, gai.conf), where gethostbyname2_r keeps the host
     * database's order: /etc/hosts listing 10.20.30.40, 203.0.113.9,
     * 192.0.2.77 and 127.0.0.5 for one name, getaddrinfo gives 127.0.0.5
     * first. So glibc keeps its own call.
     */
#ifdef __GLIBC__
    return firstInHostsOrder(name, address, reason);
#else
    return firstByAddrinfo(name, address, reason);
#endif
}

bool officialHostName(std::uint32_t address, std::string *name)
{
    /*
     * getnameinfo asks what gethostbyaddr asks and gives the entry's
     * official name; with NI_NAMEREQD an address without one fails where
     * some C libraries (musl) would write it out in digits.
     */
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(address);
    std::string host(NI_MAXHOST, '\0');
    for (;;) {
        int rc = getnameinfo(reinterpret_cast<const sockaddr *>(&sin), sizeof sin, host.data(),
            static_cast<socklen_t>(host.size()), nullptr, 0, NI_NAMEREQD);
#ifdef EAI_OVERFLOW
        if (rc == EAI_OVERFLOW && host.size() < (1u << 16)) {
            host.resize(host.size() * 4);
            continue;
        }
#endif
        if (rc != 0) {
            return false;
        }
        host.resize(std::strlen(host.c_str()));
        *name = host;
        return true;
    }
}

void pinModule()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&pinModule), &info) != 0 && info.dli_fname != nullptr) {
        /* The handle is never closed: that is the point. */
        dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    }
}

void preloadPlatformLibraries()
{
    for (const char *path : preloads) {
        dlopen(path, RTLD_LAZY | RTLD_GLOBAL); /* the handle stays with the loader */
    }
}

bool localTime(std::int64_t seconds, std::tm *local)
{
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm result{};
    tzset(); /* localtime_r need not look at TZ again by itself */
    if (localtime_r(&t, &result) == nullptr) {
        return false;
    }
    *local = result;
    return true;
}

} // namespace zks
