# Whole or undoable installs. Every file an install puts in place is
# recorded with the file it copies. The install's first step checks that all
# of them are built, so that it copies everything or nothing, and writes
# where they go (install_planned.txt), so that uninstall removes them after
# an install that stopped part-way as well.
set_property(GLOBAL PROPERTY ZKS_INSTALL_PAIRS)
set(ZKS_INSTALL_PLANNED ${CMAKE_CURRENT_BINARY_DIR}/install_planned.txt)

# zks_record_install(SOURCE DESTINATION): SOURCE goes to DESTINATION (a file
# path relative to the prefix); either may hold generator expressions.
function(zks_record_install source destination)
  set_property(GLOBAL APPEND PROPERTY ZKS_INSTALL_PAIRS "${source}|${destination}")
endfunction()

# zks_install_files(DIR [MADE_BY_INSTALL] FILE...): install(FILES) into DIR,
# recorded. MADE_BY_INSTALL: files that an earlier install step writes, so
# not checked beforehand.
function(zks_install_files dir)
  set(files ${ARGN})
  set(made 0)
  if(files AND "${ARGV1}" STREQUAL "MADE_BY_INSTALL")
    list(REMOVE_AT files 0)
    set(made 1)
  endif()
  install(FILES ${files} DESTINATION ${dir})
  foreach(file IN LISTS files)
    get_filename_component(name "${file}" NAME)
    if(made)
      zks_record_install("" "${dir}/${name}")
    else()
      zks_record_install("${file}" "${dir}/${name}")
    endif()
  endforeach()
endfunction()

# The list, written once every install rule is known; the check is the
# first install rule, so it runs before anything is copied.
install(CODE "include(\"${CMAKE_CURRENT_BINARY_DIR}/zks_install_list.cmake\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/ZksInstallCheck.cmake\")")
function(zks_write_install_list)
  get_property(pairs GLOBAL PROPERTY ZKS_INSTALL_PAIRS)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/zks_install_list.cmake CONTENT
    "set(ZKS_INSTALL_PAIRS [==[${pairs}]==])
set(ZKS_INSTALL_PLANNED [==[${ZKS_INSTALL_PLANNED}]==])
set(ZKS_BUILD_DIR [==[${CMAKE_BINARY_DIR}]==])
")
endfunction()
