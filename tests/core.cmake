vq_add_test(tst_record tst_record.cpp)
vq_add_test(tst_state tst_state.cpp)
vq_add_test(tst_discovery tst_discovery.cpp)
