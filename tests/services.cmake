# One-key print (loop, page and pass against the emulator; the monitor end to end under Xvfb) and
# the LAN firmware upgrade (against printersim's web servers on the test's own loopback /24).
vq_add_test(tst_services tst_services.cpp LIBS monitorcore vqsimclient Qt5::Network)
add_dependencies(tst_services printersim monitor monitor_allon)
set_tests_properties(tst_services PROPERTIES TIMEOUT 600)
