# The test bench against the emulator. The bench has its own copy of the
# library, so its tests link a support library built over that copy.
add_library(vqtestsupport_bench STATIC support/vqtestsupport.h support/vqtestsupport.cpp)
target_include_directories(vqtestsupport_bench PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(vqtestsupport_bench PUBLIC printerlink_bench vqsimtree Qt5::Test)
vq_add_test(tst_bench tst_bench.cpp SUPPORT vqtestsupport_bench LIBS benchcore vqsimclient)
add_dependencies(tst_bench printersim)
