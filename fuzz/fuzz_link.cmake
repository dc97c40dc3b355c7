# Reply frames: the receiver's scanner fed arbitrary byte streams.
kd_add_fuzzer(NAME fuzz_receive SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_receive.cpp LIBS kd_link)
