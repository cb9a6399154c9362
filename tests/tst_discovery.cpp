// Product table, device matching and the print-queue lookup.
#include "vqtestsupport.h"
#include "printerlink/host/vqusbguid.h"

#include <QtTest>

static const QString kGuid = QStringLiteral(VQ_USB_PRINT_GUID);

class TstDiscovery : public QObject
{
    Q_OBJECT
private slots:
    void match_data()
    {
        // clang-format off
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("row");  // -1: no match
        const QString p0 = vqProducts.at(0).vidpid.pid;
        const QString p7 = vqProducts.at(7).vidpid.pid;
        QTest::newRow("lower case") << ("usb\\vid_1a2b&pid_" + p7 + "\\qv1").toLower() << 7;
        QTest::newRow("composite suffix") << "USB\\VID_1A2B&PID_" + p7 + "&MI_00\\7&2&0" << 7;
        QTest::newRow("exactly 21 characters") << "USB\\VID_1A2B&PID_" + p0 << 0;

        QTest::newRow("unknown product") << "USB\\VID_1A2B&PID_FFFF\\QV1" << -1;
        QTest::newRow("other vendor, known pid") << "USB\\VID_04F9&PID_" + p0 + "\\QV1" << -1;
        QTest::newRow("not USB") << "LPT\\VID_1A2B&PID_" + p0 << -1;
        QTest::newRow("truncated pid") << "USB\\VID_1A2B&PID_01" << -1;
        // clang-format on
    }

    void match()
    {
        QFETCH(QString, id);
        QFETCH(int, row);
        CvqVIDPID ids;
        const QList<CvqUsbDevFilter> filters = vqProductFilters();  // the result points into it
        const CvqUsbDevFilter* f = vqMatchInstanceId(id, filters, &ids);
        QCOMPARE(f ? f->product : nullptr, row < 0 ? nullptr : &vqProducts.at(row));
        if (f)
            QCOMPARE(ids, vqProducts.at(row).vidpid);  // upper case, whatever the id's case
    }

    void discovery_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QString>("line");
        const QString a = "USB\\VID_1A2B&PID_" + vqProducts.at(3).vidpid.pid + "\\B";
        const QString b = "usb\\vid_1a2b&pid_" + vqProducts.at(4).vidpid.pid.toLower() + "\\a";
        const int ok = CvqHost::EnumOk;
        QTest::newRow("sorted, once each, foreign skipped") << QStringList{"USB\\VID_0000&PID_0000\\X", b, a, a, "junk"} << ok
                                                            << QStringList{a, b} << "";
        // The devices listed before an identification failed still count.
        QTest::newRow("id failed") << QStringList{a} << int(CvqHost::EnumIdFailed) << QStringList{a} << "(vq)获取设备识别字符串失败";
        QTest::newRow("list failed") << QStringList{a} << int(CvqHost::EnumListFailed) << QStringList() << "(vq)获取系统设备列表失败";
        // clang-format on
    }

    void discovery()
    {
        QFETCH(QStringList, ids);
        QFETCH(int, result);
        QFETCH(QString, line);
        CvqFakeHost host;
        CvqHostScope scope(&host);
        host.instanceIds = ids;
        host.enumResult = CvqHost::EnumResult(result);
        CvqDebugCapture debug;
        const QMap<QString, CvqUsbDevKnInfo> foundMap = vqGetUsbPrinters(vqProductFilters());
        QCOMPARE(debug.take(), line.isEmpty() ? QStringList() : QStringList{line});
        QFETCH(QStringList, found);
        QCOMPARE(QStringList(foundMap.keys()), found);
        if (!found.isEmpty())
            QCOMPARE(foundMap.first().product, &vqProducts.at(3));  // a's row
        QCOMPARE(vqGetUsbPrinterCount(), foundMap.size());
    }

    // A match entry with an empty pid takes every product of the vendor; the first entry wins.
    void vendorWideFilter()
    {
        CvqFakeHost host;
        CvqHostScope scope(&host);
        const QString a = "USB\\VID_1A2B&PID_" + vqProducts.at(3).vidpid.pid + "\\A";
        host.instanceIds = QStringList{a};
        const CvqProduct& r1 = vqProducts.at(10);
        const CvqProduct& r2 = vqProducts.at(11);
        const QList<CvqUsbDevFilter> filters{{CvqVIDPID(vqVendorId, ""), &r1}, {vqProducts.at(3).vidpid, &r2}};
        const auto found = vqGetUsbPrinters(filters);
        QCOMPARE(found.value(a).product, &r1);
    }

    void queues_data()
    {
        // clang-format off
        QTest::addColumn<QString>("port");
        QTest::addColumn<quint32>("attributes");
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("expected");  // empty: no entry

        QTest::newRow("USB001") << "USB001" << 0x200u << "Office" << "Office";
        QTest::newRow("USB1, other bits, comma cut") << "USB1" << 0x2E4u << " Office 2 ,Host" << "Office 2";
        QTest::newRow("port number 0") << "USB000" << 0x200u << "Office" << "";
        QTest::newRow("port suffix not numeric") << "USB00A" << 0x200u << "Office" << "";
        QTest::newRow("port lower case") << "usb001" << 0x200u << "Office" << "";
        QTest::newRow("no do-complete-first") << "USB001" << 0x0u << "Office" << "";
        QTest::newRow("offline") << "USB001" << 0x600u << "Office" << "";
        QTest::newRow("bidirectional") << "USB001" << 0xA00u << "Office" << "";
        QTest::newRow("port of another device") << "USB002" << 0x200u << "Office" << "";
        // clang-format on
    }

    void queues()
    {
        QFETCH(QString, port);
        QFETCH(quint32, attributes);
        QFETCH(QString, queue);
        QFETCH(QString, expected);
        CvqFakeHost host;
        const QString id = "USB\\VID_1A2B&PID_0101\\QV1";
        host.addQueue(queue, id, 1);
        host.ports[queue] = port;
        host.attributes[queue] = attributes;
        const QMap<QString, QString> q = vqFindUsbPrinterQueues(host, {id});
        QCOMPARE(q.value(id), expected);
        QCOMPARE(q.size(), expected.isEmpty() ? 0 : 1);
    }

    // Queue lookup details that need several queues and keys.
    void severalQueues()
    {
        CvqFakeHost reg;
        const QString id = "USB\\VID_1A2B&PID_0101\\QV1";
        const QString lower = id.toLower();
        reg.addQueue("First", id, 3);
        reg.addQueue("Second", id, 3);  // same port: the later queue wins
        reg.classKeys.prepend("##?#USB#VID_1A2B&PID_0101#QV1#{00000000-0000-0000-0000-000000000000}");
        reg.classKeys.prepend("#?#USB#VID_1A2B&PID_0101#QV1#" + kGuid);
        QCOMPARE(vqFindUsbPrinterQueues(reg, {lower}), (QMap<QString, QString>{{lower, "Second"}}));
        QVERIFY(vqFindUsbPrinterQueues(reg, {"USB\\VID_1A2B&PID_0102\\QV1"}).isEmpty());
        QVERIFY(vqFindUsbPrinterQueues(reg, {}).isEmpty());
    }
};

VQ_TEST_GUILESS_MAIN(TstDiscovery)
#include "tst_discovery.moc"
