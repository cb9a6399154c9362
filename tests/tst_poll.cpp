// The poll cycle on a simulated host, the core thread's change signal and the stop signal.
#include "vqtestsupport.h"
#include "vqcountinghost.h"

#include <QtTest>

struct Change
{
    CvqStateMap oldStates, newStates;
};

static CvqStsFields sts(int toner)
{
    CvqStsFields f;
    f.crumT = quint16(toner * 100);
    return f;
}

// One supported device with the given serial number, on the fake host.
static QString fakeDevice(CvqFakeHost& host, const QString& sn)
{
    const QString id = "USB\\VID_1A2B&PID_" + vqProducts.at(0).vidpid.pid + "\\A";
    host.instanceIds = QStringList{id};
    host.replies[id] = vqMakeDeviceId("M", "V1", sn, CvqStsFields());
    return id;
}

class TstPoll : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { vqRegisterStateMetaTypes(); }
    void cycle_data()
    {
        // clang-format off
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("hasQueue");
        QTest::newRow("connected printer") << "ok" << true << true;
        QTest::newRow("queue offline") << "offline" << false << false;
        QTest::newRow("junk answer") << "junk" << false << true;
        // clang-format on
    }

    void cycle()
    {
        QFETCH(QString, setup);
        CvqTempSimHost sim;
        QVERIFY(vqPollCycle().isEmpty());
        const QString id = sim.addPrinter(2, sts(80));
        const QString queue = vqProducts.at(2).name + " #2";
        if (setup == "offline")
            QVERIFY(sim.tree().vqSetQueueValue(queue, "Attributes", "1536"));
        if (setup == "junk")
            QVERIFY(sim.tree().vqSetDeviceReply(id, QByteArray("\x01\x02\xff;STS:zz;MDL:X")));

        CvqDebugCapture quiet;
        const CvqStateMap map = vqPollCycle();
        QCOMPARE(map.keys(), QList<QString>{id});
        const CvqState s = map.value(id);
        QTEST(s.connected, "connected");
        QFETCH(bool, hasQueue);
        QCOMPARE(s.queueName, hasQueue ? queue : QString());
        QCOMPARE(s.tonerPercent, s.connected ? 80 : -1);
        QCOMPARE(s.productName + s.SN, vqProducts.at(2).name + (s.connected ? "QV0002" : ""));
        QCOMPARE(s.ROMVER, s.connected ? QStringLiteral("V1.3.6500") : QString());
    }

    void unreadDeviceWithoutQueue()
    {
        CvqFakeHost host;
        CvqHostScope scope(&host);
        const QString id = fakeDevice(host, "A");
        QVERIFY(!vqPollCycle().value(id).connected);
        QCOMPARE(host.readCalls.load(), 0);
        host.addQueue("Q", id, 1);
        QVERIFY(vqPollCycle().value(id).connected);
        QCOMPARE(host.readCalls.load(), 1);
    }

    void serialPorts_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("ports");  // "name=serial[@USB vendor id]", in listing order
        QTest::addColumn<QString>("sn");
        QTest::addColumn<QString>("com");
        QTest::newRow("later port wins") << QStringList{"COM3=QV0001", "COM9=QV0001"} << "QV0001" << "COM9";
        QTest::newRow("our vendor's port") << QStringList{"COM3=QV0001@1A2B"} << "QV0001" << "COM3";
        QTest::newRow("no match") << QStringList{"COM3=QV0002"} << "QV0001" << "";
        QTest::newRow("our number on another vendor's port") << QStringList{"COM3=QV0001@2B3C"} << "QV0001" << "";
        // clang-format on
    }

    void serialPorts()
    {
        QFETCH(QStringList, ports);
        QFETCH(QString, sn);
        CvqFakeHost host;
        CvqHostScope scope(&host);
        const QString id = fakeDevice(host, sn);
        host.addQueue("Q", id, 1);
        for (const QString& p : ports)
            host.serialPorts.append({p.section('=', 0, 0), p.section('=', 1).section('@', 0, 0),
                                     p.contains('@') ? p.section('@', 1).toInt(nullptr, 16) : -1});
        QTEST(vqPollCycle().value(id).vqComName, "com");

        // A printer without a serial number never takes a port, even one without a number.
        host.replies[id] = vqMakeDeviceId("M", "V1", "", CvqStsFields());
        host.serialPorts.append(CvqSerialPortEntry{"COM7", ""});
        QCOMPARE(vqPollCycle().value(id).vqComName, QString());
    }

    void coreThread()
    {
        CvqTempSimHost sim;
        CvqCountingSimHost counting;
        CvqHostScope scope(&counting);

        QCOMPARE(vqWaitQuit(0), false);
        QList<Change> changes;
        CvqCoreTrd trd;
        // Queued to this thread, as the window receives it.
        connect(&trd, &CvqCoreTrd::vqOnChange, this, [&](CvqStateMap o, CvqStateMap n) { changes.append({o, n}); });
        CvqDebugCapture quiet;
        trd.start();

        QVERIFY(counting.waitCycles(2));
        QCOMPARE(changes.size(), 0);  // nothing attached: no signal

        const QString id = sim.addPrinter(5, sts(51));
        QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 1, 15000);
        QVERIFY(changes.at(0).oldStates.isEmpty());
        QCOMPARE(changes.at(0).newStates.value(id).tonerPercent, 51);

        QVERIFY(counting.waitCycles(2));
        QCOMPARE(changes.size(), 1);  // same map: no signal

        QVERIFY(sim.tree().vqSetDeviceReply(id, vqMakeDeviceId(vqProducts.at(5).name, "V1.3.6500", "QV0005", sts(50))));
        QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 2, 15000);
        QCOMPARE(changes.at(1).oldStates.value(id).tonerPercent, 51);
        QCOMPARE(changes.at(1).newStates.value(id).tonerPercent, 50);

        vqQuitAll();
        QVERIFY(trd.wait(15000));
        QCOMPARE(vqWaitQuit(0), true);
        QCOMPARE(vqWaitQuit(60000), true);  // once raised, every wait returns at once
    }
};

VQ_TEST_GUILESS_MAIN(TstPoll)
#include "tst_poll.moc"
