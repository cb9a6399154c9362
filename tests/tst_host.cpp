// The identification read and the simulated host's layout (the queue job
// query through the program: tst_cli).
#include "vqtestsupport.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>

static const QString kId = QStringLiteral("USB\\VID_1A2B&PID_0101\\QV0001");

class TstHost : public QObject
{
    Q_OBJECT
private slots:
    void reply_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");

        QTest::newRow("plain") << QByteArray("MDL:X;") << "MDL:X;" << "";
        QTest::newRow("1023 bytes") << QByteArray(1023, 'a') << QString(1023, 'a') << "";
        QTest::newRow("zero in the middle") << QByteArray("MDL:X\0;SN:1", 11) << "MDL:X" << "";
        QTest::newRow("1024 bytes") << QByteArray(1024, 'a') << "" << "(vq)junk>=1024";
        QTest::newRow("1024 bytes with a zero") << (QByteArray("MDL:X") + QByteArray(1019, '\0')) << "" << "(vq)junk>=1024";
        QTest::newRow("first byte zero") << QByteArray("\0MDL:X", 6) << "" << "";
        QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfe\x80") << QString::fromUtf8("\xff\xfe\x80") << "";
        // clang-format on
    }

    void reply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, line);
        CvqFakeHost host;
        CvqHostScope scope(&host);
        host.replies[kId] = reply;
        CvqDebugCapture debug;
        QTEST(vqReadDeviceId(kId), "text");
        QCOMPARE(debug.lines(), line.isEmpty() ? QStringList() : QStringList{line});
    }

    void simDevices()
    {
        CvqTempSimHost sim;
        CvqDebugCapture debug;
        QVERIFY(sim.tree().vqAddDevice(kId, QByteArray("MDL:X;\0tail", 11)));
        QCOMPARE(vqReadDeviceId(kId), QStringLiteral("MDL:X;"));
        QCOMPARE(vqReadDeviceId(kId.toLower()), QStringLiteral("MDL:X;"));  // device paths ignore case

        // A reply file longer than the buffer reads as a full buffer.
        QVERIFY(sim.tree().vqSetDeviceReply(kId, QByteArray(5000, 'x')));
        QByteArray raw;
        QCOMPARE(vqHost().vqReadIeee1284(kId, &raw), CvqHost::ReadOk);
        QCOMPARE(raw.size(), 1024);
        QCOMPARE(vqReadDeviceId(kId), QString());
        QVERIFY(sim.tree().vqSetReadFails(kId, true));
        QCOMPARE(vqReadDeviceId(kId), QString());
        QVERIFY(sim.tree().vqSetReadFails(kId, false));
        QVERIFY(sim.tree().vqRemoveDeviceReply(kId));
        QCOMPARE(vqReadDeviceId(kId), QString());
        QCOMPARE(vqReadDeviceId("USB\\VID_1A2B&PID_0101\\OTHER"), QString());
        QCOMPARE(debug.lines(),
                 QStringList({"(vq)junk>=1024", "(vq)打印机关机或断开连接", "(vq)打印机未开机或未连接",
                              "(vq)打印机未开机或未连接"}));
    }

    void simEnumeration_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("entries");   // "entry=id"; no id: an entry without an id file
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<int>("result");

        QTest::newRow("byte order") << QStringList{"b=b-id", "B=B-id", "a=a-id", QString::fromUtf8("é=é-id")} << QStringList{"B-id", "a-id", "b-id", QString::fromUtf8("é-id")} << int(CvqHost::EnumOk);
        QTest::newRow("id unreadable stops the list") << QStringList{"a=a-id", "b=", "c=c-id"} << QStringList{"a-id"} << int(CvqHost::EnumIdFailed);
        QTest::newRow("decoded order; bad escapes absent") << QStringList{"a=a-id", "%7C=bar-id", "%zz=x", "%3f=x", "%=x", "%41=x"} << QStringList{"a-id", "bar-id"} << int(CvqHost::EnumOk);
        QTest::newRow("id too long") << QStringList{"a=a-id", "long=" + QString(260, 'x')} << QStringList{"a-id"} << int(CvqHost::EnumIdFailed);
        // clang-format on
    }

    void simEnumeration()
    {
        QFETCH(QStringList, entries);
        CvqTempSimHost sim;
        for (const QString& e : entries) {
            const QString dir = sim.root() + "/usb/" + e.section('=', 0, 0);
            const QByteArray id = e.section('=', 1).toUtf8();
            QVERIFY(id.isEmpty() ? QDir().mkpath(dir) : CvqSimTree::vqWriteFileAtomic(dir + "/instance_id", id + "\n"));
        }
        QStringList ids;
        QTEST(int(vqHost().vqListUsbPrinters(&ids)), "result");
        QTEST(ids, "listed");

        QVERIFY(sim.tree().vqSetEnumerationFails(true));
        QCOMPARE(vqHost().vqListUsbPrinters(&ids), CvqHost::EnumListFailed);
    }

    void simRegistry()
    {
        // A queue name no Windows file name can hold is stored escaped and read back as it was.
        const QString office = QStringLiteral("Office: \"2?\" 50%.");
        CvqTempSimHost sim;
        QVERIFY(sim.tree().vqAddQueue(office, kId, 7, 0x200));
        QVERIFY(sim.tree().vqAddQueue("Bidi", "USB\\VID_1A2B&PID_0102\\X", 8, 0xA00));
        QCOMPARE(vqGetUsbPrinterQueues({kId, "USB\\VID_1A2B&PID_0102\\X"}), (QMap<QString, QString>{{kId, office}}));
        QVERIFY(sim.tree().vqAddJob(office, "1"));
        QCOMPARE(vqHost().vqQueueHasJobs(office.toUtf8()), 1);
        for (QDirIterator it(sim.root(), QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
             it.hasNext();)
            QVERIFY2(!QRegularExpression("[\"*:<>?\\\\|]|[. ]$").match(it.next().section('/', -1)).hasMatch(),
                     qPrintable(it.filePath()));

        // Values of the wrong kind read as 0 / empty: no entry, no crash.
        QVERIFY(sim.tree().vqSetQueueValue(office, "Attributes", "0x200\n"));
        QVERIFY(vqGetUsbPrinterQueues({kId}).isEmpty());
        QVERIFY(sim.tree().vqSetQueueValue(office, "Attributes", "512\n"));
        QVERIFY(sim.tree().vqSetDevicePortNumber(kId, "seven"));
        QVERIFY(vqGetUsbPrinterQueues({kId}).isEmpty());
        QVERIFY(sim.tree().vqSetDevicePortNumber(kId, "7"));
        QVERIFY(sim.tree().vqSetQueueValue(office, "Port",
                                           QByteArray("USB\0"
                                                      "007",
                                                      7)));
        QVERIFY(vqGetUsbPrinterQueues({kId}).isEmpty());
        QVERIFY(sim.tree().vqSetQueueValue(office, "Port", "USB007"));
        QCOMPARE(vqGetUsbPrinterQueues({kId}).value(kId), office);
    }

    void simSerialAndLaunch()
    {
        CvqTempSimHost sim;
        QVERIFY(sim.tree().vqAddSerialPort("b", "/dev/pts/9", "SN2"));
        QVERIFY(sim.tree().vqAddSerialPort("a", "/dev/pts/8", "SN1"));
        const QList<CvqSerialPortEntry> ports = vqHost().vqSerialPorts();
        QCOMPARE(ports.size(), 2);
        QCOMPARE(ports.at(0).portName, QStringLiteral("/dev/pts/8"));
        QCOMPARE(ports.at(1).serialNumber, QStringLiteral("SN2"));

        vqShowPrinterQueue("Office");
        vqShowPrinterQueue("a\" /x \"b");  // refused: the quote would add arguments
        vqShowPrinterQueue("Two");
        QCOMPARE(sim.tree().vqLaunched(),
                 QStringList({"rundll32 printui.dll,PrintUIEntry /n \"Office\" /p",
                              "rundll32 printui.dll,PrintUIEntry /n \"Two\" /p"}));
    }

    void simNonRegularFiles_data()
    {
        // clang-format off
        QTest::addColumn<QString>("file");  // relative to the tree; replaced by a FIFO
        const QString usb = "/usb/" + CvqSimTree::vqEntryName(kId);
        QTest::newRow("instance id") << usb + "/instance_id";
        QTest::newRow("identification") << usb + "/ieee1284_id";
        QTest::newRow("queue port") << "/registry/Printers/Office/Port";
        QTest::newRow("queue attributes") << "/registry/Printers/Office/Attributes";
        QTest::newRow("serial port") << "/serial/a/port_name";
        // clang-format on
    }

    // A FIFO where a file belongs must neither block nor read as data.
    void simNonRegularFiles()
    {
        QFETCH(QString, file);
        CvqTempSimHost sim;
        QVERIFY(sim.tree().vqAddDevice(kId, "MFG:X;"));
        QVERIFY(sim.tree().vqAddQueue("Office", kId, 7));
        QVERIFY(sim.tree().vqAddSerialPort("a", "/dev/pts/8", "SN1"));
        const QByteArray path = QFile::encodeName(sim.root() + file);
        QVERIFY(QFile::remove(path));
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);

        std::atomic<bool> done{false};
        std::thread reader([&] {
            CvqDebugCapture quiet;
            vqGetUsbPrinterCount();
            vqReadDeviceId(kId);
            vqGetUsbPrinterQueues({kId});
            vqHost().vqSerialPorts();
            done = true;
        });
        for (int i = 0; i < 500 && !done; ++i)
            QThread::msleep(10);
        const bool finished = done;
        // Free a reader blocked in open so the test can end either way.
        while (!done) {
            const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            QThread::msleep(10);
        }
        reader.join();
        QVERIFY2(finished, "a read blocked on the FIFO");
        QByteArray raw;
        if (file.endsWith("ieee1284_id"))
            QCOMPARE(vqHost().vqReadIeee1284(kId, &raw), CvqHost::ReadOpenFailed);
    }

    void linuxHostReportsNothing()
    {
        // The platform's host on a machine without our printers: nothing found, and no
        // line about it every cycle.
        qunsetenv("VQ_SIM_HOST");
        CvqDebugCapture debug;
        QCOMPARE(vqGetUsbPrinterCount(), 0);
        QVERIFY(vqPollCycle().isEmpty());
        QVERIFY(!vqHasPrintJob("Office"));
        VQ_VERIFY_NO_MESSAGES(debug);
        // A variable that names no directory does not select the simulated host.
        qputenv("VQ_SIM_HOST", "/nonexistent/vq");
        QCOMPARE(vqGetUsbPrinterCount(), 0);
        qunsetenv("VQ_SIM_HOST");
    }
};

VQ_TEST_GUILESS_MAIN(TstHost)
#include "tst_host.moc"
