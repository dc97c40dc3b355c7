# Receive-all and polling tick against the paced simulated sensor.
if(TARGET kd_session AND TARGET kd_sim AND benchmark_FOUND)
  add_executable(bench_session ${CMAKE_CURRENT_SOURCE_DIR}/bench_session.cpp)
  target_link_libraries(bench_session PRIVATE kd_session kd_sim benchmark::benchmark)
  set_target_properties(bench_session PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
