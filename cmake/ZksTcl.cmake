# Finds the Tcl that a tclsh belongs to (TCL_TCLSH, by default the system's
# tclsh): its version, headers, stub library and library, read from the
# tclConfig.sh installed with it. Sets TCL_VERSION, TCL_MAJOR_VERSION,
# TCL_INCLUDE_PATH, TCL_STUB_LIBRARY, TCL_LIBRARY, TCL_LIB_SPEC (the linker
# flags for TCL_LIBRARY) and TCL_PKG_PATH.
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

find_file(TCL_CONFIG_SH tclConfig.sh
  PATHS "${_zks_libdir}/tcl${_zks_version}" "${_zks_library}" "${_zks_library}/.."
        "/usr/lib/tcl${_zks_version}" "${_zks_libdir}"
  NO_DEFAULT_PATH)
if(NOT TCL_CONFIG_SH)
  message(FATAL_ERROR "tclConfig.sh of Tcl ${_zks_patchlevel} not found: install its development "
    "files (Debian: tcl${_zks_version}-dev) or set TCL_CONFIG_SH")
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
string(REGEX REPLACE "^-I" "" _zks_include "${_zks_cfg_TCL_INCLUDE_SPEC}")
find_path(TCL_INCLUDE_PATH tcl.h PATHS "${_zks_include}" NO_DEFAULT_PATH)
# Looked up rather than taken as written, so that a cross build finds it in
# the target's root (CMAKE_SYSROOT).
get_filename_component(_zks_stub_dir "${_zks_cfg_TCL_STUB_LIB_PATH}" DIRECTORY)
get_filename_component(_zks_stub_name "${_zks_cfg_TCL_STUB_LIB_PATH}" NAME)
find_file(TCL_STUB_LIBRARY "${_zks_stub_name}" PATHS "${_zks_stub_dir}" NO_DEFAULT_PATH)
string(REGEX MATCH "-L([^ ]+)" _ "${_zks_cfg_TCL_LIB_SPEC}")
find_library(TCL_LIBRARY NAMES tcl${TCL_VERSION} PATHS "${CMAKE_MATCH_1}" NO_DEFAULT_PATH)
set(TCL_LIB_SPEC "${_zks_cfg_TCL_LIB_SPEC}")
set(TCL_PKG_PATH "${_zks_pkgPath}")
if(NOT TCL_INCLUDE_PATH OR NOT EXISTS "${TCL_STUB_LIBRARY}")
  message(FATAL_ERROR "Tcl ${_zks_patchlevel}: tcl.h or the stub library missing (${TCL_CONFIG_SH})")
endif()
message(STATUS "Tcl ${_zks_patchlevel}: ${TCL_TCLSH}, ${TCL_STUB_LIBRARY}")
