# cmake --install and cpack -G DEB from the same rules: layout, contents, manual page, changelog,
# dependencies, lintian.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT VQ_TSAN)
  add_test(NAME install_package COMMAND ${CMAKE_SOURCE_DIR}/linux/check_package.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
endif()
