# The ZIP package for Windows: one folder floveran-<version>-windows-x86_64 holding
# floveran.exe, README.md, LICENSE.txt and the manual page as plain text
# (floveran.txt), all text files with CR LF line ends for Notepad and friends.
#
# Included by the top CMakeLists.txt in Windows builds. `cpack` in the build folder
# (build/windows) makes floveran-<version>-windows-x86_64.zip; the test
# package_zip checks its contents, the DLLs the .exe imports, and a conversion by
# the unpacked .exe.

# The text files, with CR LF line ends; the manual page rendered as text with groff
# at build time when it is installed, otherwise its roff source stands in.
find_program(FLOVERAN_GROFF groff)
mark_as_advanced(FLOVERAN_GROFF)
set(floveran_package_texts)
foreach(text README.md:README.md:OFF LICENSE:LICENSE.txt:OFF doc/floveran.1:floveran.txt:ON)
  string(REPLACE ":" ";" parts ${text})
  list(GET parts 0 input)
  list(GET parts 1 output)
  list(GET parts 2 manual)
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/package/${output}
    COMMAND ${CMAKE_COMMAND} -D MANUAL=${manual} -D GROFF=${FLOVERAN_GROFF}
            -D INPUT=${PROJECT_SOURCE_DIR}/${input} -D OUTPUT=${PROJECT_BINARY_DIR}/package/${output}
            -P ${PROJECT_SOURCE_DIR}/cmake/windows_text.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/${input} ${PROJECT_SOURCE_DIR}/cmake/windows_text.cmake
    COMMENT "${output} for the Windows package"
    VERBATIM)
  list(APPEND floveran_package_texts ${PROJECT_BINARY_DIR}/package/${output})
endforeach()
add_custom_target(floveran_package_texts ALL DEPENDS ${floveran_package_texts})
install(FILES ${floveran_package_texts} DESTINATION .)

set(CPACK_PACKAGE_NAME floveran)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "floveran developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert river discharge tables between m3/s and mm per time step")
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME floveran-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES TRUE)
include(CPack)

if(FLOVERAN_BUILD_TESTS)
  add_test(NAME package_zip
           COMMAND ${CMAKE_COMMAND} -E env
                   "CPACK=${CMAKE_CPACK_COMMAND}"
                   "OBJDUMP=${CMAKE_OBJDUMP}"
                   bash ${PROJECT_SOURCE_DIR}/tests/package/zip_package_test.sh
                   ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${CMAKE_CROSSCOMPILING_EMULATOR})
  set_tests_properties(package_zip PROPERTIES TIMEOUT 600 LABELS package)
endif()
