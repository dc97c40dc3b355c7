kd_add_fuzzer(NAME fuzz_sim SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_sim.cpp LIBS kd_sim)
