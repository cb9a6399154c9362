// The Windows host against a real registry (a Wine prefix with code page 936, filled by
// tests/wine/registry.sh): queue names in Chinese come back intact and find their device.
// A serial port that cannot be opened is logged with the system's own text.
#include "printerlink/printerlink.h"
#include "vqtestsupport.h"

class TstWinHost : public QObject
{
    Q_OBJECT
private slots:
    void queues()
    {
        const QString ascii = "USB\\VID_1A2B&PID_0101\\QV0001", chinese = "USB\\VID_1A2B&PID_0102\\QV0002";
        const QString office = QString::fromUtf8("办公室");
        // The third device has no key: no entry.
        QCOMPARE(vqGetUsbPrinterQueues({ascii, chinese, "USB\\VID_1A2B&PID_0103\\QV0003"}),
                 (QMap<QString, QString>{{ascii, "Office P1"}, {chinese, office}}));
        // A queue the spooler does not know cannot be opened.
        QVERIFY(!vqHasPrintJob(office.toLocal8Bit().constData()));
    }
    void portOpenFailure_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("logged");  // Wine's texts in the prefix's Chinese
        QTest::newRow("no such port") << "COM199"
                                      << "找不到文件。";
        QTest::newRow("a folder, not a port") << "\\\\.\\C:\\windows"
                                              << "访问被拒绝。";
    }
    void portOpenFailure()
    {
        QFETCH(QString, port);
        QFETCH(QString, logged);
        CvqDebugCapture debug;
        CvqComLink link(port);
        QVERIFY(!link.open());
        QCOMPARE(debug.lines().join('|'), "Failed to open serial port: " + logged);
    }
};

VQ_TEST_GUILESS_MAIN(TstWinHost)
#include "tst_winhost.moc"
