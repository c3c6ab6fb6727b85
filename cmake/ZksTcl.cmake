# Finds the Tcl to build for: its version, headers, stub library and
# library, read from the tclConfig.sh installed with it. Sets TCL_VERSION,
# TCL_MAJOR_VERSION, TCL_INCLUDE_PATH, TCL_STUB_LIBRARY, TCL_LIBRARY,
# TCL_LIB_SPEC (the linker flags for TCL_LIBRARY), TCL_PKG_PATH, TCL_TCLSH
# and TCL_TCLSH_COMMAND (how the build runs that tclsh).
#
# A native build asks its tclsh (TCL_TCLSH, by default the system's) where
# that Tcl is. A cross build for Windows can't run the Windows tclsh to ask
# it: TCL_CONFIG_SH names that Tcl's tclConfig.sh (PREFIX/lib/tclConfig.sh),
# and the tclsh beside it (PREFIX/bin) runs under CMAKE_CROSSCOMPILING_EMULATOR
# (wine). Either way a tclConfig.sh of a Tcl for another system is refused.
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_NAME STREQUAL "Windows")
  # Unless given, one installed in the mingw-w64 root.
  find_file(TCL_CONFIG_SH tclConfig.sh PATHS /lib NO_DEFAULT_PATH)
  if(NOT TCL_CONFIG_SH)
    message(FATAL_ERROR "a cross build for Windows reads the Windows Tcl's tclConfig.sh: set "
      "TCL_CONFIG_SH to PREFIX/lib/tclConfig.sh of a Tcl built with win/configure "
      "--host=${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32 --prefix=PREFIX")
  endif()
  set(_zks_pkgPath "")
else()
  find_program(TCL_TCLSH NAMES tclsh tclsh8.6 DOC "The tclsh whose Tcl zks is built for")
  if(NOT TCL_TCLSH)
    message(FATAL_ERROR "tclsh not found (apt-get install tcl8.6-dev, or -DTCL_TCLSH=...)")
  endif()

  execute_process(COMMAND ${TCL_TCLSH} ${CMAKE_CURRENT_LIST_DIR}/tclinfo.tcl
    OUTPUT_VARIABLE _zks_tclinfo RESULT_VARIABLE _zks_rc ERROR_VARIABLE _zks_err)
  if(NOT _zks_rc EQUAL 0)
    message(FATAL_ERROR "${TCL_TCLSH} does not run: ${_zks_err}")
  endif()
  foreach(key patchlevel libdir library pkgPath)
    string(REGEX MATCH "${key}=([^\n]*)" _ "${_zks_tclinfo}")
    set(_zks_${key} "${CMAKE_MATCH_1}")
  endforeach()
  string(REGEX MATCH "^[0-9]+\\.[0-9]+" _zks_version "${_zks_patchlevel}")

  # Debian's place, also in a cross build's root (CMAKE_SYSROOT); no Windows Tcl's.
  set(_zks_config_dirs "${_zks_libdir}/tcl${_zks_version}" "${_zks_library}" "${_zks_library}/..")
  if(NOT WIN32)
    list(APPEND _zks_config_dirs "/usr/lib/tcl${_zks_version}")
  endif()
  find_file(TCL_CONFIG_SH tclConfig.sh PATHS ${_zks_config_dirs} "${_zks_libdir}" NO_DEFAULT_PATH)
  if(NOT TCL_CONFIG_SH)
    message(FATAL_ERROR "tclConfig.sh of Tcl ${_zks_patchlevel} not found: install its development "
      "files (Debian: tcl${_zks_version}-dev) or set TCL_CONFIG_SH")
  endif()
endif()

