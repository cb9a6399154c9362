# The printer emulator: its own protocol, tree and web endpoints, and the
# link library end to end against it (serial over pseudo-terminals, HTTP on
# the loopback address), with the scan job and scan to PC on the same emulator.
vq_add_test(tst_printersim tst_printersim.cpp LIBS vqsimclient Qt5::Network)
vq_add_test(tst_link_e2e tst_link_e2e.cpp LIBS vqsimclient monitorbase Qt5::Gui Qt5::Network)
foreach(t tst_printersim tst_link_e2e)
  add_dependencies(${t} printersim)
  target_compile_definitions(${t} PRIVATE VQ_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_tests_properties(${t} PROPERTIES TIMEOUT 600)
endforeach()
