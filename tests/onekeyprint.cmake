# One-key print: loop, page and pass against the emulator; the monitor end to end under Xvfb.
vq_add_test(tst_onekeyprint tst_onekeyprint.cpp LIBS monitorcore vqsimclient)
add_dependencies(tst_onekeyprint printersim)
# The window's service threads, with the shipped switches and with every switch on.
vq_add_test(tst_switches tst_switches.cpp LIBS monitorcore)
vq_add_test(tst_switches_allon tst_switches.cpp LIBS monitorcore_allon)
