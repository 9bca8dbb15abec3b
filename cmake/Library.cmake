# kestrane_add_library(NAME SOURCE...) : the static library kestrane_NAME with its alias
# kestrane::NAME, its users including its headers from src/ ("signal/...", "window/..."), and
# the project's warnings for its own sources.
function(kestrane_add_library name)
    add_library(kestrane_${name} STATIC ${ARGN})
    add_library(kestrane::${name} ALIAS kestrane_${name})
    target_include_directories(kestrane_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(kestrane_${name} PRIVATE kestrane::warnings)
endfunction()
