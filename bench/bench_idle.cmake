# The whole program's idle cost on the built-in simulated sensor.
if(KD_GUI AND TARGET kd_measure_ui AND TARGET kd_session AND TARGET kd_sim)
  add_executable(bench_idle ${CMAKE_CURRENT_LIST_DIR}/bench_idle.cpp
                 ${CMAKE_SOURCE_DIR}/src/app/session_wiring.cpp)
  target_link_libraries(bench_idle PRIVATE kd_measure_ui kd_shell_ui kd_session kd_sim)
  set_target_properties(bench_idle PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
                                              AUTOMOC ON)
endif()
