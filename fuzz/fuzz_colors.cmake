# The colour ini file.
kd_add_fuzzer(NAME fuzz_colors SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_colors.cpp LIBS kd_shell)
