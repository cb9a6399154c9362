# The scan job and scan to PC, against in-memory printers and the emulator.
vq_add_test(tst_scanjob tst_scanjob.cpp LIBS vqsimclient monitorbase)
add_dependencies(tst_scanjob printersim)
set_tests_properties(tst_scanjob PROPERTIES TIMEOUT 600)
