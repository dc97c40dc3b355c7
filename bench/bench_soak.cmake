# A long run of polling and receives against kdsim with link faults.
if(TARGET kd_session AND TARGET kdsim)
  add_executable(soak ${CMAKE_CURRENT_LIST_DIR}/soak.cpp)
  target_link_libraries(soak PRIVATE kd_session)
  add_dependencies(soak kdsim)
  set_target_properties(soak PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
