# The one-key print page pipeline against the straightforward Qt one.
add_executable(bench_page ${CMAKE_CURRENT_LIST_DIR}/bench_page.cpp)
target_link_libraries(bench_page PRIVATE monitorbase)
