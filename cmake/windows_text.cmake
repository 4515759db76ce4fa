# Writes INPUT as a text file for Windows into OUTPUT: with CR LF line ends, and a
# manual page (MANUAL=ON) rendered as plain text first, by groff's man macros on
# its UTF-8 terminal device without bold, underline or overstrike when GROFF names
# groff, else as its roff source, which reads as text too.
#
#   cmake -D INPUT=README.md -D OUTPUT=package/README.md -P windows_text.cmake
#   cmake -D MANUAL=ON -D GROFF=/usr/bin/groff -D INPUT=doc/floveran.1 -D OUTPUT=package/floveran.txt -P windows_text.cmake
if(MANUAL AND GROFF)
  execute_process(COMMAND ${GROFF} -man -Tutf8 -P-cbou ${INPUT}
                  OUTPUT_VARIABLE text
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "groff could not render ${INPUT}: ${result}")
  endif()
else()
  file(READ ${INPUT} text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
