# The Windows host's Win32 calls: compiled and linked for 32-bit Windows with MinGW-w64, then
# run under Wine with the Chinese code page, where queue names must come back intact.
find_program(VQ_MINGW_CXX i686-w64-mingw32-g++)
find_program(VQ_WINE NAMES wine wine-stable)
set(VQ_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
if(VQ_MINGW_CXX)
  add_test(NAME winhost_mingw
    COMMAND ${VQ_MINGW_CXX} -std=c++17 -O2 -Wall -Wextra -Werror -static
            -o ${CMAKE_BINARY_DIR}/tests/vqwinprobe.exe
            ${CMAKE_SOURCE_DIR}/printerlink/host/vqwinapi.cpp ${CMAKE_SOURCE_DIR}/printerlink/host/vqwinprobe.cpp
            -lsetupapi -lwinspool -lshell32)
else()
  message(WARNING "i686-w64-mingw32-g++ missing: run scripts/deps.sh")
  add_test(NAME winhost_mingw COMMAND ${CMAKE_COMMAND} -E false)
endif()
set_tests_properties(winhost_mingw PROPERTIES FIXTURES_SETUP winprobe)
if(VQ_WINE)
  add_test(NAME winhost_wine COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/winprobe.sh ${VQ_WINE_STATE}
                                     ${CMAKE_BINARY_DIR}/tests/vqwinprobe.exe)
else()
  message(WARNING "wine missing: run scripts/deps.sh")
  add_test(NAME winhost_wine COMMAND ${CMAKE_COMMAND} -E false)
endif()
# The first run makes the Wine prefix (about half a minute).
set_tests_properties(winhost_wine PROPERTIES FIXTURES_REQUIRED winprobe TIMEOUT 300)
