# One-key print: loop, page, and the monitor end to end under Xvfb.
vq_add_test(tst_onekeyprint tst_onekeyprint.cpp LIBS monitorcore)
