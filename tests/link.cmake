# The serial message frame, the link over pseudo-terminals, the HTTP operations.
vq_add_test(tst_commsg tst_commsg.cpp)
vq_add_test(tst_comlink tst_comlink.cpp LIBS vqptypeer)
vq_add_test(tst_commhttp tst_commhttp.cpp)
