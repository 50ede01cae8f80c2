# LZO for Windows: the mini distribution that liblzo2-dev ships, compiled as
# it is into a static library. It holds lzo_init, lzo1x_decompress_safe and
# lzo1x_1_compress, all that is called. The sources include <lzo/lzoconf.h>
# and <lzo/lzo1x.h>; both lead to minilzo.h here, which refuses to sit beside
# the full library's headers.
set(KESTRUN_MINILZO_DIR /usr/share/lzo/minilzo CACHE PATH "Folder holding minilzo.c and its headers")
set(minilzo_source ${KESTRUN_MINILZO_DIR}/minilzo.c)
if(NOT EXISTS ${minilzo_source} AND EXISTS ${minilzo_source}.gz)
  set(minilzo_source ${CMAKE_BINARY_DIR}/minilzo/minilzo.c)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/minilzo)
  execute_process(COMMAND gzip -dc ${KESTRUN_MINILZO_DIR}/minilzo.c.gz OUTPUT_FILE ${minilzo_source}
                  RESULT_VARIABLE gunzip_failed)
  if(gunzip_failed)
    message(FATAL_ERROR "cannot unpack ${KESTRUN_MINILZO_DIR}/minilzo.c.gz")
  endif()
endif()
if(NOT EXISTS ${minilzo_source})
  message(FATAL_ERROR "minilzo.c not found in ${KESTRUN_MINILZO_DIR}: install liblzo2-dev")
endif()

set(minilzo_shims ${CMAKE_BINARY_DIR}/minilzo-include)
foreach(header lzoconf.h lzo1x.h)
  file(WRITE ${minilzo_shims}/lzo/${header}.tmp "#include <minilzo.h>\n")
  configure_file(${minilzo_shims}/lzo/${header}.tmp ${minilzo_shims}/lzo/${header} COPYONLY)
endforeach()

add_library(minilzo STATIC ${minilzo_source})
target_include_directories(minilzo SYSTEM PUBLIC ${KESTRUN_MINILZO_DIR} ${minilzo_shims})
set_target_properties(minilzo PROPERTIES C_STANDARD 99)
add_library(KestrunLzo::lzo2 ALIAS minilzo)
target_compile_options(minilzo PRIVATE -w) # the library's own code, as it is
