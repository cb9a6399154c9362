vq_add_test(tst_record tst_record.cpp)
vq_add_test(tst_state tst_state.cpp)
vq_add_test(tst_discovery tst_discovery.cpp)
vq_add_test(tst_host tst_host.cpp)
vq_add_test(tst_poll tst_poll.cpp)
vq_add_test(tst_log tst_log.cpp)
vq_add_test(tst_cli tst_cli.cpp LIBS monitorcore)
vq_add_test(tst_singleton tst_singleton.cpp LIBS monitorcore)
# The monitor must be built before its command line is tested.
add_dependencies(tst_cli monitor)
# Both start monitors from the same path: never at the same time.
set_tests_properties(tst_cli PROPERTIES RUN_SERIAL TRUE)

# The Windows host's Win32 calls: compiled and linked for 32-bit Windows with MinGW-w64.
find_program(VQ_MINGW_CXX i686-w64-mingw32-g++)
if(VQ_MINGW_CXX)
  add_test(NAME winhost_mingw
    COMMAND ${VQ_MINGW_CXX} -std=c++17 -O2 -Wall -Wextra -Werror -static
            -o ${CMAKE_BINARY_DIR}/tests/vqwinprobe.exe
            ${CMAKE_SOURCE_DIR}/printerlink/host/vqwinapi.cpp ${CMAKE_SOURCE_DIR}/printerlink/host/vqwinprobe.cpp
            -lsetupapi -lwinspool)
else()
  message(WARNING "i686-w64-mingw32-g++ missing: run scripts/deps.sh")
  add_test(NAME winhost_mingw COMMAND ${CMAKE_COMMAND} -E false)
endif()
