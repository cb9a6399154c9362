# 1 MiB put/get over a pseudo-terminal: the library against a bare loop.
add_executable(bench_transfer ${CMAKE_CURRENT_LIST_DIR}/bench_transfer.cpp)
target_link_libraries(bench_transfer PRIVATE printerlink vqptypeer)
