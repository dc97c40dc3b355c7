# Drawing cost of the measurement views, as fractions of a 16.7 ms frame.
if(KD_GUI AND TARGET kd_measure_ui)
  add_executable(bench_measure ${CMAKE_CURRENT_LIST_DIR}/bench_measure.cpp)
  target_link_libraries(bench_measure PRIVATE kd_measure_ui)
  set_target_properties(bench_measure PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
