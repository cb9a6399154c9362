// The Windows host against a real registry (a Wine prefix with code page 936, filled by
// tests/wine/registry.sh): queue names in Chinese come back intact and find their device.
#include "printerlink/printerlink.h"

#include <QtTest>

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
};

QTEST_GUILESS_MAIN(TstWinHost)
#include "tst_winhost.moc"