# tclConfig.sh is a shell script of NAME='value' lines.
file(STRINGS ${TCL_CONFIG_SH} _zks_config REGEX "^TCL_[A-Z_]+=")
foreach(line IN LISTS _zks_config)
  if(line MATCHES "^(TCL_[A-Z_]+)='?([^']*)'?$")
    set(_zks_cfg_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endif()
endforeach()

set(TCL_VERSION "${_zks_cfg_TCL_VERSION}")
set(TCL_MAJOR_VERSION "${_zks_cfg_TCL_MAJOR_VERSION}")
if(NOT TCL_VERSION MATCHES "^[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "${TCL_CONFIG_SH} gives no TCL_VERSION: not a tclConfig.sh")
endif()
if(_zks_version AND NOT TCL_VERSION STREQUAL _zks_version)
  message(FATAL_ERROR "${TCL_CONFIG_SH} is Tcl ${TCL_VERSION}'s, ${TCL_TCLSH} is Tcl ${_zks_patchlevel}")
endif()
# A Windows Tcl's modules are DLLs; a module built with another's would not load.
if((WIN32 OR CYGWIN) AND NOT _zks_cfg_TCL_SHLIB_SUFFIX STREQUAL ".dll"
    OR NOT (WIN32 OR CYGWIN) AND _zks_cfg_TCL_SHLIB_SUFFIX STREQUAL ".dll")
  message(FATAL_ERROR "${TCL_CONFIG_SH} is the tclConfig.sh of a Tcl for another system "
    "(its modules end in ${_zks_cfg_TCL_SHLIB_SUFFIX}), not for ${CMAKE_SYSTEM_NAME}")
endif()

# Each file is looked up where tclConfig.sh says it is (in a cross build's
# root, CMAKE_SYSROOT, if there is one), then where a Tcl installed from its
# own build keeps it next to tclConfig.sh: PREFIX/lib, PREFIX/include,
# PREFIX/bin. That second place serves a Tcl moved since it was built, and
# an MSYS2 Tcl, whose tclConfig.sh speaks of /mingw64.
get_filename_component(_zks_config_dir "${TCL_CONFIG_SH}" DIRECTORY)
string(REPLACE "." "" _zks_nodot "${TCL_VERSION}")
string(REGEX REPLACE "^-I" "" _zks_include "${_zks_cfg_TCL_INCLUDE_SPEC}")
find_path(TCL_INCLUDE_PATH tcl.h PATHS "${_zks_include}" NO_DEFAULT_PATH)
find_path(TCL_INCLUDE_PATH tcl.h PATHS "${_zks_config_dir}/../include"
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
get_filename_component(_zks_stub_dir "${_zks_cfg_TCL_STUB_LIB_PATH}" DIRECTORY)
get_filename_component(_zks_stub_name "${_zks_cfg_TCL_STUB_LIB_PATH}" NAME)
find_file(TCL_STUB_LIBRARY "${_zks_stub_name}" PATHS "${_zks_stub_dir}" NO_DEFAULT_PATH)
find_file(TCL_STUB_LIBRARY "${_zks_stub_name}" PATHS "${_zks_config_dir}"
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
# tcl8.6 on Linux, tcl86 (libtcl86.dll.a) on Windows.
string(REGEX MATCH "-L([^ ]+)" _ "${_zks_cfg_TCL_LIB_SPEC}")
find_library(TCL_LIBRARY NAMES tcl${TCL_VERSION} tcl${_zks_nodot} PATHS "${CMAKE_MATCH_1}"
  NO_DEFAULT_PATH)
find_library(TCL_LIBRARY NAMES tcl${TCL_VERSION} tcl${_zks_nodot} PATHS "${_zks_config_dir}"
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
set(TCL_LIB_SPEC "${_zks_cfg_TCL_LIB_SPEC}")
set(TCL_PKG_PATH "${_zks_pkgPath}")
if(NOT TCL_INCLUDE_PATH OR NOT EXISTS "${TCL_STUB_LIBRARY}")
  message(FATAL_ERROR "Tcl ${TCL_VERSION}: tcl.h or the stub library missing (${TCL_CONFIG_SH})")
endif()

if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_NAME STREQUAL "Windows")
  find_program(TCL_TCLSH NAMES tclsh${_zks_nodot}.exe tclsh${_zks_nodot}t.exe
    PATHS "${_zks_config_dir}/../bin" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
    DOC "The Windows tclsh that runs the tests")
  set(TCL_TCLSH_COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${TCL_TCLSH})
  if(NOT TCL_TCLSH OR NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(STATUS "Tcl ${TCL_VERSION} for Windows: no tclsh${_zks_nodot}.exe beside it or no "
      "wine (CMAKE_CROSSCOMPILING_EMULATOR): the tests and the demo can't run here")
  endif()
  set(_zks_patchlevel "${_zks_cfg_TCL_VERSION}${_zks_cfg_TCL_PATCH_LEVEL}")
  if(_zks_cfg_TCL_PATCH_LEVEL MATCHES "^[0-9]+\\.")
    set(_zks_patchlevel "${_zks_cfg_TCL_PATCH_LEVEL}")
  endif()
else()
  set(TCL_TCLSH_COMMAND ${TCL_TCLSH})
endif()
message(STATUS "Tcl ${_zks_patchlevel}: ${TCL_TCLSH}, ${TCL_STUB_LIBRARY}")
