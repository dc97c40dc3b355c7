# Reply handling above the frame scanner, through a scripted pseudo-terminal peer.
kd_add_fuzzer(NAME fuzz_link_replies SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_link_replies.cpp
  LIBS kd_session kd_link kd_link_peer)
