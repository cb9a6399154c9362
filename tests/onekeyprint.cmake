# One-key print: loop, page and pass against the emulator; the monitor end to end under Xvfb.
vq_add_test(tst_onekeyprint tst_onekeyprint.cpp LIBS monitorcore vqsimclient)
add_dependencies(tst_onekeyprint printersim)
