# cmake -DCLANG_FORMAT=PROGRAM -DSOURCE_DIR=DIR -P CheckFormat.cmake : fails when a C++ file
# that git tracks under DIR is not formatted as .clang-format says.
cmake_policy(VERSION 3.25)
if(NOT CLANG_FORMAT)
    message(FATAL_ERROR "clang-format-14 is not installed; scripts/install-packages default installs it")
endif()
execute_process(COMMAND git ls-files -- "*.cpp" "*.h"
    WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE files RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "git ls-files failed in ${SOURCE_DIR}")
endif()
string(REPLACE "\n" ";" files "${files}")
list(FILTER files EXCLUDE REGEX "^$")
execute_process(COMMAND "${CLANG_FORMAT}" --dry-run --Werror ${files}
    WORKING_DIRECTORY "${SOURCE_DIR}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the files above are not formatted; run ${CLANG_FORMAT} -i on them")
endif()
