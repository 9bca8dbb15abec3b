# Cross build for 32-bit Windows with MinGW-w64 (the posix-thread variant of Debian's
# g++-mingw-w64-i686). Programs link the C++ runtime statically, so they import only Windows
# system DLLs; tests run under Wine through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(_target i686-w64-mingw32)
set(CMAKE_C_COMPILER ${_target}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_target}-g++-posix)
set(CMAKE_RC_COMPILER ${_target}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_target})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread inside the .exe instead of beside it. No link time in the
# PE header (its TimeDateStamp is 0, and so its checksum the same every time): the same
# sources give the same .exe, however long ago an .exe still up to date was linked.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")

# Each test program runs under Wine in a throwaway prefix inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run;${CMAKE_BINARY_DIR}/wine-prefix")
