# Installation of the manual page and the licence, and the Debian package of the
# tool.
#
# Included by the top CMakeLists.txt after GNUInstallDirs and the install rule of
# the binary. `cmake --install build/release --prefix P` gives P/bin/floveran,
# P/share/man/man1/floveran.1 and P/share/doc/floveran/LICENSE; `cpack -G DEB` run
# in build/release gives floveran_<version>_<architecture>.deb with the same under
# /usr, but the manual page compressed (floveran.1.gz) and the licence as Debian's
# copyright file beside a changelog (see package_prepare.cmake).

install(FILES ${PROJECT_SOURCE_DIR}/doc/floveran.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME floveran)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "floveran developers")
set(CPACK_PACKAGE_CONTACT "floveran developers <floveran@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert river discharge tables between m3/s and mm per time step")
# Wrapped by hand: the lines go into the control file as they are.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "floveran reads a text table of river discharges in m3/s, one column per\n"
  "gauge and one record per time step, whose second line carries the\n"
  "catchment area of each gauge, and writes the table in specific discharge\n"
  "in mm per time step, or converts such a table back into m3/s. It finds\n"
  "the number of gauge columns by itself, passes missing values through as\n"
  "-9999 and carries the header block of the input into the output.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)

# The manual page goes into the package compressed, as Debian has it; the Debian
# package gets its copyright file and changelog (package_prepare.cmake).
find_program(FLOVERAN_GZIP gzip)
mark_as_advanced(FLOVERAN_GZIP)
if(FLOVERAN_GZIP)
  set(CPACK_FLOVERAN_GZIP ${FLOVERAN_GZIP})
endif()
set(CPACK_FLOVERAN_CHANGELOG ${PROJECT_SOURCE_DIR}/cmake/debian/changelog)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_prepare.cmake)

find_program(FLOVERAN_DPKG_DEB dpkg-deb)
find_program(FLOVERAN_DPKG dpkg)
find_program(FLOVERAN_DPKG_SHLIBDEPS dpkg-shlibdeps)
mark_as_advanced(FLOVERAN_DPKG_DEB FLOVERAN_DPKG FLOVERAN_DPKG_SHLIBDEPS)

# A plain `cpack` builds the Debian package where it can be built.
if(FLOVERAN_DPKG_DEB)
  set(CPACK_GENERATOR DEB)
else()
  set(CPACK_GENERATOR TGZ)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(FLOVERAN_DEB_ARCHITECTURE amd64)
if(FLOVERAN_DPKG)
  execute_process(COMMAND ${FLOVERAN_DPKG} --print-architecture
                  OUTPUT_VARIABLE FLOVERAN_DPKG_ARCHITECTURE
                  OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE FLOVERAN_DPKG_ARCHITECTURE_RESULT
                  ERROR_QUIET)
  if(FLOVERAN_DPKG_ARCHITECTURE_RESULT EQUAL 0 AND FLOVERAN_DPKG_ARCHITECTURE)
    set(FLOVERAN_DEB_ARCHITECTURE ${FLOVERAN_DPKG_ARCHITECTURE})
  endif()
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${FLOVERAN_DEB_ARCHITECTURE})

# The tool needs only the C and C++ runtime libraries. dpkg-shlibdeps derives the
# exact versions from the binary; without it they are named by hand.
if(FLOVERAN_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
endif()

include(CPack)

# The package test builds the package from this build folder, unpacks it into a
# temporary root and runs the unpacked binary and manual page. A sanitizer build,
# of either kind,
# is not a build to ship, so the test is left out there.
option(FLOVERAN_PACKAGE_TEST "Test the install rules and the Debian package" ON)
if(FLOVERAN_BUILD_TESTS AND FLOVERAN_PACKAGE_TEST AND NOT FLOVERAN_SANITIZE AND NOT FLOVERAN_THREAD_SANITIZE)
  add_test(NAME package_install
           COMMAND ${CMAKE_COMMAND} -E env
                   "CMAKE=${CMAKE_COMMAND}" "CPACK=${CMAKE_CPACK_COMMAND}"
                   bash ${PROJECT_SOURCE_DIR}/tests/package/package_test.sh
                   ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  set_tests_properties(package_install PROPERTIES
                       SKIP_RETURN_CODE 77
                       TIMEOUT 600
                       LABELS package)
endif()
