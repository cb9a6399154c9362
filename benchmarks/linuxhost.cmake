if(TARGET vqmockusb)
  find_package(Cups REQUIRED)
  add_executable(bench_linuxhost ${CMAKE_CURRENT_LIST_DIR}/bench_linuxhost.cpp)
  target_link_libraries(bench_linuxhost PRIVATE printerlink vqsimtree vqmockusb Cups::Cups)
  # The monitor with every worker switched on, for the idle figure.
  add_executable(monitor_allon ${CMAKE_SOURCE_DIR}/monitor/main.cpp)
  target_link_libraries(monitor_allon PRIVATE monitorcore_allon)
endif()
