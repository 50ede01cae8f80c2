# The libraries of kestrun-kit as four targets, wherever they come from:
# kit_spng (libspng), kit_squish (libsquish), CLI11::CLI11 and
# nlohmann_json::nlohmann_json.
#
# On Linux they are the system's. For Windows, libspng and libsquish are
# static libraries cross-built from Debian's sources into build-deps/TRIPLE
# by scripts/windows_deps.sh, zlib (which libspng needs) is the static one
# of libz-mingw-w64-dev, and the header-only CLI11 and nlohmann-json are the
# build machine's own headers, reached through a folder that holds only
# them: the whole of /usr/include must not come before the mingw headers.

if(NOT WIN32)
  pkg_check_modules(SPNG REQUIRED IMPORTED_TARGET spng)
  add_library(kit_spng INTERFACE)
  target_link_libraries(kit_spng INTERFACE PkgConfig::SPNG)
  # Debian's libsquish.pc names an empty prefix, so squish is found directly.
  find_path(SQUISH_INCLUDE_DIR squish.h REQUIRED)
  find_library(SQUISH_LIBRARY squish REQUIRED)
  add_library(kit_squish INTERFACE)
  target_include_directories(kit_squish INTERFACE ${SQUISH_INCLUDE_DIR})
  target_link_libraries(kit_squish INTERFACE ${SQUISH_LIBRARY})
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json CONFIG REQUIRED)
  return()
endif()

set(kit_deps_hint "run scripts/windows_deps.sh (make windows does) to build it into ${KESTRUN_WINDOWS_DEPS}")
foreach(library spng squish)
  string(TOUPPER ${library} upper)
  find_path(${upper}_INCLUDE_DIR ${library}.h PATHS ${KESTRUN_WINDOWS_DEPS}/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  find_library(${upper}_LIBRARY NAMES lib${library}.a PATHS ${KESTRUN_WINDOWS_DEPS}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ${upper}_INCLUDE_DIR OR NOT ${upper}_LIBRARY)
    message(FATAL_ERROR "lib${library} for ${KESTRUN_MINGW_TRIPLE} not found: ${kit_deps_hint}")
  endif()
  add_library(kit_${library} INTERFACE)
  target_include_directories(kit_${library} SYSTEM INTERFACE ${${upper}_INCLUDE_DIR})
  target_link_libraries(kit_${library} INTERFACE ${${upper}_LIBRARY})
endforeach()
# The static zlib, never its import library: the exe needs no DLL of ours.
find_library(ZLIB_STATIC_LIBRARY NAMES libz.a PATHS /usr/${KESTRUN_MINGW_TRIPLE}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT ZLIB_STATIC_LIBRARY)
  message(FATAL_ERROR "zlib for ${KESTRUN_MINGW_TRIPLE} not found: install libz-mingw-w64-dev")
endif()
target_compile_definitions(kit_spng INTERFACE SPNG_STATIC)
target_link_libraries(kit_spng INTERFACE ${ZLIB_STATIC_LIBRARY})

set(kit_headers ${CMAKE_BINARY_DIR}/header-only)
foreach(entry "CLI11::CLI11|CLI/CLI.hpp|CLI|libcli11-dev" "nlohmann_json::nlohmann_json|nlohmann/json.hpp|nlohmann|nlohmann-json3-dev")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 target)
  list(GET entry 1 header)
  list(GET entry 2 folder)
  list(GET entry 3 package)
  string(MAKE_C_IDENTIFIER "${folder}_HEADERS" found)
  find_path(${found} ${header} PATHS /usr/include /usr/local/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ${found})
    message(FATAL_ERROR "${header} not found on this machine: install ${package}")
  endif()
  file(MAKE_DIRECTORY ${kit_headers})
  file(CREATE_LINK ${${found}}/${folder} ${kit_headers}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED)
  target_include_directories(${target} SYSTEM INTERFACE ${kit_headers})
endforeach()
