add_executable(bench_realpoll ${CMAKE_CURRENT_LIST_DIR}/bench_realpoll.cpp)
target_link_libraries(bench_realpoll PRIVATE printerlink)
