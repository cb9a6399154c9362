# The Windows program under Wine. In the Windows build (cmake/windows-i686.cmake) this picks the
# tests that make sense there; in the Linux build it checks the Win32 half of the host with
# MinGW-w64 and Wine, and runs the Windows build's tests when the cross Qt is present.
if(WIN32)
  # Linux-only, and why:
  set(vq_linux_only
    tst_cli                                   # POSIX processes and signals (kill)
    tst_comlink                               # pseudo-terminals
    tst_printersim tst_link_e2e tst_http_e2e  # the emulator (termios)
    tst_scanjob tst_scantopc tst_onekeyprint tst_lanuprom tst_bench
    # The simulated host's tree: its registry keys hold "?", which no Windows file name can,
    # and its reads are checked against FIFOs. On Windows the real registry is tested instead
    # (tst_winhost).
    tst_host tst_poll
  )
  foreach(t ${vq_linux_only})
    if(TARGET ${t})
      set_target_properties(${t} PROPERTIES EXCLUDE_FROM_ALL TRUE)
      set_tests_properties(${t} PROPERTIES DISABLED TRUE)
    endif()
  endforeach()
  set(wine ${CMAKE_SOURCE_DIR}/tests/wine)
  add_test(NAME wine_registry COMMAND ${wine}/registry.sh ${VQ_WINE_STATE})
  set_tests_properties(wine_registry PROPERTIES FIXTURES_SETUP wineregistry)
  vq_add_test(tst_winhost tst_winhost.cpp)
  set_tests_properties(tst_winhost PROPERTIES FIXTURES_REQUIRED wineregistry)
  add_test(NAME monitor_wine COMMAND ${wine}/monitor.sh ${VQ_WINE_STATE} $<TARGET_FILE:monitor>)
  set_tests_properties(monitor_wine PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
  return()
endif()

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

# The Windows build's own tests, built by scripts/build-windows.sh into build-win/.
set(VQ_QT_WIN $ENV{VQ_QT_WIN})
if(NOT VQ_QT_WIN)
  set(VQ_QT_WIN $ENV{HOME}/.cache/vqmonitor/qt5-i686)
endif()
set(VQ_BUILD_WIN $ENV{VQ_BUILD_WIN})
if(NOT VQ_BUILD_WIN)
  set(VQ_BUILD_WIN ${CMAKE_SOURCE_DIR}/build-win)
endif()
# Once per test run: the instrumented trees leave them to the plain one.
if(VQ_SANITIZE OR VQ_TSAN OR VQ_LIBFUZZER)
  return()
endif()
if(EXISTS ${VQ_QT_WIN}/vq-build-info.txt AND VQ_WINE)
  add_test(NAME windows_build COMMAND ${CMAKE_COMMAND} -E env VQ_QT_WIN=${VQ_QT_WIN} VQ_BUILD_WIN=${VQ_BUILD_WIN}
                                      ${CMAKE_SOURCE_DIR}/scripts/build-windows.sh)
  add_test(NAME windows_tests COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${VQ_BUILD_WIN} --output-on-failure
                                      -j2 --timeout 300)
  set_tests_properties(windows_build PROPERTIES FIXTURES_SETUP windowsbuild RUN_SERIAL TRUE TIMEOUT 3600)
  set_tests_properties(windows_tests PROPERTIES FIXTURES_REQUIRED windowsbuild RUN_SERIAL TRUE TIMEOUT 1800)
else()
  message(STATUS "Windows tests not run: no cross Qt in ${VQ_QT_WIN}. Make it once with "
                 "scripts/build-qt-windows.sh (about 50 minutes on two cores); then scripts/build-windows.sh.")
endif()
