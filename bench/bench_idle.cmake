# The whole program's idle cost on the built-in simulated sensor.
if(TARGET kd_app)
  add_executable(bench_idle ${CMAKE_CURRENT_LIST_DIR}/bench_idle.cpp)
  target_link_libraries(bench_idle PRIVATE kd_app)
  set_target_properties(bench_idle PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
                                              AUTOMOC ON)
endif()
