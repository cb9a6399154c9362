// The identification read, what the simulated host's layout promises the
// other tests (order, escaped names, wrong values, the launch log), and the
// platform's host on a machine without printers (the queue job query: tst_cli).
#include "vqtestsupport.h"

#include <QtTest>

static const QString kId = QStringLiteral("USB\\VID_1A2B&PID_0101\\QV0001");

class TstHost : public QObject
{
    Q_OBJECT
private slots:
    void reply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("outcome");  // the text, then the debug line
        // clang-format off
        QTest::newRow("1023 bytes") << QByteArray(1023, 'a') << QString(1023, 'a') + '|';
        QTest::newRow("zero in the middle") << QByteArray("MDL:X\0;SN:1", 11) << "MDL:X|";
        QTest::newRow("id in lower case") << QByteArray("MDL:X;") << "MDL:X;|";
        QTest::newRow("1024 bytes") << QByteArray(1024, 'a') << "|(vq)junk>=1024";
        QTest::newRow("1024 bytes with a zero") << (QByteArray("MDL:X") + QByteArray(1019, '\0')) << "|(vq)junk>=1024";
        QTest::newRow("first byte zero") << QByteArray("\0MDL:X", 6) << "|";
        QTest::newRow("open fails: another device only") << QByteArray("MDL:X") << "|(vq)打印机未开机或未连接";
        QTest::newRow("request fails") << QByteArray("MDL:X") << "|(vq)打印机关机或断开连接";
        // clang-format on
    }
    void reply()
    {
        QFETCH(QByteArray, reply);
        const QString tag = QTest::currentDataTag();
        CvqTempSimHost sim;
        const QString id = tag.startsWith("open fails") ? "USB\\OTHER" : kId;
        QVERIFY(sim.tree().vqAddDevice(id, reply) && sim.tree().vqSetReadFails(id, tag == "request fails"));
        CvqDebugCapture debug;
        const QString text = vqReadDeviceId(tag == "id in lower case" ? kId.toLower() : kId);
        QTEST(text + '|' + debug.lines().join('\n'), "outcome");
    }

    void simHost()
    {
        CvqTempSimHost sim;
        CvqSimTree& tree = sim.tree();
        CvqDebugCapture debug;
        const QString usb = sim.root() + "/usb/";
        // Listed in the byte order of the decoded names; a bad escape is absent. (No two names
        // differ only in case: Windows' file names would not tell them apart.)
        for (const QString e : {"d", "%7C", "B", "%3f", "%zz", "a"})
            QVERIFY(CvqSimTree::vqWriteFileAtomic(usb + e + "/instance_id", e.toUtf8() + "-id\n"));
        QStringList ids;
        QCOMPARE(vqHost().vqListUsbPrinters(&ids), CvqHost::EnumOk);
        QCOMPARE(ids, QStringList({"B-id", "a-id", "d-id", "%7C-id"}));
        // An id longer than Windows' buffer, or none at all, stops the list there.
        QVERIFY(CvqSimTree::vqWriteFileAtomic(usb + "c/instance_id", QByteArray(260, 'x')));
        QCOMPARE(vqHost().vqListUsbPrinters(&ids), CvqHost::EnumIdFailed);
        QVERIFY(QFile::remove(usb + "c/instance_id"));
        QCOMPARE(vqHost().vqListUsbPrinters(&ids), CvqHost::EnumIdFailed);
        QCOMPARE(ids, QStringList({"B-id", "a-id"}));
        QVERIFY(tree.vqSetEnumerationFails(true));
        QCOMPARE(vqHost().vqListUsbPrinters(&ids), CvqHost::EnumListFailed);

        QByteArray raw;
        QVERIFY(tree.vqAddDevice(kId, QByteArray(5000, 'x')) && vqHost().vqReadIeee1284(kId, &raw) == CvqHost::ReadOk);
        QCOMPARE(raw.size(), 1024);  // a reply file beyond the buffer reads as a full one

        // A queue name no Windows file name can hold is stored escaped and read back as it was.
        const QString office = QStringLiteral("Office: \"2?\" 50%.");
        QVERIFY(tree.vqAddDevice(kId, "MDL:X;") && tree.vqAddQueue(office, kId, 7, 0x200)
                && tree.vqAddJob(office, "1"));
        QCOMPARE(vqGetUsbPrinterQueues({kId}), (QMap<QString, QString>{{kId, office}}));
        QCOMPARE(vqHost().vqQueueHasJobs(office.toUtf8()), 1);
        // A value of the wrong kind reads as 0: no entry.
        QVERIFY(tree.vqSetDevicePortNumber(kId, "seven"));
        QVERIFY(vqGetUsbPrinterQueues({kId}).isEmpty());

        QVERIFY(tree.vqAddSerialPort("b", "/dev/pts/9", "SN2") && tree.vqAddSerialPort("a", "/dev/pts/8", "SN1"));
        QStringList ports;
        for (const CvqSerialPortEntry& p : vqHost().vqSerialPorts())
            ports << p.portName + '=' + p.serialNumber;
        QCOMPARE(ports, QStringList({"/dev/pts/8=SN1", "/dev/pts/9=SN2"}));

        vqShowPrinterQueue("Office");
        vqShowPrinterQueue("a\" /x \"b");  // refused: the quote would add arguments
        QCOMPARE(tree.vqLaunched(), QStringList{"rundll32 printui.dll,PrintUIEntry /n \"Office\" /p"});
    }

    void platformHostReportsNothing()
    {
        // No printers found, and no line about it every cycle.
        qunsetenv("VQ_SIM_HOST");
        CvqDebugCapture debug;
        QCOMPARE(vqGetUsbPrinterCount(), 0);
        QVERIFY(vqPollCycle().isEmpty() && !vqHasPrintJob("Office"));
        VQ_VERIFY_NO_MESSAGES(debug);
        // A variable that names no directory does not select the simulated host.
        qputenv("VQ_SIM_HOST", "/nonexistent/vq");
        QCOMPARE(vqGetUsbPrinterCount(), 0);
        qunsetenv("VQ_SIM_HOST");
    }
};

VQ_TEST_GUILESS_MAIN(TstHost)
#include "tst_host.moc"
