# Release packaging. Included last, so that every program target exists:
# kestrun-kit joins the packages wherever it is built.
install(FILES README.md LICENSE THIRD-PARTY-NOTICES DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(TARGET kestrun-kit)
  install(TARGETS kestrun-kit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# For scripts/dist.sh: the version and the programs a package holds.
set(kestrun_programs kestrun)
if(TARGET kestrun-kit)
  list(APPEND kestrun_programs kestrun-kit)
endif()
file(WRITE ${CMAKE_BINARY_DIR}/release.txt "${PROJECT_VERSION}\n${kestrun_programs}\n")

if(NOT WIN32)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME kestrun)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_CONTACT "kestrun developers <kestrun@users.noreply.github.com>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch converter of console 3D model files and texture dictionaries")
  set(CPACK_PACKAGE_DESCRIPTION "kestrun inflates the LZO1X block containers of a console release's model\n(.dff) and texture dictionary (.txd) files and rewrites the models'\nchunk streams into the layout that PC tools read.")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The dependencies (liblzo2-2 among them) come from the built binaries.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)
  include(CPack)
endif()
