# Monitor window area: texts, languages and the log file; the main window, its tray alert and dragging.
vq_add_test(tst_texts tst_texts.cpp LIBS monitorcore)
vq_add_test(tst_window tst_window.cpp LIBS monitorcore)
