# The serial message frame, the link over pseudo-terminals, the HTTP operations.
vq_add_test(tst_comm tst_comm.cpp)
vq_add_test(tst_comlink tst_comlink.cpp LIBS vqptypeer)
