if(TARGET vqmockusb)
  find_package(Cups REQUIRED)
  add_executable(bench_linuxhost ${CMAKE_CURRENT_LIST_DIR}/bench_linuxhost.cpp)
  target_link_libraries(bench_linuxhost PRIVATE printerlink vqsimtree vqmockusb Cups::Cups)
  # The idle figure uses monitor_allon (monitor/CMakeLists.txt), every worker switched on.
endif()
