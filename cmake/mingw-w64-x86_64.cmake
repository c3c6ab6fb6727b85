# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DTCL_CONFIG_SH=WINTCL/lib/tclConfig.sh
# where WINTCL is a Tcl built for Windows (win/configure --host=x86_64-w64-mingw32).
# With wine64 installed, ctest runs the suites with that Tcl's tclsh under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZKS_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ZKS_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ZKS_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${ZKS_MINGW_TRIPLET}-windres)

# Headers and libraries from the mingw-w64 root, programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ZKS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows programs (the tests' tclsh and host) run under wine where it is
# installed; Debian's wine64 puts its loader outside PATH.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(ZKS_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(ZKS_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZKS_WINE})
  endif()
endif()
