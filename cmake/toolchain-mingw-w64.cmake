# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (the posix
# thread variant, package g++-mingw-w64-x86-64-posix); programs run under wine64.
#
# The tool and every test program are linked statically, C and C++ runtime
# included, so that an .exe needs no DLL beyond those of Windows itself. ctest and
# the test discovery of GoogleTest run the .exe programs through
# cmake/run-under-wine.sh, with a Wine prefix of the build's own (build/.../wine).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FLOVERAN_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FLOVERAN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FLOVERAN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${FLOVERAN_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${FLOVERAN_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "archiver with the linker plugin")
set(CMAKE_RANLIB ${FLOVERAN_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "ranlib with the linker plugin")

# Libraries, headers and packages of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${FLOVERAN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/run-under-wine.sh ${CMAKE_BINARY_DIR}/wine)
