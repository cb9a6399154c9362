# Monitor window area: the main window, its tray alert, dragging and service threads; texts, languages
# and the log file. Built twice: with the shipped service switches and with every switch on.
vq_add_test(tst_window tst_window.cpp LIBS monitorcore)
vq_add_test(tst_window_allon tst_window.cpp LIBS monitorcore_allon)
