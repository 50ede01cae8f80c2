# CPack runs this after installing into its staging folder and before making
# the .deb (CPACK_PRE_BUILD_SCRIPTS): CPack's strip leaves the compilers'
# .comment and .note sections in the programs, which Debian's dh_strip
# removes; so do we, with the same objcopy options.
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_KESTRUN_OBJCOPY}" --remove-section=.comment --remove-section=.note "${program}"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "objcopy failed on ${program}")
  endif()
endforeach()
