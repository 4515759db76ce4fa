# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) after the files of a package have been
# installed into its staging folder and before the package is made. `cmake
# --install` is not affected: it keeps the plain floveran.1 and LICENSE.
#
# Every package: the manual page is compressed with `gzip -9n` (no name, no time
# stamp, so the package bytes do not depend on when it was built), as Debian ships
# manual pages.
#
# The Debian package: share/doc/floveran/LICENSE becomes share/doc/floveran/copyright
# in Debian's machine-readable copyright format, and the changelog goes in as
# share/doc/floveran/changelog.gz (the name for a native package, one whose version
# has no Debian revision), compressed the same way.

# Compresses <file> in place into <file>.gz, with gzip -9n.
function(floveran_gzip file)
  execute_process(COMMAND "${CPACK_FLOVERAN_GZIP}" -9 -n -f "${file}"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip of ${file} failed: ${result}")
  endif()
endfunction()

# Writes <content> into <file>, readable by all, writable by the owner alone.
function(floveran_write_doc file content)
  file(WRITE "${file}" "${content}")
  file(CHMOD "${file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

if(CPACK_FLOVERAN_GZIP)
  file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/floveran.1")
  list(FILTER pages INCLUDE REGEX "/man1/floveran\\.1$")
  if(NOT pages)
    message(FATAL_ERROR "no man1/floveran.1 below ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
  endif()
  foreach(page IN LISTS pages)
    floveran_gzip("${page}")
  endforeach()
endif()

if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

file(GLOB_RECURSE licenses "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/LICENSE")
list(FILTER licenses INCLUDE REGEX "/share/doc/floveran/LICENSE$")
list(LENGTH licenses count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "not one share/doc/floveran/LICENSE below ${CPACK_TEMPORARY_INSTALL_DIRECTORY}: ${licenses}")
endif()
get_filename_component(doc_dir "${licenses}" DIRECTORY)

# LICENSE: a title line, the copyright line, then the licence text. The copyright
# format calls this licence Expat (the MIT License as the Expat parser has it);
# its text goes into a stand-alone License paragraph, every line indented by one
# space and every empty line written as " .".
file(READ "${licenses}" license)
if(NOT license MATCHES "^MIT License\n\nCopyright \\(c\\) ([^\n]+)\n\n(.+)$")
  message(FATAL_ERROR "${licenses} does not read 'MIT License', a 'Copyright (c) ...' line and the licence text")
endif()
set(holder "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" text)
string(REPLACE "\n\n" "\n.\n" text "${text}")
string(REPLACE "\n" "\n " text "${text}")
floveran_write_doc("${doc_dir}/copyright"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: floveran
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}

Files: *
Copyright: ${holder}
License: Expat
Comment: The MIT License, the file LICENSE of the source.

License: Expat
 ${text}
")
file(REMOVE "${licenses}")

file(READ "${CPACK_FLOVERAN_CHANGELOG}" changelog)
floveran_write_doc("${doc_dir}/changelog" "${changelog}")
if(CPACK_FLOVERAN_GZIP)
  floveran_gzip("${doc_dir}/changelog")
endif()
