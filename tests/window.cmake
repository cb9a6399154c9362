# Monitor window area: texts and languages; the main window, its tray alert and dragging.
vq_add_test(tst_texts tst_texts.cpp LIBS monitorcore)
vq_add_test(tst_window tst_window.cpp LIBS monitorcore)
