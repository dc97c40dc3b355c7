# kdctl's argument parsing: the tool's commands without its main().
kd_add_fuzzer(NAME fuzz_kdctl_args
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_kdctl_args.cpp
  LIBS kd_cli)
