# How fast the simulated sensor serves frames, and how closely its paced mode
# follows the wire time of the baud rate.
add_executable(bench_sim ${CMAKE_CURRENT_LIST_DIR}/bench_sim.cpp)
target_link_libraries(bench_sim PRIVATE kd_sim)
target_include_directories(bench_sim PRIVATE ${CMAKE_SOURCE_DIR}/tests/sim)
set_target_properties(bench_sim PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
