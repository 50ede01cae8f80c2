# Shared part of the Windows toolchain files: cross-builds with mingw-w64's
# POSIX-thread compilers (GoogleTest needs std::mutex), links everything
# statically so the exe needs no DLL of ours, and runs built programs (the
# tests) under wine. KESTRUN_MINGW_TRIPLE is set by the file that includes
# this one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KESTRUN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRUN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRUN_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw sysroot and from our own folder
# of cross-built dependencies, never from the Linux system.
get_filename_component(KESTRUN_WINDOWS_DEPS_DEFAULT "${CMAKE_CURRENT_LIST_DIR}/../build-deps/${KESTRUN_MINGW_TRIPLE}" ABSOLUTE)
set(KESTRUN_WINDOWS_DEPS "${KESTRUN_WINDOWS_DEPS_DEFAULT}" CACHE PATH "Cross-built dependencies for Windows (scripts/windows_deps.sh)")
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUN_MINGW_TRIPLE} ${KESTRUN_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The exe then imports only KERNEL32.dll and msvcrt.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(KESTRUN_WINE wine)
if(KESTRUN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTRUN_WINE})
endif()
