// The printer emulator as its users see it: the host tree it writes (read
// back through the library's poll cycle), its control protocol and scenarios,
// its serial frame handling on a raw pseudo-terminal, and its web endpoints.
#include "printerlink/host/vqhost_sim.h"
#include "vqsimonhost.h"
#include "vqptypeer.h"
#include "vqtestsupport.h"

#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The printer side of the emulator's pseudo-terminal, its frames read with the library's reader.
class CvqSimPort : public CvqRawPort
{
public:
    using CvqRawPort::CvqRawPort;
    // Frames up to and including the one with the given id.
    bool readUntil(quint8 id, QList<CvqComMsg>* frames)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000) {
            char buf[4096];
            const int n = read(buf, sizeof buf, 50);
            if (n > 0)
                mReader.vqFeed(buf, n);
            for (CvqComMsg m; mReader.vqNext(m); m = CvqComMsg()) {
                frames->append(m);
                if (m.vqMsgId == id)
                    return true;
            }
        }
        return false;
    }
    // One request and the status byte of its answer; -1 when none came.
    int status(const QByteArray& frame, quint8 id, CvqComMsg* answer = nullptr)
    {
        QList<CvqComMsg> frames;
        quint8 s = 0;
        if (!write(frame) || !readUntil(id, &frames) || !frames.last().vqReadU8(s))
            return -1;
        if (answer)
            *answer = frames.last();
        return s;
    }

private:
    CvqComFrameReader mReader;
};

// A frame with the path (when given), the numbers and the raw bytes, in that order.
QByteArray frameOf(quint8 type, quint8 id, const QString& path = QString(), QList<quint32> nums = {},
                   const QByteArray& tail = {}, bool response = false)
{
    CvqComMsg m(type);
    m.vqMsgId = id;
    m.vqSetResponse(response);
    if (!path.isNull())
        m.vqAppendStr(path);
    for (quint32 n : nums)
        m.vqAppendU32(n);
    m.vqAppendBytes(tail);
    return m.vqFrame();
}

QByteArray rawHead(quint32 len)
{
    QByteArray b("\x19\x73\x10\x19", 4);
    for (int i = 0; i < 4; ++i)
        b += char((len >> (8 * i)) & 0xFF);
    return b;
}

const quint8 kSentinel = 250;
constexpr int bit(int n) { return int(1u << n); }

// A raw exchange with the web server: the first line of the answer.
QByteArray rawHttp(quint16 port, const QByteArray& request)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    s.write(request);
    QByteArray answer;
    while (!answer.contains("\r\n") && s.waitForReadyRead(20000))
        answer += s.readAll();
    return answer.left(answer.indexOf("\r\n"));
}

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
    QString marker() const { return mOut.path() + "/must-not-exist"; }

