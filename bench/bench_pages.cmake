# The settings pages: the area page's live profiles against the paced
# simulated sensor, and the operation page's chart redraw.
if(KD_GUI AND TARGET kd_pages_ui AND TARGET kd_sim)
  add_executable(bench_pages ${CMAKE_CURRENT_LIST_DIR}/bench_pages.cpp)
  target_link_libraries(bench_pages PRIVATE kd_pages_ui kd_sim)
  set_target_properties(bench_pages PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
