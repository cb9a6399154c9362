// The printer emulator where the demo and the Windows tests lean on it: the
// demo's states and plugging as the library's poll cycle reads them, its
// refusals, its control port's token, its COM links under Wine, and that
// nothing it receives runs on this machine.
#include "printerlink/host/vqhost_sim.h"
#include "vqptypeer.h"
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TstPrinterSim : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;
    QTemporaryDir mOut;

    void cmd(const QString& line) { VQ_SIM_OK(mSim, line); }

private slots:
    void initTestCase()
    {
        QVERIFY2(mSim.vqStartOnHost({"--printers", "2", "--load", VQ_SOURCE_DIR "/printersim/scenarios/demo.scn"}),
                 qPrintable(mSim.vqError()));
    }
    void init() { cmd("@p1 reset"), cmd("@p2 reset"); }

    // "-": absent; "listed": found, not connected; else pex, pa, toner, paper fault source, has a port.
    void pollCycle_data()
    {
        // clang-format off
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QString>("p1");
        QTest::addColumn<QString>("p2");
        const QString idle = "0 0 80 0 1";
        QTest::newRow("demo jam-cover") << "state jam-cover" << "c00 0 60 14 1" << "-";
        QTest::newRow("demo no-printer") << "state no-printer" << "-" << "-";
        QTest::newRow("demo two-printers") << "state two-printers" << "0 0 55 0 1" << "0 4 30 0 1";
        QTest::newRow("asleep, toner low, a fault off") << "activity sleep|toner 10|fault lsu|fault lsu off" << "80000 1 10 0 1" << idle;
        QTest::newRow("port closed") << "@p2 unplug port" << idle << "0 0 80 0 0";
        QTest::newRow("switched off while read") << "@p2 unplug idread" << idle << "listed";
        QTest::newRow("unplugged") << "@p2 unplug" << idle << "-";
        // clang-format on
    }
    void pollCycle()
    {
        QFETCH(QString, lines);
        for (const QString& l : lines.split('|', Qt::SkipEmptyParts))
            cmd(l);
        const QMap<QString, CvqState> all = vqPollCycle();
        for (const char* p : {"p1", "p2"}) {
            const CvqState s = all.value(mSim.vqInstanceId(p));
            const bool pty = !s.vqComName.isEmpty() && s.vqComName == mSim.vqStatus(p).value("pty");
            const QString seen = !s.connected ? all.contains(mSim.vqInstanceId(p)) ? "listed" : "-"
                                              : QString::asprintf("%x %d %d %x %d", unsigned(s.pex), s.pa,
                                                                  s.tonerPercent, unsigned(s.peGuZhangSource), pty);
            QTEST(seen, p);
        }
    }

    // Refused lines leave the printers as they were; a scenario that would nest states plays no line; a stranger
    // without this run's token gets one error and is closed.
    void refusals()
    {
        QFile nest(mOut.filePath("nest.scn"));
        QVERIFY(nest.open(QIODevice::WriteOnly) && nest.write("step s\n fault motor\n state idle80\n") > 0);
        nest.close();
        for (const QString& l : QStringList{"fault lsu,melted", "@p9 key", "add p5 http=0.0.0.0:0",
                                            "status " + QString(5000, 'x'), "play " + nest.fileName()})
            QVERIFY2(mSim.vqCmd(l).value(0).startsWith("err "), qPrintable(l));
        QCOMPARE(mSim.vqStatus().value("faults") + mSim.vqStatus("p5").value("sn"), QStringLiteral("none"));
        CvqSimClient stranger;
        QVERIFY(stranger.vqConnect(mSim.vqOutput().section("\ncontrol ", 1).section(' ', 0, 0) + " 0123456789abcdef"));
        QCOMPARE(stranger.vqCmd("status"), QStringList{"err bad token"});
        QVERIFY(stranger.vqCmd("status").isEmpty());
    }

    // Under Wine printer n's serial port is COM<4 + n>: a link in the prefix to its terminal, that name in the
    // tree, both gone with the port; a stale link is replaced, anything else in its place stops the start.
    void winePorts()
    {
        QTemporaryDir dir;
        const QString dos = dir.path() + "/dosdevices", host = dir.path() + "/host";
        const QStringList args{"--printers", "2", "--wine-prefix", dir.path()};
        QVERIFY(QDir().mkpath(dos) && QFile::link("/dev/pts/999999", dos + "/com5"));
        CvqSimClient sim;
        QVERIFY2(sim.vqStart(host, args), qPrintable(sim.vqError()));
        QVERIFY(sim.vqOk("@p2 unplug port") && sim.vqOk("@p2 plug port") && sim.vqOk("@p1 unplug port"));
        QCOMPARE(vqReadFile(host + "/serial/p2/port_name") + QFileInfo(dos + "/com6").symLinkTarget(),
                 "COM6\n" + sim.vqStatus("p2").value("pty"));
        QVERIFY(!QFileInfo(dos + "/com5").isSymLink() && !QFileInfo::exists(host + "/serial/p1"));
        sim.vqStop();
        QVERIFY(!QFileInfo(dos + "/com6").isSymLink() && QFile(dos + "/com6").open(QIODevice::WriteOnly));
        QProcess p;
        p.start(qEnvironmentVariable("VQ_BIN_DIR") + "/printersim", QStringList{"--host", host} + args);
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 1 && p.readAllStandardError().contains("is taken"));
        QVERIFY(QDir(host + "/usb").isEmpty() && QDir(host + "/serial").isEmpty());
    }

    // The control file is replaced whole and removed at the end: a link in its place is refused, its target kept.
    void controlFilePlace()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("target"), link = dir.filePath("ctl");
        QVERIFY(CvqSimTree::vqWriteFileAtomic(target, "keep") && QFile::link(target, link));
        QProcess p;
        p.start(qEnvironmentVariable("VQ_BIN_DIR") + "/printersim",
                {"--host", dir.filePath("host"), "--control", "0", "--control-file", link, "--no-stdin", "--quiet"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(vqReadFile(target), QByteArray("keep"));
    }

    // Nothing that arrives over the link runs on this machine.
    void nothingRunsHere()
    {
        const QString touch = "/usr/bin/touch " + mOut.filePath("must-not-exist");
        CvqRawPort port(mSim.vqPty());
        QVERIFY(port.write(vqPeerFrame(15, 42, 0, touch.toUtf8() + '\0')));
        QTRY_VERIFY_WITH_TIMEOUT(mSim.vqHistory().contains("serial type=15 id=42 cmd=" + touch), 20000);
        QVERIFY(!QFileInfo::exists(mOut.filePath("must-not-exist")));
    }
};

VQ_TEST_GUILESS_MAIN(TstPrinterSim)
#include "tst_printersim.moc"
