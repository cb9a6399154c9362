# Fault play: the real monitor against the emulator while the printer is pulled,
# switched off and made to misbehave (faultplay [cycles] [points]).
add_executable(faultplay ${CMAKE_CURRENT_LIST_DIR}/faultplay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/faultwatch.h ${CMAKE_CURRENT_LIST_DIR}/faultwatch.cpp)
target_link_libraries(faultplay PRIVATE printerlink vqsimclient)
add_dependencies(faultplay printersim monitor_allon)
# A short play in the test command: ten cycles, one point of each fault (the emulator
# is Linux-only, so the Windows build leaves it out).
if(WIN32)
  return()
endif()
add_test(NAME faultplay_short COMMAND faultplay 10 1)
set_tests_properties(faultplay_short PROPERTIES TIMEOUT 300
  ENVIRONMENT "VQ_BIN_DIR=${CMAKE_BINARY_DIR}/bin;VQ_LOOPBACK_ONLY=1")
