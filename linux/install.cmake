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
# The manual page and the changelog (from CHANGES.md), gzip-compressed as Debian keeps them.
set(vq_maintainer "vqmonitor maintainers <vqmonitor@localhost>")
set(vq_doc ${CMAKE_BINARY_DIR}/linux)
add_custom_command(OUTPUT ${vq_doc}/vqmonitor.1.gz
  COMMAND sh -c "gzip -9nc \"$0\" >\"$1\"" ${CMAKE_CURRENT_LIST_DIR}/vqmonitor.1 ${vq_doc}/vqmonitor.1.gz
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/vqmonitor.1 VERBATIM)
add_custom_command(OUTPUT ${vq_doc}/changelog.gz
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/changelog.sh ${CMAKE_SOURCE_DIR}/CHANGES.md vqmonitor ${vq_maintainer}
          ${vq_doc}/changelog.gz
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog.sh ${CMAKE_SOURCE_DIR}/CHANGES.md VERBATIM)
add_custom_target(linuxdocs ALL DEPENDS ${vq_doc}/vqmonitor.1.gz ${vq_doc}/changelog.gz)
install(FILES ${vq_doc}/vqmonitor.1.gz DESTINATION share/man/man1)
install(FILES ${vq_doc}/changelog.gz DESTINATION share/doc/vqmonitor)

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
# Its first line, the summary, comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A tray program that finds the supported laser printers
attached over USB and shows the selected printer's connection, activity,
toner level and faults, such as a paper jam and where it sits, or an open
cover.

It reads print queues and jobs from CUPS, prints the screen when the
printer's one-key print button is pressed, and answers installers and
scripts on its command line (printers attached, jobs pending, monitor
running).")
set(CPACK_PACKAGE_CONTACT "${vq_maintainer}")
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
