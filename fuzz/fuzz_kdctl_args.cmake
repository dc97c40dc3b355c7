# kdctl's argument parsing: the tool's sources without its main(), on the
# libraries the tool links.
file(GLOB KD_FUZZ_CLI_SOURCES ${CMAKE_SOURCE_DIR}/src/cli/*.cpp)
list(REMOVE_ITEM KD_FUZZ_CLI_SOURCES ${CMAKE_SOURCE_DIR}/src/cli/main.cpp)
set(KD_FUZZ_CLI_LIBS)
foreach(lib kd_compare kd_session kd_pages kd_link kd_params kd_shell kd_sim kd_measure kd_storage)
  if(TARGET ${lib})
    list(APPEND KD_FUZZ_CLI_LIBS ${lib})
  endif()
endforeach()
kd_add_fuzzer(NAME fuzz_kdctl_args
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_kdctl_args.cpp ${KD_FUZZ_CLI_SOURCES}
  LIBS ${KD_FUZZ_CLI_LIBS})
