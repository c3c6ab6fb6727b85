/*
 * platform.h --
 *   What differs between POSIX and Windows, behind plain functions: files
 *   opened for reading, permission changes, the resolver, keeping the module
 *   loaded, the platform preloads, local time and the directory part of a
 *   path. platformPosix.cpp and platformWin.cpp each define all of them; the
 *   build compiles the one for its target. The command files call these and
 *   test no platform themselves.
 */
#ifndef ZKS_PLATFORM_H
#define ZKS_PLATFORM_H

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

namespace zks {

/*
 *----------------------------------------------------------------------
 * Paths as readZKS keeps, splits and joins them ("reader paths"). On POSIX
 * they are in the system's encoding, the bytes the system takes, so that a
 * name read from a file reaches the system byte for byte. On Windows they
 * are Tcl's strings, which the wide-character calls take whole, so that
 * any name Tcl can write can be opened.
 *----------------------------------------------------------------------
 */

/* A reader path from a Tcl string. False when it holds a NUL: no file has such a name. */
bool readerPathFromTcl(std::string_view tclText, std::string &path);

/* A reader path from the bytes of an include name, in the system's encoding. */
std::string readerPathFromFile(std::string_view bytes);

/* A reader path as a Tcl string, for messages. */
std::string readerPathToTcl(std::string_view path);

/*
 * Where the file name of a path starts, past its directory part: the part
 * up to its last separator ("/"; on Windows "\\" as well, and a drive
 * prefix such as "C:"). 0 when the path has no directory part.
 */
std::size_t fileNameStart(std::string_view path);

/*
 * The directory against which readZKS joins bare include names as
 * "DIR/NAME": the directory part without its last separator. Empty when
 * there is none, or when that separator is the path's first character.
 */
std::string includeDirectory(std::string_view path);

/*
 * openForReading --
 *   Opens a reader path for reading, as bytes: no line-end translation and
 *   no end-of-file byte.
 * Results: the stream, or null with *err set to the system's reason
 *   (EISDIR for a directory, EINVAL for a name the system cannot take).
 */
std::FILE *openForReading(const std::string &path, int *err);

/*
 * changeMode --
 *   Gives the file named by a Tcl string the permission bits mode (0 to
 *   07777). Windows keeps only a read-only attribute: the file is made
 *   read-only when mode denies its owner writing (0200 clear), writable
 *   otherwise; the other bits have no effect there.
 * Results: 0, or the system's reason (errno; EINVAL for a name holding NUL).
 */
int changeMode(std::string_view tclPath, int mode);

/*
 * firstIPv4Address --
 *   The first IPv4 address of a host name, in the host database's order,
 *   as a host-order number. The name goes to the resolver as Tcl gives it.
 * Results: true with *address set; false with *reason set to the
 *   resolver's reason as a word: HOST_NOT_FOUND, TRY_AGAIN, NO_RECOVERY or
 *   NO_DATA (the name has no IPv4 address).
 */
bool firstIPv4Address(const char *name, std::uint32_t *address, const char **reason);

/*
 * officialHostName --
 *   The official name of an IPv4 address, given as a host-order number.
 * Results: true with *name set (a Tcl string); false when the address has
 *   no name or the resolver fails, whatever its reason.
 */
bool officialHostName(std::uint32_t address, std::string *name);

/*
 * pinModule --
 *   Keeps the module holding this code loaded for the life of the process,
 *   whatever the loader is later asked to do. Once is enough; more calls
 *   are harmless.
 */
void pinModule();

/*
 * preloadPlatformLibraries --
 *   Loads the management platform's libraries with their symbols global,
 *   for what the process loads later; missing ones are passed over. POSIX
 *   only: on Windows there is nothing to load.
 */
void preloadPlatformLibraries();

/*
 * localTime --
 *   seconds since the epoch as local time, following a change of TZ as
 *   ctime would. Thread-safe.
 * Results: false, *local untouched, when the time has no local form.
 */
bool localTime(std::int64_t seconds, std::tm *local);

} // namespace zks

#endif /* ZKS_PLATFORM_H */
