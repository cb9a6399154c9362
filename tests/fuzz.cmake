# Fuzz targets: replayed over their seed corpus in every test run; with clang and
# -DVQ_LIBFUZZER=ON they also build as libFuzzer programs (bin/fuzz_*).
set(VQ_FUZZ_DIR ${CMAKE_SOURCE_DIR}/fuzz)
add_executable(replay_idtext ${VQ_FUZZ_DIR}/fuzz_idtext.cpp ${VQ_FUZZ_DIR}/replay_main.cpp)
target_link_libraries(replay_idtext PRIVATE printerlink)
set_target_properties(replay_idtext PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME fuzz_idtext_replay COMMAND replay_idtext ${VQ_FUZZ_DIR}/corpus/idtext 200000)

option(VQ_LIBFUZZER "Build libFuzzer targets (needs clang)" OFF)
if(VQ_LIBFUZZER)
  add_executable(fuzz_idtext ${VQ_FUZZ_DIR}/fuzz_idtext.cpp)
  target_compile_options(fuzz_idtext PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz_idtext PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz_idtext PRIVATE printerlink)
endif()
