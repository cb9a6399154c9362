# The scan job and scan to PC, against in-memory printers and the emulator.
vq_add_test(tst_scanjob tst_scanjob.cpp LIBS vqsimclient)
vq_add_test(tst_scantopc tst_scantopc.cpp LIBS vqsimclient monitorbase)
foreach(t tst_scanjob tst_scantopc)
  add_dependencies(${t} printersim)
  set_tests_properties(${t} PROPERTIES TIMEOUT 600)
endforeach()
