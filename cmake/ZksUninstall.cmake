# Removes what the last "cmake --install" of this build tree put in place,
# as its install_manifest.txt lists it (under the prefix given when
# configuring, or the one given to --prefix; under $DESTDIR when that is
# set, as it was for the install), then the directories of the library's
# own that this leaves empty. Run as
#   cmake -DMANIFEST=BUILD/install_manifest.txt -P ZksUninstall.cmake
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "${MANIFEST} not found: nothing was installed from this build tree")
endif()
file(STRINGS "${MANIFEST}" files)
set(dirs)
foreach(file IN LISTS files)
  set(file "$ENV{DESTDIR}${file}")
  if(EXISTS "${file}" OR IS_SYMLINK "${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
  endif()
  get_filename_component(dir "${file}" DIRECTORY)
  list(APPEND dirs "${dir}")
endforeach()
# The package directory, share/doc/zks and the CMake files' directory go
# when empty; directories that others share (include, man, pkgconfig) stay.
list(REMOVE_DUPLICATES dirs)
foreach(dir IN LISTS dirs)
  get_filename_component(name "${dir}" NAME)
  file(GLOB left "${dir}/*")
  if(name MATCHES "zks" AND IS_DIRECTORY "${dir}" AND NOT left)
    message(STATUS "Removing ${dir}")
    file(REMOVE_RECURSE "${dir}")
  endif()
endforeach()
