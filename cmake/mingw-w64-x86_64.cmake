# Cross-builds the 64-bit Windows library and programs with Debian's mingw-w64
# (the posix threads flavour, for std::thread and std::mutex) and runs the
# test programs under Wine.
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Tests need a Wine prefix: set WINEPREFIX (scripts/test-windows.sh makes a
# private one under the build folder).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QORLOG_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QORLOG_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QORLOG_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QORLOG_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QORLOG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked in: the DLL and the programs then
# import Windows system DLLs only. (-static-libgcc alone still leaves
# libstdc++-6.dll and libwinpthread-1.dll among the imports.)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# Debian's wine64 package installs the loader outside PATH unless the wine
# package is there too.
find_program(QORLOG_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_CMAKE_FIND_ROOT_PATH)
if(QORLOG_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QORLOG_WINE64})
endif()
