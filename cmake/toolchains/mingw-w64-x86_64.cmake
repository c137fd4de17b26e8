# Cross build for 64-bit Windows with MinGW-w64 from a Debian host
# (packages g++-mingw-w64-x86-64, wine, wine64):
#
#   cmake --workflow --preset windows-cross
#
# The -posix compilers are the variant with the POSIX thread model, which
# the C++ standard library's threads and GoogleTest need. Everything is
# linked statically, so korvelin.exe runs on a bare Windows without MinGW's
# DLLs beside it. Test programs run under Wine through the launcher below.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVELIN_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVELIN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVELIN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVELIN_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW sysroot only, never the host's;
# build tools are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${KORVELIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest, test discovery and the scenario driver run the .exe files through
# this.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
