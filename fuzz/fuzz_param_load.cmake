# Parameter files through the whole-file reader and LoadFromFile's dispatch.
kd_add_fuzzer(NAME fuzz_param_load SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_param_load.cpp LIBS kd_params)
