# A short fault play (benchmarks/faultplay.cpp): ten cycles, one point of each fault.
# The emulator is Linux-only, so the Windows build leaves it out.
if(NOT WIN32)
  add_test(NAME faultplay_short COMMAND faultplay 10 1)
  set_tests_properties(faultplay_short PROPERTIES TIMEOUT 300
    ENVIRONMENT "VQ_BIN_DIR=${CMAKE_BINARY_DIR}/bin;VQ_LOOPBACK_ONLY=1")
endif()
