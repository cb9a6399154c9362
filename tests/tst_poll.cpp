// The poll cycle on a simulated host, the core thread's change signal and the stop signal.
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
        // connected|product|serial number|firmware|toner|queue; P: the product's name
        QTest::addColumn<QString>("state");
        // clang-format off
        QTest::newRow("connected printer") << "1|P|QV0002|V1.3.6500|80|P #2";
        // A device without a queue is never read.
        QTest::newRow("queue offline") << "0|P|||-1|";
        QTest::newRow("junk answer") << "0|P|||-1|P #2";
        // clang-format on
    }
    void cycle()
    {
        const QString setup = QTest::currentDataTag();
        CvqTempSimHost sim;
        QVERIFY(vqPollCycle().isEmpty());
        const QString id = sim.addPrinter(2, sts(80)), p = vqProducts.at(2).name;
        if (setup == "queue offline")
            QVERIFY(sim.tree().vqSetQueueValue(p + " #2", "Attributes", "1536"));
        if (setup == "junk answer")
            QVERIFY(sim.tree().vqSetDeviceReply(id, QByteArray("\x01\x02\xff;STS:zz;MDL:X")));
        CvqDebugCapture quiet;
        const CvqStateMap map = vqPollCycle();
        QCOMPARE(map.keys(), QList<QString>{id});
        const CvqState s = map.value(id);
        const QStringList state{QString::number(s.connected),    s.productName, s.SN, s.ROMVER,
                                QString::number(s.tonerPercent), s.queueName};
        QTEST(state.join('|').replace(p, "P"), "state");
    }

    void serialPorts_data()
    {
        QTest::addColumn<QStringList>("ports");  // "name=serial[@USB vendor id]", in listing order
        QTest::addColumn<QString>("sn");
        QTest::addColumn<QString>("com");
        // clang-format off
        QTest::newRow("later port wins") << QStringList{"COM3=QV0001", "COM9=QV0001"} << "QV0001" << "COM9";
        QTest::newRow("our vendor's port") << QStringList{"COM3=QV0001@1A2B"} << "QV0001" << "COM3";
        QTest::newRow("no match") << QStringList{"COM3=QV0002"} << "QV0001" << "";
        QTest::newRow("our number on another vendor's port") << QStringList{"COM3=QV0001@2B3C"} << "QV0001" << "";
        QTest::newRow("no number on either side") << QStringList{"COM7="} << "" << "";
        // clang-format on
    }
    void serialPorts()
    {
        QFETCH(QStringList, ports);
        QFETCH(QString, sn);
        CvqFakeHost host;
        CvqHostScope scope(&host);
        const QString id = "USB\\VID_1A2B&PID_" + vqProducts.at(0).vidpid.pid + "\\A";
        host.instanceIds = QStringList{id};
        host.replies[id] = vqMakeDeviceId("M", "V1", sn, CvqStsFields());
        host.addQueue("Q", id, 1);
        for (const QString& p : ports)
            host.serialPorts.append({p.section('=', 0, 0), p.section('=', 1).section('@', 0, 0),
                                     p.contains('@') ? p.section('@', 1).toInt(nullptr, 16) : -1});
        QTEST(vqPollCycle().value(id).vqComName, "com");
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
