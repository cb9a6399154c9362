# The one-key print page pipeline against the straightforward Qt one.
add_executable(bench_page ${CMAKE_CURRENT_LIST_DIR}/bench_page.cpp)
target_link_libraries(bench_page PRIVATE monitorbase)
# Key press to print command against the emulator.
add_executable(bench_onekey ${CMAKE_CURRENT_LIST_DIR}/bench_onekey.cpp)
target_link_libraries(bench_onekey PRIVATE monitorbase vqsimclient)
add_dependencies(bench_onekey printersim)
# The page's deflate level weighed against the upload over a throttled link.
add_executable(bench_pnglevel ${CMAKE_CURRENT_LIST_DIR}/bench_pnglevel.cpp)
target_link_libraries(bench_pnglevel PRIVATE monitorbase vqsimclient)
add_dependencies(bench_pnglevel printersim)
