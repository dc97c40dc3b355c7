# The camera picture: adaptive live picture against a full transfer on the
# paced simulated sensor, and the picture's redraw at two zooms.
if(KD_GUI AND TARGET kd_pages_ui AND TARGET kd_sim)
  add_executable(bench_camera ${CMAKE_CURRENT_LIST_DIR}/bench_camera.cpp)
  target_link_libraries(bench_camera PRIVATE kd_pages_ui kd_sim)
  set_target_properties(bench_camera PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
