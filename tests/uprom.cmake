# LAN firmware upgrade: against printersim's web servers on the test's own loopback /24.
vq_add_test(tst_lanuprom tst_lanuprom.cpp LIBS monitorcore vqsimclient Qt5::Network)
add_dependencies(tst_lanuprom printersim monitor_allon)
set_tests_properties(tst_lanuprom PROPERTIES TIMEOUT 600)
