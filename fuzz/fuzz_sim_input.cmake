# kdsim's --faults, its options and its --eeprom file.
kd_add_fuzzer(NAME fuzz_sim_input SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_sim_input.cpp LIBS kd_sim)
