// Product table, device matching and the print-queue lookup.
#include "vqtestsupport.h"
#include "printerlink/host/vqusbguid.h"

#include <QtTest>

static QString usbId(int row, const QString& tail)
{
    return "USB\\VID_1A2B&PID_" + vqProducts.at(row).vidpid.pid + tail;
}

class TstDiscovery : public QObject
{
    Q_OBJECT
private slots:
    void discovery_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("outcome");  // the ids found, then the debug line
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
        QCOMPARE(vqGetUsbPrinterCount(), found.size());
        QVERIFY(vqGetUsbPrinterQueues(found.keys()).isEmpty());  // the host has no queues
    }

    // A match entry with an empty pid takes every product of the vendor; the first entry wins.
    void vendorWideFilter()
    {
        CvqFakeHost host;
        CvqHostScope scope(&host);
        host.instanceIds = QStringList{usbId(3, "\\A")};
        const QList<CvqUsbDevFilter> filters{{CvqVIDPID(vqVendorId, ""), &vqProducts.at(10)},
                                             {vqProducts.at(3).vidpid, &vqProducts.at(11)}};
        QCOMPARE(vqGetUsbPrinters(filters).value(usbId(3, "\\A")).product, &vqProducts.at(10));
    }

    void queues_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<quint32>("attributes");
        QTest::addColumn<QString>("queues");    // parted by '|', in listing order
        QTest::addColumn<QString>("expected");  // "-": no entry
        // clang-format off
        QTest::newRow("USB001") << "USB001" << 0x200u << "Office" << "Office";
        QTest::newRow("USB1, other bits, comma cut") << "USB1" << 0x2E4u << " Office 2 ,Host" << "Office 2";
        QTest::newRow("later queue on the port wins") << "USB001" << 0x200u << "First|Second" << "Second";
        QTest::newRow("port number 0") << "USB000" << 0x200u << "Office" << "-";
        QTest::newRow("port suffix not numeric") << "USB00A" << 0x200u << "Office" << "-";
        QTest::newRow("port lower case") << "usb001" << 0x200u << "Office" << "-";
        QTest::newRow("no do-complete-first") << "USB001" << 0x0u << "Office" << "-";
        QTest::newRow("offline") << "USB001" << 0x600u << "Office" << "-";
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
        QVERIFY(vqFindUsbPrinterQueues(host, {"USB\\VID_1A2B&PID_0102\\QV1"}).isEmpty()
                && vqFindUsbPrinterQueues(host, {}).isEmpty());
    }
};

VQ_TEST_GUILESS_MAIN(TstDiscovery)
#include "tst_discovery.moc"
