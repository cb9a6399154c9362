vq_add_test(tst_state tst_state.cpp)
vq_add_test(tst_host tst_host.cpp)
vq_add_test(tst_log tst_log.cpp)
vq_add_test(tst_cli tst_cli.cpp LIBS monitorcore)
vq_add_test(tst_singleton tst_singleton.cpp LIBS monitorcore)
# The monitor must be built before its command line is tested.
add_dependencies(tst_cli monitor)
# Both start monitors from the same path: never at the same time.
set_tests_properties(tst_cli PROPERTIES RUN_SERIAL TRUE)

