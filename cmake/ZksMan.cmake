# Man pages, made from the pages of doc/ by pandoc when the library is
# built: zks for the overview, one page per command group and zks-loading
# for loading and unloading, named zks-* so that none clashes with another
# package's pages of the same commands.
#
# ZKS_MANPAGES: AUTO builds them when pandoc is found and otherwise says so
# in one line; ON requires pandoc; OFF skips them. ZKS_MAN_SECTION is n, as
# Tcl's own pages, installed in MANDIR/mann; Debian's packages use 3tcl,
# Debian's section for Tcl's pages, installed in MANDIR/man3.
set(ZKS_MANPAGES AUTO CACHE STRING "Build the man pages with pandoc: AUTO, ON or OFF")
set_property(CACHE ZKS_MANPAGES PROPERTY STRINGS AUTO ON OFF)
set(ZKS_MAN_SECTION n CACHE STRING "Section of the man pages (n, or 3tcl on Debian)")

# Page name, source in doc/, and what the page is about (its NAME line).
set(ZKS_MAN_PAGES
  "zks|zks.md|Tcl commands for network-management scripts"
  "zks-readZKS|readZKS.md|readZKS: read specification files into the ZkZKS array"
  "zks-bits|bits.md|bit, port, idList: bit sets, port lists and identifier lists"
  "zks-values|values.md|timeticks, hex2dec, dec2hex, ipmShowIpAddr, getIPAddr, getIPHost: managed values and addresses"
  "zks-utils|utils.md|loop, rlindex, chmod, deleteProc: script utilities"
  "zks-loading|loading.md|loading zks: platform libraries, C hosts, safe interpreters, unload, threads")

if(NOT ZKS_MANPAGES STREQUAL "OFF")
  find_program(PANDOC pandoc DOC "pandoc, which makes the man pages")
  if(NOT PANDOC AND ZKS_MANPAGES STREQUAL "ON")
    message(FATAL_ERROR "pandoc not found, and ZKS_MANPAGES is ON (Debian: apt-get install pandoc)")
  elseif(NOT PANDOC)
    message(STATUS "pandoc not found: man pages not built (apt-get install pandoc, or -DZKS_MANPAGES=OFF)")
  endif()
endif()

if(PANDOC AND NOT ZKS_MANPAGES STREQUAL "OFF")
  string(REGEX MATCH "^[0-9]+" _zks_man_dir "${ZKS_MAN_SECTION}")
  if(NOT _zks_man_dir)
    set(_zks_man_dir "${ZKS_MAN_SECTION}")
  endif()
  set(_zks_man_out ${CMAKE_CURRENT_BINARY_DIR}/man)
  set(_zks_man_files)
  foreach(page IN LISTS ZKS_MAN_PAGES)
    string(REPLACE "|" ";" page "${page}")
    list(GET page 0 name)
    list(GET page 1 source)
    list(GET page 2 about)
    # Before the body: left-adjusted text (groff 1.23 sets adjustment from
    # AD at .TH); no hyphenation and no line break after a hyphen, so that
    # groff splits no command name (read-ZKS) or port list (1/1- 1/8) at a
    # line end, where a reader could not tell the break from the text; and
    # the NAME line that whatis and apropos read, which is also the page's
    # title (man-filter.lua drops the title of the page of doc/).
    string(REPLACE "-" "\\-" _zks_roff_name "${name}")
    file(WRITE ${_zks_man_out}/${name}.head
      ".ds AD l\n.ad l\n.nh\n.cflags 0 -\\[hy]\\[mi]\n.SH NAME\n${_zks_roff_name} \\- ${about}\n")
    set(out ${_zks_man_out}/${name}.${ZKS_MAN_SECTION})
    add_custom_command(OUTPUT ${out}
      COMMAND ${PANDOC} --standalone --from gfm --to man
              --lua-filter ${CMAKE_CURRENT_SOURCE_DIR}/cmake/man-filter.lua
              --include-before-body ${_zks_man_out}/${name}.head
              --metadata title=${name} --metadata section=${ZKS_MAN_SECTION}
              --metadata date=${ZKS_PKG_VERSION} --metadata footer=zks
              "--metadata=header:zks Tcl commands"
              --output ${out} ${CMAKE_CURRENT_SOURCE_DIR}/doc/${source}
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/doc/${source} ${_zks_man_out}/${name}.head
              ${CMAKE_CURRENT_SOURCE_DIR}/cmake/man-filter.lua
      COMMENT "Man page ${name}(${ZKS_MAN_SECTION})"
      VERBATIM)
    list(APPEND _zks_man_files ${out})
  endforeach()
  add_custom_target(man ALL DEPENDS ${_zks_man_files})
  zks_install_files(${CMAKE_INSTALL_MANDIR}/man${_zks_man_dir} ${_zks_man_files})
endif()
