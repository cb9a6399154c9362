# The scan job and scan to PC share the emulator with the link's end-to-end test: tst_link_e2e (sim.cmake).
