# Desktop integration on Linux: the monitor, its menu and autostart entries, the
# icon, the udev rule for our vendor's printers, and a Debian package built from
# the same rules (cpack -G DEB in the build folder).
include(GNUInstallDirs)

# The program keeps its own name in a private folder; "vqmonitor" puts it on PATH.
# The bench is a developer's tool: not installed.
install(TARGETS monitor RUNTIME DESTINATION libexec/vqmonitor)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/linux)
file(CREATE_LINK ../libexec/vqmonitor/monitor ${CMAKE_BINARY_DIR}/linux/vqmonitor SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/linux/vqmonitor DESTINATION bin)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/vqmonitor.desktop DESTINATION share/applications)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/vqres/img/vqapp.png DESTINATION share/icons/hicolor/64x64/apps
        RENAME vqmonitor.png)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/70-vqmonitor.rules DESTINATION lib/udev/rules.d)
# Autostart entries live in the system's configuration folder: /etc for /usr, else
# below the prefix. Decided when installing, so --prefix is honoured.
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(vq_xdg /etc/xdg)
  else()
    set(vq_xdg \"\${CMAKE_INSTALL_PREFIX}/etc/xdg\")
  endif()
  file(INSTALL DESTINATION \"\${vq_xdg}/autostart\" TYPE FILE
       FILES \"${CMAKE_CURRENT_LIST_DIR}/vqmonitor-autostart.desktop\")
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vqmonitor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Status monitor for USB laser printers")
set(CPACK_PACKAGE_CONTACT "vqmonitor maintainers <vqmonitor@localhost>")
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Libraries from dpkg-shlibdeps: their lowest versions are what the build machine's release ships.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups-daemon, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/postinst ${CMAKE_CURRENT_LIST_DIR}/postrm
                                       ${CMAKE_CURRENT_LIST_DIR}/conffiles)
include(CPack)
