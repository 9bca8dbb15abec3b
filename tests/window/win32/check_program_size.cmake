# cmake -DFILE=PROGRAM -DLIMIT=BYTES -P check_program_size.cmake : fails when the file is
# larger than the limit, naming the file and its size.
file(SIZE "${FILE}" size)
if(size GREATER LIMIT)
    message(FATAL_ERROR "${FILE} is ${size} bytes, above the limit of ${LIMIT} bytes")
endif()
message(STATUS "${FILE} is ${size} bytes, within the limit of ${LIMIT} bytes")
