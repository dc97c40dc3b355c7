# Typed values of the pages.
kd_add_fuzzer(NAME fuzz_value_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_value_text.cpp LIBS kd_measure)
