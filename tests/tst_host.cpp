// The host seam: reads, hosts, device matching, queue lookup, the poll cycle, the core thread (its stop is one-shot).
#include "printerlink/host/vqusbguid.h"
#include "vqcountinghost.h"
#include "vqtestsupport.h"

#include <QtTest>

static const QString kId = QStringLiteral("USB\\VID_1A2B&PID_0101\\QV0001");

class TstHost : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { vqRegisterStateMetaTypes(); }
    void reply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("outcome");  // the text, then the debug line
        const QByteArray a294 = "MDL:" + QByteArray(294, 'a');
        // clang-format off
        QTest::newRow("length field counting itself") << vqWithIdLength("MDL:X;") << "MDL:X;|";
        QTest::newRow("length field leaving itself out") << QByteArray("\0\6MDL:X;", 8) << "MDL:X;|";
        QTest::newRow("length field, a zero after the id") << QByteArray("\0\x08MDL:X;\0", 9) << "MDL:X;|";
        QTest::newRow("300 bytes: length field 0x01 0x2C") << vqWithIdLength(a294) << QString(a294) + '|';
        QTest::newRow("length field, 1023 bytes") << vqWithIdLength(QByteArray(1021, 'a')) << QString(1021, 'a') + '|';
        QTest::newRow("length field, 1024 bytes") << vqWithIdLength(QByteArray(1022, 'a')) << "|(vq)junk>=1024";
        QTest::newRow("length past the reply") << QByteArray("\1\x2CMDL:X;") << "|(vq)id cut short";
        QTest::newRow("1280-byte id cut at 1023") << vqWithIdLength(QByteArray(1278, 'a')).left(1023) << "|(vq)id cut short";
        QTest::newRow("length 1: kept whole") << QByteArray("\0\1MDL:X;", 8) << "|";
        QTest::newRow("2 bytes, length 2") << QByteArray("\0\2", 2) << "|";
        QTest::newRow("1 byte") << QByteArray("M") << "M|";
        QTest::newRow("0 bytes") << QByteArray() << "|";
        QTest::newRow("1023 bytes") << QByteArray(1023, 'a') << QString(1023, 'a') + '|';
        QTest::newRow("zero in the middle") << QByteArray("MDL:X\0;SN:1", 11) << "MDL:X|";
        QTest::newRow("1024 bytes") << QByteArray(1024, 'a') << "|(vq)junk>=1024";
        QTest::newRow("1024 bytes with a zero") << (QByteArray("MDL:X") + QByteArray(1019, '\0')) << "|(vq)junk>=1024";
        QTest::newRow("first byte zero") << QByteArray("\0MDL:X", 6) << "|(vq)id cut short";
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
        QVERIFY(sim.tree().vqAddDevice(id, "x") && sim.tree().vqSetDeviceReply(id, reply)
                && sim.tree().vqSetReadFails(id, tag == "request fails"));
        CvqDebugCapture debug;
        const QString text = vqReadDeviceId(kId);
        QTEST(text + '|' + debug.lines().join('\n'), "outcome");
    }

    void hosts()
    {
        // The platform's host finds no printers, and says nothing of it every cycle.
        qunsetenv("VQ_SIM_HOST");
        CvqDebugCapture debug;
        QCOMPARE(vqGetUsbPrinterCount(), 0);
        QVERIFY(vqPollCycle().isEmpty() && !vqHasPrintJob("Office"));
        QCOMPARE(debug.take(), QStringList());
        // A queue name no Windows file name can hold is stored escaped and read back as it was.
        CvqTempSimHost sim;
        const QString office = QStringLiteral("Office: \"2?\" 50%.");
        QVERIFY(sim.tree().vqAddDevice(kId, "MDL:X;") && sim.tree().vqAddQueue(office, kId, 7, 0x200)
                && sim.tree().vqAddJob(office, "1"));
        QCOMPARE(vqGetUsbPrinterQueues({kId}), (QMap<QString, QString>{{kId, office}}));
        QCOMPARE(vqHost().vqQueueHasJobs(office.toUtf8()), 1);
        vqShowPrinterQueue("Office");
        vqShowPrinterQueue("a\" /x \"b");  // refused: the quote would add arguments
        QCOMPARE(sim.tree().vqLaunched(), QStringList{"rundll32 printui.dll,PrintUIEntry /n \"Office\" /p"});
    }

    void discovery_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("outcome");  // the ids found, then the debug line
        auto usbId = [](int row, const char* t) { return "USB\\VID_1A2B&PID_" + vqProducts.at(row).vidpid.pid + t; };
        const QString a = usbId(3, "\\B"), b = usbId(4, "\\a").toLower(), p7 = usbId(7, "&MI_00\\7&2&0");
        const QString p0 = usbId(0, ""), other = "USB\\VID_04F9&PID_" + vqProducts.at(0).vidpid.pid + "\\QV1";
        const int ok = CvqHost::EnumOk;
        // clang-format off
        QTest::newRow("sorted, once each, foreign skipped") << QStringList{"USB\\VID_0000&PID_0000\\X", b, a, a, "junk"} << ok << a + ' ' + b + '|';
        QTest::newRow("composite suffix") << QStringList{p7} << ok << p7 + '|';
        QTest::newRow("exactly 21 characters") << QStringList{p0} << ok << p0 + '|';
        QTest::newRow("unknown product") << QStringList{"USB\\VID_1A2B&PID_FFFF\\QV1"} << ok << "|";
        QTest::newRow("other vendor, known pid") << QStringList{other} << ok << "|";
        QTest::newRow("not USB") << QStringList{"LPT" + p0.mid(3)} << ok << "|";
        QTest::newRow("truncated pid") << QStringList{p0.left(20)} << ok << "|";
        // The devices listed before an identification failed still count.
        QTest::newRow("id failed") << QStringList{a} << int(CvqHost::EnumIdFailed) << a + "|(vq)获取设备识别字符串失败";
        QTest::newRow("list failed") << QStringList{a} << int(CvqHost::EnumListFailed) << "|(vq)获取系统设备列表失败";
        // clang-format on
    }
    void discovery()
    {
        QFETCH(int, result);
        CvqFakeHost host;
        CvqHostScope scope(&host);
        QFETCH(QStringList, ids);
        host.instanceIds = ids;
        host.enumResult = CvqHost::EnumResult(result);
        CvqDebugCapture debug;
        const QMap<QString, CvqUsbDevKnInfo> found = vqGetUsbPrinters(vqProductFilters());
        QTEST(QStringList(found.keys()).join(' ') + '|' + debug.take().join(' '), "outcome");
        // Each with its product's row and ids in upper case, whatever the id's case.
        for (const CvqUsbDevKnInfo& f : found)
            QCOMPARE(f.product->vidpid, f.vidpid);
    }

    void queues_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<quint32>("attributes");
        QTest::addColumn<QString>("queues");    // parted by '|', in listing order
        QTest::addColumn<QString>("expected");  // "-": no entry
        // clang-format off
        QTest::newRow("USB1, other bits, comma cut") << "USB1" << 0x2E4u << " Office 2 ,Host" << "Office 2";
        QTest::newRow("later queue on the port wins") << "USB001" << 0x200u << "First|Second" << "Second";
        QTest::newRow("port number 0") << "USB000" << 0x200u << "Office" << "-";
        QTest::newRow("port suffix not numeric") << "USB00A" << 0x200u << "Office" << "-";
        QTest::newRow("port lower case") << "usb001" << 0x200u << "Office" << "-";
        QTest::newRow("no do-complete-first") << "USB001" << 0x0u << "Office" << "-";
        QTest::newRow("bidirectional") << "USB001" << 0xA00u << "Office" << "-";
        // Only the stray keys below name port 2.
        QTest::newRow("port of another device") << "USB002" << 0x200u << "Office" << "-";
        // clang-format on
    }
    void queues()
    {
        QFETCH(QString, port);
        QFETCH(quint32, attributes);
        QFETCH(QString, queues);
        CvqFakeHost host;
        const QString id = "USB\\VID_1A2B&PID_0101\\QV1", lower = id.toLower();
        for (const QString& q : queues.split('|')) {
            host.addQueue(q, id, 1);
            host.ports[q] = port;
            host.attributes[q] = attributes;
        }
        // Keys of another class, or not of a device path, are passed over.
        for (const QString key : {"##?#USB#VID_1A2B&PID_0101#QV1#{00000000-0000-0000-0000-000000000000}",
                                  "#??#USB#VID_1A2B&PID_0101#QV1#" VQ_USB_PRINT_GUID}) {
            host.classKeys.prepend(key);
            host.portNumbers[key] = 2;
        }
        QTEST(vqFindUsbPrinterQueues(host, {lower}).value(lower, "-"), "expected");
    }
    void cycle_data()
    {
        QTest::addColumn<quint32>("attributes");  // of the printer's queue
        QTest::addColumn<QStringList>("ports");   // "name=serial[@USB vendor id]", in listing order
        // connected|product|serial number|firmware|toner|queue|serial port; P: the product's name
        QTest::addColumn<QString>("state");
        const QString on = "1|P|QV0002|V1.3.6500|80|Q|";
        // clang-format off
        // A device without a queue is never read, nor given a port.
        QTest::newRow("queue offline") << 0x600u << QStringList{"COM3=QV0002"} << "0|P|||-1||";
        QTest::newRow("junk answer") << 0x200u << QStringList{"COM3=QV0002"} << "0|P|||-1|Q|";
        QTest::newRow("later port wins") << 0x200u << QStringList{"COM3=QV0002", "COM9=QV0002"} << on + "COM9";
        QTest::newRow("our vendor's port") << 0x200u << QStringList{"COM3=QV0002@1A2B"} << on + "COM3";
        QTest::newRow("no match") << 0x200u << QStringList{"COM3=QV0001"} << on;
        QTest::newRow("our number on another vendor's port") << 0x200u << QStringList{"COM3=QV0002@2B3C"} << on;
        QTest::newRow("no number on either side") << 0x200u << QStringList{"COM7="} << "1|P||V1.3.6500|80|Q|";
        // clang-format on
    }
    void cycle()
    {
        QFETCH(quint32, attributes);
        QFETCH(QStringList, ports);
        const QString tag = QTest::currentDataTag(), p = vqProducts.at(2).name;
        CvqFakeHost host;
        CvqHostScope scope(&host);
        const QString id = "USB\\VID_1A2B&PID_" + vqProducts.at(2).vidpid.pid + "\\A";
        host.instanceIds = QStringList{id};
        host.replies[id] = tag == "junk answer"
            ? QByteArray("\x01\x02\xff;STS:zz;MDL:X")
            : vqMakeDeviceId(p, "V1.3.6500", tag.startsWith("no number") ? "" : "QV0002", CvqStsFields());
        host.addQueue("Q", id, 1, attributes);
        for (const QString& port : ports)
            host.serialPorts.append({port.section('=', 0, 0), port.section('=', 1).section('@', 0, 0),
                                     port.contains('@') ? port.section('@', 1).toInt(nullptr, 16) : -1});
        CvqDebugCapture quiet;
        const CvqState s = vqPollCycle().value(id);
        const QStringList state{QString::number(s.connected),    s.productName, s.SN,       s.ROMVER,
                                QString::number(s.tonerPercent), s.queueName,   s.vqComName};
        QTEST(state.join('|').replace(p, "P"), "state");
    }

    void coreThread()
    {
        CvqTempSimHost sim;
        CvqCountingSimHost counting;
        CvqHostScope scope(&counting);
        QCOMPARE(vqWaitQuit(0), false);
        QString id;
        QStringList changes;  // "printers:toner" before and after, queued to this thread as the window receives them
        CvqCoreTrd trd;
        connect(&trd, &CvqCoreTrd::vqOnChange, this, [&](CvqStateMap o, CvqStateMap n) {
            changes << QString::asprintf("%d:%d>%d:%d", o.size(), o.value(id).tonerPercent, n.size(),
                                         n.value(id).tonerPercent);
        });
        CvqDebugCapture quiet;
        trd.start();
        QVERIFY(counting.waitCycles(2));
        QCOMPARE(changes, QStringList());  // nothing attached: no signal
        id = sim.addPrinter(5);
        QTRY_COMPARE_WITH_TIMEOUT(changes, QStringList{"0:-1>1:80"}, 15000);
        QVERIFY(counting.waitCycles(2));
        QCOMPARE(changes.size(), 1);  // same map: no signal
        CvqStsFields lower;
        lower.crumT = 7900;
        QVERIFY(sim.tree().vqSetDeviceReply(id, vqMakeDeviceId(vqProducts.at(5).name, "V1.3.6500", "QV0005", lower)));
        QTRY_COMPARE_WITH_TIMEOUT(changes, (QStringList{"0:-1>1:80", "1:80>1:79"}), 15000);
        vqQuitAll();
        QVERIFY(trd.wait(15000));
        QVERIFY(vqWaitQuit(0) && vqWaitQuit(60000));  // once raised, every wait returns at once
    }
};

VQ_TEST_GUILESS_MAIN(TstHost)
#include "tst_host.moc"
