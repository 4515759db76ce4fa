# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) after the files of a package have been
# installed into its staging folder and before the package is made: Debian
# packages ship manual pages compressed with `gzip -9n` (no name, no time stamp,
# so the package bytes do not depend on when it was built). `cmake --install`
# is not affected and keeps the plain floveran.1.
if(NOT CPACK_FLOVERAN_GZIP)
  return()
endif()
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/floveran.1")
list(FILTER pages INCLUDE REGEX "/man1/floveran\\.1$")
if(NOT pages)
  message(FATAL_ERROR "no man1/floveran.1 below ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(page IN LISTS pages)
  execute_process(COMMAND "${CPACK_FLOVERAN_GZIP}" -9 -n -f "${page}"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip of ${page} failed: ${result}")
  endif()
endforeach()
