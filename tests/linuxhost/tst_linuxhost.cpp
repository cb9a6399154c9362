// The Linux host against a umockdev testbed and a private CUPS scheduler (with_cupsd.sh, umockdev-wrapper).
#include "printerlink/host/vqcups.h"
#include "printerlink/host/vqhost_linux.h"
#include "vqmockusb.h"
#include "vqtestsupport.h"

#include <QProcess>
#include <QTemporaryFile>
#include <QtTest>

#include <cups/cups.h>

namespace {
const QString kA = QStringLiteral("USB\\VID_1A2B&PID_0101&MI_02\\1-1");  // usbfs, interface 2, serial port
const QString kB = QStringLiteral("USB\\VID_1A2B&PID_0106&MI_00\\1-2");  // usblp node only
const QString kStall = QStringLiteral("USB\\VID_1A2B&PID_0107&MI_00\\1-3");
const QString kNoNode = QStringLiteral("USB\\VID_1A2B&PID_0108&MI_00\\1-4");
const QString kOfficeUri = QStringLiteral("usb://Morvane/P4120W?serial=QV0001&interface=2");

QByteArray idText(int row, const char* sn) { return vqMakeDeviceId(vqProducts.at(row).name, "V1.3.6500", sn, {}); }

// Runs a CUPS command line tool against the private scheduler; its output.
QString cups(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(15000) || p.exitCode() != 0)
        qWarning() << program << args << p.readAllStandardError();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}
}  // namespace

class TstLinuxHost : public QObject
{
    Q_OBJECT
    CvqMockUsb mUsb;

private slots:
    void initTestCase()
    {
        QVERIFY2(mUsb.error().isEmpty(), qPrintable(mUsb.error()));
        QVERIFY2(qEnvironmentVariableIsSet("CUPS_SERVER"), "no private scheduler: run through with_cupsd.sh");
        // The first printer's serial port sits on an interface of another class, as a mouse's would.
        QVERIFY2(mUsb.addPrinter("1-1", 0x1a2b, 0x0101, "QV0001", 2, 1, CvqMockUsb::Usbfs, idText(0, "QV0001"))
                     && mUsb.addPrinter("1-2", 0x1a2b, 0x0106, "QV0002", 0, 0, CvqMockUsb::Usblp, idText(1, "QV0002"))
                     && mUsb.addPrinter("1-3", 0x1a2b, 0x0107, "QV0003", 0, 0, CvqMockUsb::Usbfs)
                     && mUsb.addPrinter("1-4", 0x1a2b, 0x0108, "QV0004", 0, 0, CvqMockUsb::NoNode)
                     && mUsb.addPrinter("2-1", 0x04f9, 0x0042, QString(), 0, 0, CvqMockUsb::Usbfs)
                     && mUsb.addRecord("P: /devices/usb1/1-1/1-1:1.0\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n"
                                       "E: DRIVER=cdc_acm\nA: bInterfaceClass=02\nA: bInterfaceNumber=00\n\n"
                                       "P: /devices/usb1/1-1/1-1:1.0/tty/ttyACM0\nN: ttyACM0\nE: SUBSYSTEM=tty\n"
                                       "E: DEVNAME=/dev/ttyACM0\nE: ID_SERIAL_SHORT=QV0001\n"),
                 qPrintable(mUsb.error()));
        // Usb backend URIs: with interface=, encoded without it, an absent printer; named to win if a match on serial
        // alone, a bad interface or another scheme were taken; "Amp"'s encoded "&interface=2" is serial text.
        const QStringList queues{"Office", kOfficeUri,
                                 "Second", "usb://Morvane%20Inc/P%207760?serial=qv%30002",
                                 "Absent", "usb://Morvane/P4120W?serial=QV9999",
                                 "Early",  "usb://Morvane/P4120W?serial=QV0001",
                                 "Bad",    "usb://Morvane/P7760FDN?serial=QV0002&interface=x",
                                 "Net",    "ipp://localhost/printers/x?serial=QV0002",
                                 "Amp",    "usb://Morvane/P4120W?serial=QV0001%26interface%3D2"};
        for (int i = 0; i < queues.size(); i += 2)
            cups("lpadmin", {"-p", queues[i], "-v", queues[i + 1], "-E"});
        QCOMPARE(cups("lpstat", {"-v"}).count(QStringLiteral("://")), queues.size() / 2);
    }

