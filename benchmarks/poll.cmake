add_executable(bench_poll ${CMAKE_CURRENT_LIST_DIR}/bench_poll.cpp)
target_link_libraries(bench_poll PRIVATE printerlink vqsimtree)
