# kdtrelva's command line and its page codes.
kd_add_fuzzer(NAME fuzz_command_line SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_command_line.cpp LIBS kd_shell)
