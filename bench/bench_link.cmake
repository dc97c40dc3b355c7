# Transfer efficiency of bulk memory reads against a paced peer.
if(TARGET kd_link_peer AND benchmark_FOUND)
  add_executable(bench_link ${CMAKE_CURRENT_SOURCE_DIR}/bench_link.cpp)
  target_link_libraries(bench_link PRIVATE kd_link kd_link_peer benchmark::benchmark)
  set_target_properties(bench_link PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
