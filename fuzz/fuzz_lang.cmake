kd_add_fuzzer(NAME fuzz_lang SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_lang.cpp LIBS kd_shell)
