# Warnings for the project's own targets; CMAKE_COMPILE_WARNING_AS_ERROR (set by the presets)
# turns them into errors.
add_library(kestrane_warnings INTERFACE)
add_library(kestrane::warnings ALIAS kestrane_warnings)
target_compile_options(kestrane_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wno-sign-conversion)
