// The poll cycle on an in-memory host, the core thread's change signal and the stop signal.
#include "vqtestsupport.h"
#include "vqcountinghost.h"

#include <QtTest>

static CvqStsFields sts(int toner)
{
    CvqStsFields f;
    f.crumT = quint16(toner * 100);
    return f;
}

class TstPoll : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { vqRegisterStateMetaTypes(); }
    void cycle_data()
    {
        QTest::addColumn<quint32>("attributes");  // of the printer's queue
        QTest::addColumn<QStringList>("ports");   // "name=serial[@USB vendor id]", in listing order
        // connected|product|serial number|firmware|toner|queue|serial port; P: the product's name
        QTest::addColumn<QString>("state");
        const QString on = "1|P|QV0002|V1.3.6500|80|Q|";
        // clang-format off
        QTest::newRow("connected printer") << 0x200u << QStringList() << on;
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
        QVERIFY(vqPollCycle().isEmpty());
        const QString id = "USB\\VID_1A2B&PID_" + vqProducts.at(2).vidpid.pid + "\\A";
        host.instanceIds = QStringList{id};
        host.replies[id] = tag == "junk answer"
            ? QByteArray("\x01\x02\xff;STS:zz;MDL:X")
            : vqMakeDeviceId(p, "V1.3.6500", tag.startsWith("no number") ? "" : "QV0002", sts(80));
        host.addQueue("Q", id, 1, attributes);
        for (const QString& port : ports)
            host.serialPorts.append({port.section('=', 0, 0), port.section('=', 1).section('@', 0, 0),
                                     port.contains('@') ? port.section('@', 1).toInt(nullptr, 16) : -1});
        CvqDebugCapture quiet;
        const CvqStateMap map = vqPollCycle();
        QCOMPARE(map.keys(), QList<QString>{id});
        const CvqState s = map.value(id);
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
        id = sim.addPrinter(5, sts(51));
        QTRY_COMPARE_WITH_TIMEOUT(changes, QStringList{"0:-1>1:51"}, 15000);
        QVERIFY(counting.waitCycles(2));
        QCOMPARE(changes.size(), 1);  // same map: no signal
        QVERIFY(sim.tree().vqSetDeviceReply(id, vqMakeDeviceId(vqProducts.at(5).name, "V1.3.6500", "QV0005", sts(50))));
        QTRY_COMPARE_WITH_TIMEOUT(changes, (QStringList{"0:-1>1:51", "1:51>1:50"}), 15000);
        vqQuitAll();
        QVERIFY(trd.wait(15000));
        QVERIFY(vqWaitQuit(0) && vqWaitQuit(60000));  // once raised, every wait returns at once
    }
};

VQ_TEST_GUILESS_MAIN(TstPoll)
#include "tst_poll.moc"
