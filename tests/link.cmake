# The serial message frame, the link over pseudo-terminals, the HTTP operations.
# The emulator's frame reader is run against the same table (its source alone: it is portable).
vq_add_test(tst_commsg tst_commsg.cpp ${PROJECT_SOURCE_DIR}/printersim/vqsimframe.cpp)
target_include_directories(tst_commsg PRIVATE ${PROJECT_SOURCE_DIR}/printersim)
vq_add_test(tst_comlink tst_comlink.cpp LIBS vqptypeer)
vq_add_test(tst_commhttp tst_commhttp.cpp)
