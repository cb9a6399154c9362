# What Windows shows of a program (Explorer, the task bar, the installed-programs entry): our
# drawn icon, the version the build knows and a manifest, compiled by MinGW's windres.
#   vq_win_resources(<target> <description>)
find_program(VQ_CONVERT convert HINTS /usr/bin REQUIRED)  # ImageMagick
set(VQ_PRODUCT_NAME "Printer Status Monitor")  # as the setup names it
set(VQ_COMPANY "vqmonitor maintainers")

function(vq_win_resources target description)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_res)
  set(VQ_RC_ICON ${dir}/vqapp.ico)
  set(VQ_RC_MANIFEST ${CMAKE_SOURCE_DIR}/windows/vqprogram.manifest)
  set(VQ_RC_NAME ${target})
  set(VQ_RC_DESCRIPTION "${description}")
  # Four numbers, the missing ones 0: 2.1 is 2,1,0,0.
  string(REPLACE "." ";" parts "${PROJECT_VERSION}.0.0.0")
  list(SUBLIST parts 0 4 parts)
  string(JOIN "," VQ_RC_VERSION ${parts})
  configure_file(${CMAKE_SOURCE_DIR}/windows/vqprogram.rc.in ${dir}/${target}.rc @ONLY)
  set(png ${CMAKE_SOURCE_DIR}/vqres/img/vqapp256.png)
  add_custom_command(OUTPUT ${VQ_RC_ICON}
    COMMAND ${VQ_CONVERT} ${png} -define icon:auto-resize=256,64,48,40,32,24,20,16 ${VQ_RC_ICON}
    DEPENDS ${png} VERBATIM)
  add_custom_command(OUTPUT ${dir}/${target}.res.obj
    COMMAND ${CMAKE_RC_COMPILER} -O coff -i ${dir}/${target}.rc -o ${dir}/${target}.res.obj
    DEPENDS ${dir}/${target}.rc ${VQ_RC_ICON} ${VQ_RC_MANIFEST} VERBATIM)
  target_sources(${target} PRIVATE ${dir}/${target}.res.obj)
  set_target_properties(${target} PROPERTIES VQ_DESCRIPTION "${description}")  # for tests/tst_winres.cpp
endfunction()