private slots:
    void initTestCase()
    {
        QVERIFY2(mSim.vqStartOnHost({"--printers", "2", "--http", "127.0.0.1:0", "--out", mOut.path(), "--load",
                                     VQ_SOURCE_DIR "/printersim/scenarios/demo.scn"}),
                 qPrintable(mSim.vqError()));
        cmd("add p3 model=P7760FDN");
    }
    void init()
    {
        for (const char* p : {"p1", "p2", "p3"})
            cmd(QStringLiteral("@%1 reset").arg(p));
    }

    // ---- the host tree, through the poll cycle

    // What the library derives from the identification text after control lines.
    void stateDerivation_data()
    {
        // clang-format off
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("pex");
        QTest::addColumn<int>("pa");
        QTest::addColumn<int>("toner");
        QTest::addColumn<int>("drum");
        QTest::addColumn<int>("source");
        auto row = [](const char* name, const char* printer, const QStringList& lines, int pex, int pa = 0,
                      int toner = 80, int drum = 80, int source = 0) {
            QTest::newRow(name) << QString(printer) << lines << pex << pa << toner << drum << source;
        };
        row("reset: idle, 80 %", "p1", {}, 0);
        // Every status bit once: those that can stand together in one row, then the
        // ones another bit would hide or replace.
        int together = 0;
        for (int n : {2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 17, 18, 23, 25, 26})
            together |= bit(n);
        row("every fault that can coexist", "p1",
            {"faults tray2-empty,size-mismatch,data-too-large,fuser-curve,fuser-other,crypto-chip,paper-out,"
             "paper-jam,cover-open,lsu,fuser-heat,motor,lsu-data,err0801,severe,tray1-empty,bin-full"},
            together);
        const QList<QPair<const char*, int>> alone = {
            {"tray1-low", 1}, {"data-transfer", 16}, {"drum-door", 27}, {"tray2-low", 31}};
        for (const auto& f : alone)
            row(f.first, "p1", {QStringLiteral("fault ") + f.first}, bit(f.second));
        row("sleep", "p1", {"activity sleep"}, 0, 1);
        row("cooling", "p1", {"activity cooling"}, 0, 7);
        row("jam in tray 1 with cover open", "p1", {"faults paper-jam,cover-open", "source tray,tray1"},
            bit(10) | bit(11), 0, 80, 80, 0x14);
        row("a fault turned off", "p1", {"fault paper-jam", "fault paper-jam off"}, 0);
        row("toner 10 % is low", "p1", {"toner 10"}, bit(19), 0, 10);
        row("drum 0 is exhausted", "p1", {"drum 0"}, bit(30), 0, 80, 0);
        row("chips unreadable", "p1", {"chip off", "fault paper-jam"}, bit(10), 0, -1, -1);
        // One combined cartridge: its level travels in the drum counter.
        row("layout 1: toner 5 % is cartridge low", "p3", {"toner 5"}, bit(29), 0, 5, -1);
        // clang-format on
    }
    void stateDerivation()
    {
        QFETCH(QString, printer);
        QFETCH(QStringList, lines);
        QFETCH(int, pex);
        for (const QString& l : lines)
            cmd(QStringLiteral("@%1 %2").arg(printer, l));
        const QMap<QString, CvqState> states = vqPollCycle();
        const CvqState s = states.value(mSim.vqInstanceId(printer));
        QVERIFY(s.connected);
        QCOMPARE(uint(s.pex), uint(pex));
        QTEST(s.pa, "pa");
        QTEST(s.tonerPercent, "toner");
        QTEST(s.drumPercent, "drum");
        QTEST(s.peGuZhangSource, "source");
        // The other printers stay untouched.
        for (const char* other : {"p1", "p2", "p3"})
            if (printer != QLatin1String(other))
                QCOMPARE(states.value(mSim.vqInstanceId(other)).pex, 0);
    }

    // Lines the protocol refuses, and the state staying as it was.
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
        QTest::newRow("serial number taken") << "add p5 sn=QV0001" << "taken";
        QTest::newRow("web server off loopback") << "add p5 http=0.0.0.0:0" << "127.0.0.0/8";
        QTest::newRow("wait times out") << "wait exists /tmp/never timeout=50" << "timeout";
        // A scenario with one bad line loads no step at all.
        QTest::newRow("scenario with an unknown command")
            << "load " + writeFile(mOut, "bad.scn", "step half\n  fault motor\n  explode now\n")
            << "bad.scn:3: unknown command explode";
        QTest::newRow("missing scenario") << "load " + mOut.filePath("missing.scn") << "cannot read";
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
        QCOMPARE(st.value("faults") + '|' + st.value("toner") + '|' + st.value("romver"),
                 QStringLiteral("lsu|80|V1.3.6500"));
        QVERIFY(!mSim.vqStatus("p5").contains("sn"));
        QVERIFY(!mSim.vqCmd("steps").contains("step half"));
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
        const QMap<QString, CvqState> again = vqPollCycle();
        QCOMPARE(again.size(), 3);
        QCOMPARE(mSim.vqInstanceId(), QStringLiteral("USB\\VID_1A2B&PID_0101\\QV0001"));
        const CvqState s = again.value(id);
        QVERIFY(s.connected);
        QCOMPARE(s.productName + '|' + s.queueName + '|' + s.SN + '|' + s.ROMVER,
                 QStringLiteral("Morvane M5020F|Morvane M5020F|QV0002|V1.3.6500"));
        QCOMPARE(s.vqComName, mSim.vqPty("p2"));
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

    void spoolerJobs()
    {
        cmd("jobs 3");
        QCOMPARE(vqHost().vqQueueHasJobs("Morvane P4120W"), 1);
        QCOMPARE(QDir(mSim.vqHostRoot() + "/spooler/Morvane P4120W/jobs").entryList(QDir::Files).size(), 3);
        cmd("jobs 0");
        QCOMPARE(vqHost().vqQueueHasJobs("Morvane P4120W"), 0);
    }

    // ---- the serial frame on a raw pseudo-terminal

    void frameResync_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<QList<int>>("answered");
        const QByteArray f7 = frameOf(14, 7, "/tmp/x");
        QByteArray badTail = frameOf(14, 8, "/tmp/x");
        badTail[badTail.size() - 1] = 0x03;
        QTest::newRow("one byte at a time") << f7 << 1 << QList<int>{7};
        QTest::newRow("noise with a split head, in pieces") << QByteArray("xx\x19\x73", 4) + f7 << 3 << QList<int>{7};
        QTest::newRow("false head with an oversized length") << rawHead(5000) + "abcdefgh" + f7 << 0 << QList<int>{7};
        QTest::newRow("bad tail, then a good frame") << badTail + f7 << 0 << QList<int>{7};
        QTest::newRow("two frames in one write") << frameOf(1, 5) + f7 << 0 << QList<int>{5, 7};
        QTest::newRow("largest frame") << frameOf(200, 9, QString(), {}, QByteArray(4092, 'b')) << 0
                                       << QList<int>{9};
        // Nothing to answer:
        QTest::newRow("a frame flagged as response") << frameOf(14, 6, "/tmp/x", {}, {}, true) << 0 << QList<int>{};
        QTest::newRow("length one above the bound") << rawHead(4097) + QByteArray(4097, 'z') << 0 << QList<int>{};
        // clang-format on
    }
    void frameResync()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, pieces);
        CvqSimPort port(mSim.vqPty());
        QVERIFY(port.write(bytes, pieces));
        QVERIFY(port.write(frameOf(1, kSentinel)));
        QList<CvqComMsg> frames;
        QVERIFY(port.readUntil(kSentinel, &frames));
        QList<int> ids;
        for (const CvqComMsg& m : frames) {
            QVERIFY(m.vqIsResponse());
            if (m.vqMsgId != kSentinel)
                ids << m.vqMsgId;
        }
        QTEST(ids, "answered");
    }

    // Answers of the file and command messages, field by field. Programs
    // it does not emulate get a plain error.
    void serviceAnswers_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("echo");
        QTest::newRow("has: bare name lands in /tmp") << frameOf(14, 42, "present.txt") << 0 << "" << "present.txt";
        QTest::newRow("del: missing") << frameOf(13, 42, "/tmp/absent") << 1 << "no such file" << "/tmp/absent";
        QTest::newRow("get: offset past the end") << frameOf(11, 42, "/tmp/present.txt", {99, 1024}) << 5
                                                  << "bad offset" << "/tmp/present.txt";
        QTest::newRow("put: fewer bytes than announced") << frameOf(10, 42, "/tmp/short", {0, 10}, "abc") << 2
                                                         << "bad request" << "/tmp/short";
        QTest::newRow("unknown message type") << frameOf(99, 42, "x") << 4 << "command not supported" << "";
        QTest::newRow("path without terminator") << frameOf(14, 42, QString(), {}, "/tmp/x") << 2
                                                 << "bad request" << "";
        // Nothing that arrives over the link runs on this machine.
        const QString touch = "touch " + marker();
        QTest::newRow("execute: not run here") << frameOf(15, 42, "/usr/bin/" + touch) << 4 << "command not supported"
                                               << "/usr/bin/" + touch;
        QTest::newRow("execute along: not run here") << frameOf(16, 42, touch) << 4 << "command not supported"
                                                     << touch;
        // clang-format on
    }
    void serviceAnswers()
    {
        QFETCH(QByteArray, frame);
        cmd("file put /tmp/present.txt hello");
        CvqSimPort port(mSim.vqPty());
        CvqComMsg m;
        QString err, echo;
        QTEST(port.status(frame, 42, &m), "status");
        QVERIFY(m.vqReadStr(err) && m.vqReadStr(echo));
        QTEST(err, "error");
        QTEST(echo, "echo");
        QVERIFY(!QFileInfo::exists(marker()));
    }

    // The printer's file system is bounded: what does not fit is refused,
    // and freeing space lets it in again.
    void fileSystemBound()
    {
        CvqTempSimHost host;
        CvqSimClient small;
        QVERIFY2(small.vqStart(host.root(), {"--fs-limit", "4096", "--quiet"}), qPrintable(small.vqError()));
        CvqSimPort port(small.vqPty());
        auto put = [&port](quint8 id, const QString& path, quint32 offset, int size) {
            return port.status(frameOf(10, id, path, {offset, quint32(size)}, QByteArray(size, 'f')), id);
        };
        QCOMPARE(put(1, "/tmp/a", 0, 3000), 0);
        QCOMPARE(put(2, "/tmp/a", 3000, 1096), 0);
        QCOMPARE(put(3, "/tmp/a", 4096, 1), 3);
        QCOMPARE(put(4, "/tmp/b", 0, 200), 3);
        QCOMPARE(small.vqCmd("key").last(), QStringLiteral("err no space for the request file"));
        // Starting the file afresh frees its old bytes first.
        QCOMPARE(put(5, "/tmp/a", 0, 10), 0);
        QCOMPARE(put(6, "/tmp/b", 0, 4000), 0);
        QCOMPARE(small.vqCmd("file ls").join('|'), QStringLiteral("file /tmp/a size=10|file /tmp/b size=4000|ok"));
    }

    // ---- scenarios

    void demoSteps()
    {
        const QStringList steps = mSim.vqCmd("steps");
        for (const char* s : {"no-printer", "idle80", "printing", "toner5", "jam-cover", "six-faults", "two-printers"})
            QVERIFY2(steps.contains(QStringLiteral("step ") + s), s);
        cmd("state jam-cover");
        QCOMPARE(mSim.vqStatus().value("faults") + '|' + mSim.vqStatus().value("source"),
                 QStringLiteral("paper-jam,cover-open|tray1,tray"));
        cmd("state no-printer");
        const QMap<QString, CvqState> states = vqPollCycle();
        QVERIFY(!states.contains(mSim.vqInstanceId("p1")) && !states.contains(mSim.vqInstanceId("p2")));
        cmd("state two-printers");
        QVERIFY(stateOf("p1").connected);
        QCOMPARE(stateOf("p2").pa, 4);
    }

    void scenarioPlayAndPause()
    {
        QTemporaryDir dir;
        cmd("play "
            + writeFile(dir, "s.scn", "# a pause, then a fault\nstep one\n  sleep 10\n  pause\n  @p2 fault motor\n"));
        // Held at the pause until someone resumes it (not inside QTRY: resuming
        // has an effect, and QTRY evaluates once more at the end).
        QElapsedTimer t;
        t.start();
        bool resumed = false;
        while (!(resumed = mSim.vqCmd("resume").value(0) == QLatin1String("ok 1")) && t.elapsed() < 20000)
            QTest::qWait(20);
        QVERIFY(resumed);
        QCOMPARE(mSim.vqStatus("p1").value("faults"), QStringLiteral("none"));
        QTRY_COMPARE_WITH_TIMEOUT(mSim.vqStatus("p2").value("faults"), QStringLiteral("motor"), 20000);
    }

    // ---- web endpoints

    void webRefusals_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::newRow("unknown path") << QByteArray("GET /etc/passwd HTTP/1.1\r\n\r\n")
                                      << QByteArray("HTTP/1.1 404 Not Found");
        QTest::newRow("not a request") << QByteArray("HELLO\r\n\r\n") << QByteArray("HTTP/1.1 400 Bad Request");
        QTest::newRow("body too large") << QByteArray("POST /uprom HTTP/1.1\r\nContent-Length: 999999999999\r\n\r\n")
                                        << QByteArray("HTTP/1.1 413 Payload Too Large");
        QTest::newRow("chunked body") << QByteArray("POST /uprom HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")
                                      << QByteArray("HTTP/1.1 411 Length Required");
        QTest::newRow("header never ends") << QByteArray("GET / HTTP/1.1\r\nX: ") + QByteArray(20000, 'x')
                                           << QByteArray("HTTP/1.1 431 Request Header Fields Too Large");
        // clang-format on
    }
    void webRefusals()
    {
        QFETCH(QByteArray, request);
        QTEST(rawHttp(quint16(mSim.vqHttp().section(':', 1).toUInt()), request), "statusLine");
    }

    // The program on its own: a scenario played whole ends it when asked to,
    // its printers leaving the tree; a web server off the loopback range
    // stops it before it is ready.
    void commandLine_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("refusal");  // on the error output
        QTest::newRow("a scenario played whole") << QStringList{"--printers", "2", "--quiet", "--scenario",
            VQ_SOURCE_DIR "/printersim/scenarios/demo.scn", "--step", "toner5", "--exit-after-scenario"} << 0 << "";
        QTest::newRow("any address") << QStringList{"--http", "0.0.0.0:0"} << 2 << "only 127.0.0.0/8";
        QTest::newRow("IPv6 loopback") << QStringList{"--http", "::1:0"} << 2 << "only 127.0.0.0/8";
        QTest::newRow("no port") << QStringList{"--http", "127.0.0.1"} << 2 << "expected ADDR:PORT";
        QDir().mkpath(mOut.filePath("wine/dosdevices"));
        QTest::newRow("a file where a COM link goes") << QStringList{"--wine-prefix", QFileInfo(writeFile(mOut, "wine/dosdevices/com5", "mine")).path() + "/.."} << 1 << "is taken";
        // clang-format on
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, refusal);
        QTemporaryDir host;
        QProcess p;
        p.start(qEnvironmentVariable("VQ_BIN_DIR") + "/printersim",
                QStringList{"--host", host.path(), "--no-stdin"} + args);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), code);
        const QByteArray out = p.readAllStandardOutput();
        QVERIFY2(!out.contains("err "), out.constData());
        QCOMPARE(out.contains("ready"), code == 0);
        QVERIFY(QString::fromLocal8Bit(p.readAllStandardError()).contains(refusal));
        for (const char* d : {"/usb", "/serial"})
            QVERIFY(QDir(host.path() + d).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    }
};

VQ_TEST_GUILESS_MAIN(TstPrinterSim)
#include "tst_printersim.moc"
