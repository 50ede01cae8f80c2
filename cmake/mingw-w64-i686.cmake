# 32-bit Windows: cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KESTRUN_MINGW_TRIPLE i686-w64-mingw32)
# Floating point in SSE registers, as on 64-bit: the x87 unit's wider
# intermediates would round some results (glTF transforms, colours)
# differently from the other builds.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
