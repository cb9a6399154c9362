// The Windows host against a real registry (a Wine prefix with code page 936, filled by
// tests/wine/registry.sh): queue names in Chinese come back intact and find their device.
#include "printerlink/printerlink.h"

#include <QtTest>

static const QString kAsciiId = QStringLiteral("USB\\VID_1A2B&PID_0101\\QV0001");
static const QString kChineseId = QStringLiteral("USB\\VID_1A2B&PID_0102\\QV0002");
static const QString kChinese = QString::fromUtf8("办公室");

class TstWinHost : public QObject
{
    Q_OBJECT
private slots:
    void queueLookup();
    void queueWithoutDevice();
};

void TstWinHost::queueLookup()
{
    QMap<QString, QString> want;
    want.insert(kAsciiId, QStringLiteral("Office P1"));
    want.insert(kChineseId, kChinese);
    QCOMPARE(vqGetUsbPrinterQueues({kAsciiId, kChineseId}), want);
}

void TstWinHost::queueWithoutDevice()
{
    QVERIFY(vqGetUsbPrinterQueues({QStringLiteral("USB\\VID_1A2B&PID_0103\\QV0003")}).isEmpty());
    // A queue the spooler does not know cannot be opened.
    QVERIFY(!vqHasPrintJob(kChinese.toLocal8Bit().constData()));
}

QTEST_GUILESS_MAIN(TstWinHost)
#include "tst_winhost.moc"
