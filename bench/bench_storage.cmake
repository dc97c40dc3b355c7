# Drawing cost of the profile storage views with a full set, and its memory.
if(KD_GUI AND TARGET kd_storage_ui)
  add_executable(bench_storage ${CMAKE_CURRENT_LIST_DIR}/bench_storage.cpp)
  target_link_libraries(bench_storage PRIVATE kd_storage_ui)
  set_target_properties(bench_storage PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
# The storage downloads against the paced simulated sensor, as ratios to the
# wire time.
if(TARGET kd_sim AND TARGET kd_storage AND TARGET Qt6::Core)
  add_executable(bench_storage_fetch ${CMAKE_CURRENT_LIST_DIR}/bench_storage_fetch.cpp)
  target_link_libraries(bench_storage_fetch PRIVATE kd_storage kd_sim Qt6::Core)
  set_target_properties(bench_storage_fetch PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                       ${CMAKE_BINARY_DIR}/bench)
endif()
