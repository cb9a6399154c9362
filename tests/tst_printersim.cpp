// The printer emulator where other tests and the demo lean on it: the host
// tree it writes (read back through the library's poll cycle), its refusals of
// bad control lines, its control port's token, the demo's states, a played
// scenario, and that nothing it receives runs on this machine.
#include "printerlink/host/vqhost_sim.h"
#include "vqptypeer.h"
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
constexpr int bit(int n) { return int(1u << n); }

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    QFile f(dir.filePath(name));
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() ? f.fileName() : QString();
}
}  // namespace

class TstPrinterSim : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;
    QTemporaryDir mOut;

    CvqState stateOf(const QString& printer) { return vqPollCycle().value(mSim.vqInstanceId(printer)); }
    void cmd(const QString& line) { VQ_SIM_OK(mSim, line); }

private slots:
    void initTestCase()
    {
        QVERIFY2(mSim.vqStartOnHost({"--printers", "2", "--out", mOut.path(), "--load",
                                     VQ_SOURCE_DIR "/printersim/scenarios/demo.scn"}),
                 qPrintable(mSim.vqError()));
        cmd("add p3 model=P7760FDN");
    }
    void init()
    {
        for (const char* p : {"p1", "p2", "p3"})
            cmd(QStringLiteral("@%1 reset").arg(p));
    }

    // What the library derives from the identification text after control lines.
    void stateDerivation_data()
    {
        // clang-format off
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("pex");
        QTest::addColumn<int>("pa");
        QTest::addColumn<int>("toner");
        QTest::addColumn<int>("source");
        QTest::newRow("reset: idle, 80 %") << "p1" << QStringList{} << 0 << 0 << 80 << 0;
        QTest::newRow("jam in tray 1 with cover open") << "p1" << QStringList{"faults paper-jam,cover-open", "source tray,tray1"}
                                                       << (bit(10) | bit(11)) << 0 << 80 << 0x14;
        QTest::newRow("a fault turned off") << "p1" << QStringList{"fault paper-jam", "fault paper-jam off"} << 0 << 0 << 80 << 0;
        QTest::newRow("sleeping, toner 10 % is low") << "p1" << QStringList{"activity sleep", "toner 10"} << bit(19) << 1 << 10 << 0;
        // One combined cartridge: its level travels in the drum counter.
        QTest::newRow("layout 1: toner 5 % is cartridge low") << "p3" << QStringList{"toner 5"} << bit(29) << 0 << 5 << 0;
        // clang-format on
    }
    void stateDerivation()
    {
        QFETCH(QString, printer);
        QFETCH(QStringList, lines);
        for (const QString& l : lines)
            cmd(QStringLiteral("@%1 %2").arg(printer, l));
        const CvqState s = stateOf(printer);
        QVERIFY(s.connected);
        QTEST(int(s.pex), "pex");
        QTEST(s.pa, "pa");
        QTEST(s.tonerPercent, "toner");
        QTEST(s.peGuZhangSource, "source");
    }

    // Lines the protocol refuses, the printer staying as it was.
    void controlErrors_data()
    {
        // clang-format off
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown command") << "frobnicate" << "unknown command";
        QTest::newRow("unknown fault") << "fault paper-jam,melted" << "unknown fault melted";
        QTest::newRow("level above the field") << "toner 700" << "level";
        QTest::newRow("no such printer") << "@p9 key" << "no printer p9";
        QTest::newRow("bad printer name") << "add ../p5" << "printer name";
        QTest::newRow("web server off loopback") << "add p5 http=0.0.0.0:0" << "127.0.0.0/8";
        QTest::newRow("wait times out") << "wait printed 99 timeout=50" << "timeout";
        QTest::newRow("line too long") << "status " + QString(5000, 'x') << "too long";
        // A scenario with one bad line plays no line at all; states do not nest.
        QTest::newRow("scenario with an unknown command")
            << "play " + writeFile(mOut, "bad.scn", "step half\n  fault motor\n  explode now\n") << "bad.scn:3";
        QTest::newRow("a state inside a state")
            << "play " + writeFile(mOut, "nest.scn", "step half\n  fault motor\n  state idle80\n") << "nest.scn:3";
        // clang-format on
    }
    void controlErrors()
    {
        QFETCH(QString, line);
        QFETCH(QString, reason);
        cmd("fault lsu");
        const QStringList r = mSim.vqCmd(line);
        QVERIFY2(r.value(r.size() - 1).startsWith(QLatin1String("err ")) && r.last().contains(reason),
                 qPrintable(r.join('|')));
        const QMap<QString, QString> st = mSim.vqStatus();
        QCOMPARE(st.value("faults") + '|' + st.value("toner"), QStringLiteral("lsu|80"));
        QVERIFY(!mSim.vqStatus("p5").contains("sn"));
        QVERIFY(mSim.vqCmd("state half").value(0).startsWith("err no state"));
    }

    // Any local user can reach the control port: without this run's token a client gets one error and is closed.
    void controlNeedsToken()
    {
        const QString address = mSim.vqOutput().section("\ncontrol ", 1).section(' ', 0, 0);
        CvqSimClient stranger;
        QVERIFY(stranger.vqConnect(address + " 0123456789abcdef"));
        QCOMPARE(stranger.vqCmd("status"), QStringList{"err bad token"});
        QVERIFY(stranger.vqCmd("status").isEmpty());
    }

    void plugging_data()
    {
        // clang-format off
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("found");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("port");
        QTest::newRow("plugged") << "plug" << true << true << true;
        QTest::newRow("unplugged: the queue stays") << "unplug" << false << false << false;
        QTest::newRow("no queue") << "unplug queue" << true << false << false;
        QTest::newRow("port closed: its entry goes") << "unplug port" << true << true << false;
        QTest::newRow("switched off while read: listed, not read") << "unplug idread" << true << false << false;
        QTest::newRow("everything gone") << "unplug all" << false << false << false;
        // clang-format on
    }
    void plugging()
    {
        QFETCH(QString, line);
        cmd("@p2 " + line);
        const QMap<QString, CvqState> states = vqPollCycle();
        const QString id = mSim.vqInstanceId("p2");
        QTEST(states.contains(id), "found");
        QTEST(states.value(id).connected, "connected");
        QTEST(!states.value(id).vqComName.isEmpty(), "port");
        QVERIFY(states.value(mSim.vqInstanceId("p1")).connected);
        if (line == QLatin1String("unplug"))
            QVERIFY(QFileInfo::exists(mSim.vqHostRoot() + "/registry/Printers/Morvane M5020F/Port"));
        // Plugged again, it comes back whole: name, queue, serial number, version and port.
        cmd("@p2 plug");
        const CvqState s = stateOf("p2");
        QVERIFY(s.connected);
        QCOMPARE(s.productName + '|' + s.queueName + '|' + s.SN + '|' + s.ROMVER,
                 QStringLiteral("Morvane M5020F|Morvane M5020F|QV0002|V1.3.6500"));
        QCOMPARE(s.vqComName, mSim.vqStatus("p2").value("pty"));
    }

    // Under Wine printer n's serial port is COM<4 + n>: a link in the prefix to its terminal, that name in the
    // tree, both gone with the port; a stale link is replaced.
    void winePorts()
    {
        QTemporaryDir dir;
        const QString dos = dir.path() + "/dosdevices";
        QVERIFY(QDir().mkpath(dos) && QFile::link("/dev/pts/999999", dos + "/com5"));
        CvqSimClient sim;
        QVERIFY2(sim.vqStart(dir.path() + "/host", {"--printers", "2", "--wine-prefix", dir.path()}),
                 qPrintable(sim.vqError()));
        QVERIFY(sim.vqOk("@p2 unplug port") && sim.vqOk("@p2 plug port") && sim.vqOk("@p1 unplug port"));
        QString name;
        QVERIFY(CvqSimHost::vqReadLine(dir.path() + "/host/serial/p2/port_name", &name));
        QCOMPARE(name + ' ' + QFileInfo(dos + "/com6").symLinkTarget(), "COM6 " + sim.vqStatus("p2").value("pty"));
        QVERIFY(!QFileInfo(dos + "/com5").isSymLink() && !QFileInfo::exists(dir.path() + "/host/serial/p1"));
        sim.vqStop();
        QVERIFY(!QFileInfo(dos + "/com6").isSymLink());
    }

    // Nothing that arrives over the link runs on this machine: a plain error answer.
    void nothingRunsHere()
    {
        const QString marker = mOut.path() + "/must-not-exist", touch = "touch " + marker;
        CvqRawPort port(mSim.vqPty());
        QVERIFY(port.write(vqPeerFrame(15, 42, 0, ("/usr/bin/" + touch).toUtf8() + '\0')));
        QByteArray answer;
        char buf[256];
        for (int n; !answer.contains("not supported") && (n = port.read(buf, sizeof buf, 20000)) > 0;)
            answer.append(buf, n);
        QVERIFY2(answer.contains(QByteArray("\x04") + "command not supported"), answer.toHex().constData());
        QVERIFY(mSim.vqHistory().contains("serial type=15 id=42 cmd=/usr/bin/" + touch));
        QVERIFY(!QFileInfo::exists(marker));
    }

    void demoSteps()
    {
        cmd("state jam-cover");
        QCOMPARE(mSim.vqStatus().value("faults") + '|' + mSim.vqStatus().value("source"),
                 QStringLiteral("paper-jam,cover-open|tray,tray1"));
        cmd("state no-printer");
        const QMap<QString, CvqState> states = vqPollCycle();
        QVERIFY(!states.contains(mSim.vqInstanceId("p1")) && !states.contains(mSim.vqInstanceId("p2")));
        cmd("state two-printers");
        QVERIFY(stateOf("p1").connected);
        QCOMPARE(stateOf("p2").pa, 4);
    }

    // A played scenario runs in a session of its own: the reply comes at once, its sleep holds only it.
    void scenarioPlay()
    {
        cmd("play " + writeFile(mOut, "s.scn", "# a pause, then a fault\nstep one\n  sleep 300\n  @p2 fault motor\n"));
        QCOMPARE(mSim.vqStatus("p2").value("faults"), QStringLiteral("none"));
        QTRY_COMPARE_WITH_TIMEOUT(mSim.vqStatus("p2").value("faults"), QStringLiteral("motor"), 20000);
    }

    // The program on its own: a web server off the loopback range, or a COM link
    // place taken, stops it before it is ready, its printers leaving the tree.
    void commandLine_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("refusal");  // on the error output
        QTest::newRow("any address") << QStringList{"--http", "0.0.0.0:0"} << 2 << "only 127.0.0.0/8";
        QTest::newRow("IPv6 loopback") << QStringList{"--http", "::1:0"} << 2 << "only 127.0.0.0/8";
        QTest::newRow("no port") << QStringList{"--http", "127.0.0.1"} << 2 << "expected ADDR:PORT";
        QDir().mkpath(mOut.filePath("wine/dosdevices"));
        QTest::newRow("a file where a COM link goes") << QStringList{"--printers", "2", "--wine-prefix", QFileInfo(writeFile(mOut, "wine/dosdevices/com6", "mine")).path() + "/.."} << 1 << "is taken";
        // clang-format on
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QTemporaryDir host;
        QProcess p;
        p.start(qEnvironmentVariable("VQ_BIN_DIR") + "/printersim",
                QStringList{"--host", host.path(), "--no-stdin"} + args);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QTEST(p.exitCode(), "code");
        QVERIFY(!p.readAllStandardOutput().contains("ready"));
        QFETCH(QString, refusal);
        QVERIFY(QString::fromLocal8Bit(p.readAllStandardError()).contains(refusal));
        for (const char* d : {"/usb", "/serial"})
            QVERIFY(QDir(host.path() + d).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    }
};

VQ_TEST_GUILESS_MAIN(TstPrinterSim)
#include "tst_printersim.moc"
