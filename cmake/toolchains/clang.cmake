# Clang, which the libFuzzer targets need. KESTRANE_CLANGXX names the compiler; by default the
# first of clang++-14 (the release the project's format and fuzz builds are pinned to on
# Debian) and clang++ found on the PATH.
find_program(KESTRANE_CLANGXX NAMES clang++-14 clang++ DOC "clang++ for the fuzz build" REQUIRED)
set(CMAKE_CXX_COMPILER ${KESTRANE_CLANGXX})
