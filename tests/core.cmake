vq_add_test(tst_state tst_state.cpp)
vq_add_test(tst_host tst_host.cpp)
vq_add_test(tst_singleton tst_singleton.cpp LIBS monitorcore vqversion)
# The monitor must be built before its command line is tested.
add_dependencies(tst_singleton monitor)
# It starts monitors from the one shared path: never beside another test.
set_tests_properties(tst_singleton PROPERTIES RUN_SERIAL TRUE)

