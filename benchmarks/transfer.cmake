# 1 MiB put/get over a pseudo-terminal: the library against a bare loop.
add_executable(bench_transfer ${CMAKE_CURRENT_LIST_DIR}/bench_transfer.cpp
  ${PROJECT_SOURCE_DIR}/tests/tst_compeer.h ${PROJECT_SOURCE_DIR}/tests/tst_compeer.cpp)
target_include_directories(bench_transfer PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(bench_transfer PRIVATE printerlink util)
