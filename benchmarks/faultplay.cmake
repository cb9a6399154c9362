# Fault play: the real monitor against the emulator while the printer is pulled,
# switched off and made to misbehave (faultplay [cycles] [points]).
add_executable(faultplay ${CMAKE_CURRENT_LIST_DIR}/faultplay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/faultwatch.h ${CMAKE_CURRENT_LIST_DIR}/faultwatch.cpp)
target_link_libraries(faultplay PRIVATE printerlink vqsimclient)
add_dependencies(faultplay printersim monitor_allon)
