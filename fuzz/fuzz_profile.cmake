# The "#KEST profile" reader, with a write-and-read-back check.
kd_add_fuzzer(NAME fuzz_profile SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_profile.cpp LIBS kd_measure)