    void read_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("outcome");  // the result, then the text
        auto row = [](const char* name, const QString& id, int result, const QByteArray& text = QByteArray()) {
            QTest::newRow(name) << id << QString::number(result) + ' ' + QString::fromUtf8(text);
        };
        // clang-format off
        row("usbfs: GET_DEVICE_ID of interface 2, setting 1", kA, CvqHost::ReadOk, idText(0, "QV0001"));
        row("usblp, no usbfs node", kB, CvqHost::ReadOk, idText(1, "QV0002"));
        row("id in lower case", kA.toLower(), CvqHost::ReadOk, idText(0, "QV0001"));
        row("stalled request", kStall, CvqHost::ReadRequestFailed);
        row("no node", kNoNode, CvqHost::ReadOpenFailed);
        row("another product at the port", "USB\\VID_1A2B&PID_0106&MI_02\\1-1", CvqHost::ReadOpenFailed);
        row("another interface", "USB\\VID_1A2B&PID_0101&MI_00\\1-1", CvqHost::ReadOpenFailed);
        row("no device at the port", "USB\\VID_1A2B&PID_0101&MI_02\\3-1", CvqHost::ReadOpenFailed);
        row("port leaving sysfs", "USB\\VID_1A2B&PID_0101&MI_02\\1-1/../1-1", CvqHost::ReadOpenFailed);
        // clang-format on
    }
    void read()
    {
        QFETCH(QString, id);
        QFETCH(QString, outcome);
        // The same with the length field a standard printer sends and without it (the bare firmware's), the
        // prefixed last as the later cases want. A host watching udev looks the id up in its list; one without
        // looks at that port.
        for (const bool bare : {true, false}) {
            mUsb.setBare(bare);
            for (const int sources : {int(CvqLinuxHost::Udev), int(CvqLinuxHost::NoSource)}) {
                CvqLinuxHost host(sources);
                QByteArray reply;
                const int result = host.vqReadIeee1284(id, &reply);
                const QString how =
                    QStringLiteral("%1 reply, sources %2: ").arg(bare ? "bare" : "prefixed").arg(sources);
                QCOMPARE(how + QString::number(result) + ' ' + vqIdTextFromReply(reply), how + outcome);
            }
        }
    }

    void jobs()
    {
        QTemporaryFile doc;
        QVERIFY(doc.open() && doc.write("page\n") > 0 && doc.flush());
        auto hold = [&] { return cups("lp", {"-d", "Office", "-H", "hold", doc.fileName()}).section(' ', 3, 3); };
        const QString bin = qEnvironmentVariable("VQ_BIN_DIR") + "/monitor";
        auto monitor = [&](const char* queue) { return QProcess::execute(bin, {"hasjob", queue}); };
        QList<int> seen{vqHost().vqQueueHasJobs("Office")};
        const QString held = hold(), second = hold();
        seen << vqHost().vqQueueHasJobs("Office") << monitor("Office");
        cups("cancel", {held});
        seen << vqHost().vqQueueHasJobs("Office");
        cups("cancel", {second});
        // Cancelled jobs stay in the history; unknown or bad names are no queue.
        seen << monitor("Office") << monitor("Nope");
        for (const char* q : {"Office", "Absent", "Nope", "../printers/Office", ""})
            seen << vqHost().vqQueueHasJobs(q);
        QCOMPARE(seen, QList<int>({0, 1, 1, 1, 0, 0, 0, 0, -1, -1, -1}));
    }

    void showQueue()
    {
        QTemporaryDir bin;
        const QString opener = bin.filePath("xdg-open");
        QVERIFY(CvqSimTree::vqWriteFileAtomic(opener, "#!/bin/sh\necho \"$*\" >> \"$0.log\"\n")
                && QFile::setPermissions(opener, QFile::ReadOwner | QFile::ExeOwner));
        qputenv("PATH", QFile::encodeName(bin.path()) + ':' + qgetenv("PATH"));
        vqShowPrinterQueue("a b#c");
        // The scheduler listens on a local socket only: its pages are on the loopback name.
        QTRY_COMPARE_WITH_TIMEOUT(vqReadFile(opener + ".log"), QByteArray("http://localhost:631/printers/a%20b%23c\n"),
                                  10000);
    }

    void pollCycleMatchesSimulatedHost()
    {
        QCOMPARE(vqGetUsbPrinterQueues({kA.toLower()}), (QMap<QString, QString>{{kA.toLower(), "Office"}}));
        const QMap<QString, CvqState> onLinux = vqPollCycle();
        // The simulated host fed the same identification texts, queues and serial port.
        CvqTempSimHost sim;
        CvqSimTree& t = sim.tree();
        QVERIFY(t.vqAddDevice(kA, idText(0, "QV0001")) && t.vqAddDevice(kB, idText(1, "QV0002"))
                && t.vqAddDevice(kStall, "x") && t.vqSetReadFails(kStall, true) && t.vqAddDevice(kNoNode, QByteArray())
                && t.vqAddQueue("Office", kA, 1) && t.vqAddQueue("Second", kB, 2)
                && t.vqAddSerialPort("p1", "ttyACM0", "QV0001"));
        QCOMPARE(vqPollCycle(), onLinux);
    }

    // Last: it changes the testbed. Steps in order, each on a fresh host after one cycle: the next cycle's view of kA
    // and of printers plugged announced and not, kA's serial port, and the lists (usb, serial, queues) read again.
    void changesSeen_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("seen");
        // clang-format off
        QTest::newRow("nothing changed") << "" << "connected absent absent ttyACM0, reads 0 0 0";
        QTest::newRow("printer plugged") << "plug" << "connected listed absent ttyACM0, reads 1 1 0";
        QTest::newRow("serial port unplugged") << "unplug port" << "connected listed absent , reads 1 1 0";
        QTest::newRow("queue removed") << "remove queue" << "listed listed absent , reads 0 0 1";
        QTest::newRow("queue added") << "add queue" << "connected listed absent , reads 0 0 1";
        QTest::newRow("scheduler gone") << "no scheduler" << "listed listed absent , reads 0 0 1";
        QTest::newRow("no sources, plugged unannounced") << "plug quietly" << "connected listed listed , reads 1 1 1";
        // clang-format on
    }
    void changesSeen()
    {
        QFETCH(QString, change);
        const bool sources = change != "plug quietly";
        CvqLinuxHost host(sources ? CvqLinuxHost::Udev | CvqLinuxHost::Scheduler : CvqLinuxHost::NoSource);
        CvqHostScope scope(&host);
        vqPollCycle();
        // umockdev cannot add a device at a port it removed one from, nor a node of a removed one's name.
        const QString sys = change == "unplug port" ? QString("/sys/devices/usb1/1-1/1-1:1.0/tty/ttyACM0")
                                                    : QString("/sys/devices/usb1/1-") + (sources ? "5" : "6");
        if (change.startsWith("plug"))
            QVERIFY(mUsb.addPrinter(sys.section('/', -1), 0x1a2b, 0x0101, "QV0005", 0, 0, CvqMockUsb::NoNode));
        if (change == "plug" || change == "unplug port")
            mUsb.uevent(sys, change == "plug" ? "add" : "remove");
        if (change.endsWith(" queue"))
            cups("lpadmin",
                 change == "remove queue" ? QStringList{"-x", "Office"}
                                          : QStringList{"-p", "Office", "-v", kOfficeUri, "-E"});
        if (change == "no scheduler")
            cupsSetServer(QFile::encodeName(QDir::temp().filePath("vq-no-scheduler.sock")).constData());
        const CvqLinuxHost::Reads before = host.vqReads();
        const QMap<QString, CvqState> states = vqPollCycle();
        const CvqLinuxHost::Reads after = host.vqReads();
        cupsSetServer(nullptr);
        QStringList seen;
        for (const QString& id :
             {kA, QString("USB\\VID_1A2B&PID_0101&MI_00\\1-5"), QString("USB\\VID_1A2B&PID_0101&MI_00\\1-6")})
            seen << (!states.contains(id) ? "absent" : states.value(id).connected ? "connected" : "listed");
        seen << states.value(kA).vqComName + ", reads" << QString::number(after.usb - before.usb)
             << QString::number(after.serial - before.serial) << QString::number(after.queues - before.queues);
        QTEST(seen.join(' '), "seen");
    }
};

VQ_TEST_GUILESS_MAIN(TstLinuxHost)
#include "tst_linuxhost.moc"
