# Release packaging. Included last, so that every program target exists:
# kestrun-kit joins the packages wherever it is built.
install(FILES README.md THIRD-PARTY-NOTICES DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The full GPL text is for `make install`; the Debian package's copyright file
# points to /usr/share/common-licenses/GPL-2 instead (see CPACK_INSTALL_CMAKE_PROJECTS).
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT licence)
if(TARGET kestrun-kit)
  install(TARGETS kestrun-kit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/kit.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# For scripts/dist.sh: the version and the programs a package holds.
set(kestrun_programs kestrun)
if(TARGET kestrun-kit)
  list(APPEND kestrun_programs kestrun-kit)
endif()
file(WRITE ${CMAKE_BINARY_DIR}/release.txt "${PROJECT_VERSION}\n${kestrun_programs}\n")

# The release's date, from the latest entry of CHANGELOG (Debian's changelog
# format, one entry per release), whose version must be the project's.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG)
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG kestrun_changelog_heads REGEX "^kestrun \\(" LIMIT_COUNT 1)
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG kestrun_changelog_trailers REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX MATCH "\\(([^)]*)\\)" kestrun_changelog_version "${kestrun_changelog_heads}")
set(kestrun_changelog_version "${CMAKE_MATCH_1}")
if(NOT kestrun_changelog_version STREQUAL PROJECT_VERSION)
  message(WARNING "CHANGELOG's latest entry is for ${kestrun_changelog_version}, the project is ${PROJECT_VERSION}: add an entry (make dist refuses to package without one)")
endif()
if(NOT kestrun_changelog_trailers MATCHES ">  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "CHANGELOG: no date in the latest entry's trailer line")
endif()
set(kestrun_day ${CMAKE_MATCH_1})
set(kestrun_year ${CMAKE_MATCH_3})
set(kestrun_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND kestrun_months ${CMAKE_MATCH_2} kestrun_month)
math(EXPR kestrun_month "${kestrun_month} + 1")
if(kestrun_month LESS 10)
  set(kestrun_month 0${kestrun_month})
endif()
if(kestrun_day MATCHES "^[0-9]$")
  set(kestrun_day 0${kestrun_day})
endif()
set(KESTRUN_RELEASE_DATE ${kestrun_year}-${kestrun_month}-${kestrun_day})

# Manual pages: hand-written roff, docs/man/PROGRAM.1.in, one for every
# program; the build fills in the version and the date (build/man/PROGRAM.1),
# and, on Linux, compresses them as Debian wants them (gzip -9n: no name, no
# time stamp), with the changelog. scripts/dist.sh renders them as text for
# the Windows zips.
find_program(KESTRUN_GZIP gzip)
set(kestrun_man_pages)
foreach(program IN LISTS kestrun_programs)
  if(NOT EXISTS ${PROJECT_SOURCE_DIR}/docs/man/${program}.1.in)
    message(FATAL_ERROR "${program} has no manual page: write docs/man/${program}.1.in")
  endif()
  configure_file(docs/man/${program}.1.in ${CMAKE_BINARY_DIR}/man/${program}.1 @ONLY)
  list(APPEND kestrun_man_pages ${CMAKE_BINARY_DIR}/man/${program}.1)
endforeach()
if(NOT WIN32 AND KESTRUN_GZIP)
  set(kestrun_gzipped)
  foreach(page IN LISTS kestrun_man_pages)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${KESTRUN_GZIP} -9nc ${page} > ${page}.gz
      DEPENDS ${page} VERBATIM)
    list(APPEND kestrun_gzipped ${page}.gz)
  endforeach()
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND ${KESTRUN_GZIP} -9nc ${PROJECT_SOURCE_DIR}/CHANGELOG > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG VERBATIM)
  add_custom_target(kestrun_docs ALL DEPENDS ${kestrun_gzipped} ${CMAKE_BINARY_DIR}/changelog.gz)
  install(FILES ${kestrun_gzipped} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Debian's documentation files: the changelog and the machine-readable
  # copyright (our licence and every library the programs link or embed).
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
if(TARGET kestrun-kit AND NOT WIN32)
  install(FILES packaging/bash-completion/kestrun-kit
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

if(NOT WIN32)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME kestrun)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_CONTACT "kestrun developers <kestrun@users.noreply.github.com>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch converter of console 3D model files and texture dictionaries")
  set(CPACK_PACKAGE_DESCRIPTION "kestrun inflates the LZO1X block containers of a console release's model\n(.dff) and texture dictionary (.txd) files and rewrites the models'\nchunk streams into the layout that PC tools read.\n\nIts companion, kestrun-kit, shows the chunk tree of model files and\ntexture dictionaries, checks and fixes them, converts the console's\ntextures for PC, writes them as PNG images and exports models as binary\nglTF.")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_KESTRUN_OBJCOPY ${CMAKE_OBJCOPY})
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_strip.cmake)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The dependencies (liblzo2-2 among them) come from the built binaries.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)
  # Everything but the `licence` component (the full GPL text, which lintian
  # calls an extra licence file next to copyright).
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
  include(CPack)
endif()
