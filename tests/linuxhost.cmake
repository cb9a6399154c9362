# The Linux host under a umockdev testbed and a private CUPS scheduler, started by
# with_cupsd.sh (root, as on CI). A machine without root reports the test skipped.
if(VQ_HOST STREQUAL "linux")
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(UMOCKDEV REQUIRED IMPORTED_TARGET umockdev-1.0)
  add_library(vqmockusb STATIC linuxhost/vqmockusb.h linuxhost/vqmockusb.cpp)
  target_include_directories(vqmockusb PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/linuxhost)
  target_link_libraries(vqmockusb PUBLIC Qt5::Core PkgConfig::UMOCKDEV)

  add_executable(tst_linuxhost linuxhost/tst_linuxhost.cpp)
  target_link_libraries(tst_linuxhost PRIVATE vqtestsupport vqmockusb)
  set_target_properties(tst_linuxhost PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_dependencies(tst_linuxhost monitor)
  add_test(NAME tst_linuxhost
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/linuxhost/with_cupsd.sh umockdev-wrapper $<TARGET_FILE:tst_linuxhost>)
  set_tests_properties(tst_linuxhost PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VQ_BIN_DIR=${CMAKE_BINARY_DIR}/bin" SKIP_RETURN_CODE 77)
endif()
