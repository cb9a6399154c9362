# The Windows program under Wine. In the Windows build (cmake/windows.cmake) this picks the
# tests that make sense there; in the Linux build it checks the Win32 half of the host with
# MinGW-w64 and Wine, and builds the Windows program and runs its tests.
if(WIN32)
  # Linux-only, and why:
  set(vq_linux_only
    tst_comlink                               # pseudo-terminals
    tst_printersim                            # the Linux emulator's own test
  )
  foreach(t ${vq_linux_only})
    if(TARGET ${t})
      set_target_properties(${t} PROPERTIES EXCLUDE_FROM_ALL TRUE)
      set_tests_properties(${t} PROPERTIES DISABLED TRUE)
    endif()
  endforeach()
  # The emulator-driven tests run the Linux build's emulator (tests/wine/qtest.sh names it):
  # one at a time, as each links its printers to COM5, COM6, ... of the shared prefix.
  foreach(t tst_link_e2e tst_services tst_bench)
    if(TARGET ${t})
      set_tests_properties(${t} PROPERTIES RUN_SERIAL TRUE)
    endif()
  endforeach()
  set(wine ${CMAKE_SOURCE_DIR}/tests/wine)
  add_test(NAME wine_registry COMMAND ${wine}/registry.sh ${VQ_WINE_STATE})
  set_tests_properties(wine_registry PROPERTIES FIXTURES_SETUP wineregistry RUN_SERIAL TRUE)
  vq_add_test(tst_winhost tst_winhost.cpp)
  # It puts a recorder in place of the system folder's rundll32.exe for a moment: no other
  # test of the shared prefix runs meanwhile.
  set_tests_properties(tst_winhost PROPERTIES FIXTURES_REQUIRED wineregistry RUN_SERIAL TRUE)
  add_executable(vqcmdrecorder tst_winhost_recorder.cpp)
  target_link_options(vqcmdrecorder PRIVATE -municode -mwindows)
  set_target_properties(vqcmdrecorder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_dependencies(tst_winhost vqcmdrecorder)
  # The programs' resources (windows/resources.cmake), each program as name=description.
  vq_add_test(tst_winres tst_winres.cpp LIBS version)
  set(programs "")
  foreach(p monitor bench)
    if(TARGET ${p})
      get_target_property(d ${p} VQ_DESCRIPTION)
      list(APPEND programs "${p}=${d}")
    endif()
  endforeach()
  string(JOIN "," programs ${programs})
  target_compile_definitions(tst_winres PRIVATE VQ_VERSION="${PROJECT_VERSION}"
    VQ_PRODUCT_NAME="${VQ_PRODUCT_NAME}" VQ_COMPANY="${VQ_COMPANY}" VQ_WIN_PROGRAMS="${programs}")
  add_test(NAME monitor_wine COMMAND ${wine}/monitor.sh ${VQ_WINE_STATE} $<TARGET_FILE:monitor>)
  set_tests_properties(monitor_wine PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
  # On printers played by the Linux build's emulator (VQ_BUILD_DIR, which windows.sh sets).
  add_test(NAME monitor_sim_wine COMMAND ${wine}/simmonitor.sh ${VQ_WINE_STATE} $<TARGET_FILE:monitor>)
  set_tests_properties(monitor_sim_wine PROPERTIES RUN_SERIAL TRUE TIMEOUT 300
                       ENVIRONMENT "VQ_MONITOR_ALLON=$<TARGET_FILE:monitor_allon>")
  # The Windows host itself (no simulated host): the emulator's printers through the stand-in
  # USB printer bus, in a prefix of its own (the driver stays out of the shared one).
  file(READ ${VQ_WINE_STATE}/arch vq_wine_arch)
  file(WRITE ${VQ_WINE_STATE}-realhost/arch ${vq_wine_arch})
  add_test(NAME monitor_realhost_wine
           COMMAND ${wine}/realhost.sh ${VQ_WINE_STATE}-realhost $<TARGET_FILE:monitor> ${CMAKE_BINARY_DIR}/winbus)
  set_tests_properties(monitor_realhost_wine PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
  # The setup in a fresh prefix; the upgrade packs the all-services build to be told apart.
  add_test(NAME installer_wine COMMAND ${wine}/installer.sh ${VQ_WINE_STATE} ${VQ_SETUP}
                                       $<TARGET_FILE:monitor_allon> ${PROJECT_VERSION})
  set_tests_properties(installer_wine PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
  return()
endif()

# The registry probe (tests/winprobe/, a console program over the Qt-free Win32 half of the
# host) is built for both architectures and runs in the one this machine runs
# (scripts/wine-arch.sh).
foreach(arch i686 x86_64)
  find_program(VQ_MINGW_CXX_${arch} ${arch}-w64-mingw32-g++)
  if(VQ_MINGW_CXX_${arch})
    add_test(NAME winhost_mingw_${arch}
      COMMAND ${VQ_MINGW_CXX_${arch}} -std=c++17 -O2 -Wall -Wextra -Werror -static -I${CMAKE_SOURCE_DIR}
              -o ${CMAKE_BINARY_DIR}/tests/vqwinprobe-${arch}.exe
              ${CMAKE_SOURCE_DIR}/printerlink/host/vqwinapi.cpp ${CMAKE_SOURCE_DIR}/tests/winprobe/vqwinprobe.cpp
              -lsetupapi -lwinspool -lshell32)
  else()
    message(WARNING "${arch}-w64-mingw32-g++ missing: run scripts/deps.sh")
    add_test(NAME winhost_mingw_${arch} COMMAND ${CMAKE_COMMAND} -E false)
  endif()
  set_tests_properties(winhost_mingw_${arch} PROPERTIES FIXTURES_SETUP winprobe)
endforeach()
# The first run makes the Wine prefix (about half a minute).
add_test(NAME winhost_wine COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/winprobe.sh ${CMAKE_BINARY_DIR}/wine
                                   ${CMAKE_BINARY_DIR}/tests)
set_tests_properties(winhost_wine PROPERTIES FIXTURES_REQUIRED winprobe TIMEOUT 300)

# The Windows program's own build and tests (build-win/, build-win64/): once per test run, the
# instrumented trees leave them to the plain one. The test command makes the cross Qt first.
if(VQ_SANITIZE OR VQ_TSAN OR VQ_LIBFUZZER)
  return()
endif()
add_test(NAME windows_build COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/windows.sh build)
add_test(NAME windows_tests COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/windows.sh test ${CMAKE_BINARY_DIR})
set_tests_properties(windows_build PROPERTIES FIXTURES_SETUP windowsbuild RUN_SERIAL TRUE TIMEOUT 3600)
set_tests_properties(windows_tests PROPERTIES FIXTURES_REQUIRED windowsbuild RUN_SERIAL TRUE TIMEOUT 1800)
