# Removes what the last "cmake --install" of this build tree put in place,
# as its install_manifest.txt lists it, and what an install of this tree set
# out to put in place (install_planned.txt, written before it copies
# anything), so that an install that stopped part-way is undone too. Paths
# are under the prefix given when configuring, or the one given to
# --prefix, and under $DESTDIR when that is set, as it was for the install.
# Then the directories of the library's own that this leaves empty go. Run
# as
#   cmake -DMANIFEST=BUILD/install_manifest.txt -DPLANNED=BUILD/install_planned.txt
#         -P ZksUninstall.cmake
set(files)
foreach(list IN ITEMS "${MANIFEST}" "${PLANNED}")
  if(NOT list STREQUAL "" AND EXISTS "${list}")
    file(STRINGS "${list}" listed)
    list(APPEND files ${listed})
  endif()
endforeach()
if(NOT files)
  message(FATAL_ERROR "${MANIFEST} not found: nothing was installed from this build tree")
endif()
list(REMOVE_DUPLICATES files)
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
