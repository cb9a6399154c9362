# Monitor window area: texts and languages, tray alert and movable widget, main window.
vq_add_test(tst_texts tst_texts.cpp LIBS monitorcore)
vq_add_test(tst_window tst_window.cpp LIBS monitorcore)
vq_add_test(tst_trayalert tst_trayalert.cpp LIBS monitorcore)
