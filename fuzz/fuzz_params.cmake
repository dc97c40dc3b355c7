# The text parameter file reader, with a write-and-read-back check.
kd_add_fuzzer(NAME fuzz_param_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_param_text.cpp LIBS kd_params)
