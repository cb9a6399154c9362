// The printer emulator as its users see it: the host tree it writes (read
// back through the library's poll cycle), its control protocol and scenarios,
// its serial frame handling on a raw pseudo-terminal, and its web endpoints.
#include "vqsimclient.h"
#include "vqsimhttp.h"
#include "vqtestsupport.h"

#include <QEventLoop>
#include <QFile>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The printer side of a pseudo-terminal, written to and read from directly.
class CvqRawPort
{
public:
    ~CvqRawPort()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    bool open(const QString& path)
    {
        mFd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (mFd < 0)
            return false;
        termios t;
        ::tcgetattr(mFd, &t);
        ::cfmakeraw(&t);
        return ::tcsetattr(mFd, TCSANOW, &t) == 0;
    }
    // pieces > 0: that many bytes per write, with a short pause between.
    bool write(const QByteArray& bytes, int pieces = 0)
    {
        const int step = pieces > 0 ? pieces : bytes.size();
        for (int i = 0; i < bytes.size(); i += step) {
            const QByteArray part = bytes.mid(i, step);
            if (::write(mFd, part.constData(), size_t(part.size())) != part.size())
                return false;
            if (pieces > 0)
                QThread::msleep(1);
        }
        return true;
    }
    // Frames up to and including the one with the given id.
    bool readUntil(quint8 id, QList<CvqComMsg>* frames, int timeoutMs = 20000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            pollfd p{mFd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buf[4096];
                const ssize_t n = ::read(mFd, buf, sizeof buf);
                if (n > 0)
                    mReader.vqFeed(buf, int(n));
            }
            CvqComMsg m;
            while (mReader.vqNext(m)) {
                frames->append(m);
                if (m.vqMsgId == id)
                    return true;
                m = CvqComMsg();
            }
        }
        return false;
    }

private:
    int mFd = -1;
    CvqComFrameReader mReader;
};

CvqComMsg request(quint8 type, quint8 id, const QString& path = QString())
{
    CvqComMsg m(type);
    m.vqMsgId = id;
    if (!path.isNull())
        m.vqAppendStr(path);
    return m;
}

QByteArray frameOf(quint8 type, quint8 id, const QString& path = QString())
{
    return request(type, id, path).vqFrame();
}

QByteArray rawHead(quint32 len)
{
    QByteArray b("\x19\x73\x10\x19", 4);
    for (int i = 0; i < 4; ++i)
        b += char((len >> (8 * i)) & 0xFF);
    return b;
}

const quint8 kSentinel = 250;

struct Http
{
    int code = 0;
    QByteArray body;
};

Http httpGet(const QString& url)
{
    QNetworkAccessManager nam;
    nam.setProxy(QNetworkProxy::NoProxy);
    QNetworkReply* r = nam.get(QNetworkRequest(QUrl(url)));
    QEventLoop loop;
    QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    Http h{r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), r->readAll()};
    delete r;
    return h;
}

// A raw exchange with the web server: what the first line of the answer says.
QByteArray rawHttp(quint16 port, const QByteArray& request)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(10000))
        return "no connection";
    s.write(request);
    QByteArray answer;
    QElapsedTimer t;
    t.start();
    while (!answer.contains("\r\n") && t.elapsed() < 20000 && s.state() == QAbstractSocket::ConnectedState) {
        s.waitForReadyRead(100);
        answer += s.readAll();
    }
    answer += s.readAll();
    return answer.left(answer.indexOf("\r\n"));
}

}  // namespace

class TstPrinterSim : public QObject
{
    Q_OBJECT

    CvqTempSimHost* mHost = nullptr;
    CvqSimClient mSim;
    QTemporaryDir mOut;

    CvqState stateOf(const QString& printer)
    {
        return vqPollCycle().value(mSim.vqInstanceId(printer));
    }
    void cmd(const QString& line)
    {
        const QStringList r = mSim.vqCmd(line);
        QVERIFY2(!r.isEmpty() && r.last().startsWith(QLatin1String("ok")), qPrintable(line + ": " + r.join('|')));
    }

private slots:
    void initTestCase()
    {
        mHost = new CvqTempSimHost;
        QVERIFY2(mSim.vqStart(mHost->root(), {"--printers", "2", "--http", "127.0.0.1:0", "--out", mOut.path(),
                                              "--load", VQ_SOURCE_DIR "/printersim/scenarios/demo.scn"}),
                 qPrintable(mSim.vqError()));
        cmd("add p3 model=P7760FDN");
        cmd("add p4 model=P5220DN");
    }
    void cleanupTestCase()
    {
        mSim.vqStop();
        delete mHost;
    }
    void init()
    {
        for (const char* p : {"p1", "p2", "p3", "p4"})
            cmd(QStringLiteral("@%1 reset").arg(p));
    }

    // ---- the host tree

    void treeEntries()
    {
        const QString root = mHost->root();
        const QString id = mSim.vqInstanceId();
        QCOMPARE(id, QStringLiteral("USB\\VID_1A2B&PID_0101\\QV0001"));
        QFile inst(root + "/usb/" + CvqSimTree::vqEntryName(id) + "/instance_id");
        QVERIFY(inst.open(QIODevice::ReadOnly));
        QCOMPARE(inst.readAll(), id.toUtf8() + '\n');
        QFile reply(root + "/usb/" + CvqSimTree::vqEntryName(id) + "/ieee1284_id");
        QVERIFY(reply.open(QIODevice::ReadOnly));
        const QByteArray text = reply.readAll();
        QVERIFY(text.contains("CLS:PRINTER;"));
        QVERIFY(text.contains("MDL:Morvane P4120W;"));
        QVERIFY(text.contains("SN:QV0001;"));
        QFile port(root + "/serial/p1/port_name");
        QVERIFY(port.open(QIODevice::ReadOnly));
        QCOMPARE(port.readAll().trimmed(), mSim.vqPty().toUtf8());
        QFile queuePort(root + "/registry/Printers/Morvane P4120W/Port");
        QVERIFY(queuePort.open(QIODevice::ReadOnly));
        QCOMPARE(queuePort.readAll().trimmed(), QByteArray("USB001"));
    }

    void pollSeesPrinters()
    {
        const QMap<QString, CvqState> states = vqPollCycle();
        QCOMPARE(states.size(), 4);
        const CvqState s = states.value(mSim.vqInstanceId("p2"));
        QVERIFY(s.connected);
        QCOMPARE(s.productName, QStringLiteral("Morvane M5020F"));
        QCOMPARE(s.queueName, QStringLiteral("Morvane M5020F"));
        QCOMPARE(s.SN, QStringLiteral("QV0002"));
        QCOMPARE(s.vqComName, mSim.vqPty("p2"));
        QCOMPARE(s.ROMVER, QStringLiteral("V1.3.6500"));
    }

    // What the library derives from the identification text after each control line.
    void stateDerivation_data()
    {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("pex");
        QTest::addColumn<int>("pa");
        QTest::addColumn<int>("toner");
        QTest::addColumn<int>("drum");
        QTest::addColumn<int>("source");

        QTest::newRow("reset: idle, 80 %") << "p1" << QStringList() << 0 << 0 << 80 << 80 << 0;
        const QList<QPair<const char*, int>> bits = {
            {"tray1-low", 1},     {"tray2-empty", 2},   {"size-mismatch", 3}, {"data-too-large", 4},
            {"fuser-curve", 5},   {"fuser-other", 6},   {"crypto-chip", 7},   {"paper-out", 8},
            {"paper-jam", 10},    {"cover-open", 11},   {"lsu", 12},          {"fuser-heat", 13},
            {"motor", 14},        {"no-toner-box", 15}, {"data-transfer", 16}, {"lsu-data", 17},
            {"err0801", 18},      {"severe", 23},       {"tray1-empty", 25},  {"bin-full", 26},
            {"drum-door", 27},    {"no-drum", 28},      {"tray2-low", 31},
        };
        for (const auto& b : bits)
            QTest::newRow(b.first) << "p1" << QStringList{QStringLiteral("fault ") + b.first} << int(1u << b.second)
                                   << 0 << 80 << 80 << 0;
        QTest::newRow("jam in tray 1 with cover open")
            << "p1" << QStringList{"faults paper-jam,cover-open", "source tray,tray1"} << ((1 << 10) | (1 << 11)) << 0
            << 80 << 80 << 0x14;
        QTest::newRow("jam at the fuser and in the duplexer")
            << "p1" << QStringList{"fault paper-jam", "source fuser,duplex"} << (1 << 10) << 0 << 80 << 80 << 0xC0;
        QTest::newRow("six faults")
            << "p1" << QStringList{"faults paper-jam,cover-open,paper-out,bin-full,motor,fuser-heat"}
            << ((1 << 10) | (1 << 11) | (1 << 8) | (1 << 26) | (1 << 14) | (1 << 13)) << 0 << 80 << 80 << 0;
        QTest::newRow("open drum door hides the trays")
            << "p1" << QStringList{"fault drum-door,tray1-empty,tray2-low"} << (1 << 27) << 0 << 80 << 80 << 0;
        QTest::newRow("a fault turned off") << "p1" << QStringList{"fault paper-jam", "fault paper-jam off"} << 0
                                            << 0 << 80 << 80 << 0;
        QTest::newRow("all paper sources") << "p1" << QStringList{"fault paper-out", "source mp,tray1,tray2,tray,drum"}
                                           << (1 << 8) << 0 << 80 << 80 << 0x3E;
        QTest::newRow("the tray bit by its older name") << "p1" << QStringList{"fault paper-jam", "source tray1,other"}
                                                        << (1 << 10) << 0 << 80 << 80 << 0x14;
        QTest::newRow("a source given as a number") << "p1" << QStringList{"fault paper-jam", "source 0x14"}
                                                    << (1 << 10) << 0 << 80 << 80 << 0x14;
        QTest::newRow("toner 5 % is low") << "p1" << QStringList{"toner 5"} << (1 << 19) << 0 << 5 << 80 << 0;
        QTest::newRow("toner 0 is exhausted") << "p1" << QStringList{"toner 0"} << (1 << 9) << 0 << 0 << 80 << 0;
        QTest::newRow("toner 10 % at the threshold") << "p1" << QStringList{"toner 10"} << (1 << 19) << 0 << 10 << 80
                                                     << 0;
        QTest::newRow("toner 0.4 % still reads 1") << "p1" << QStringList{"toner 0.4"} << (1 << 19) << 0 << 1 << 80
                                                   << 0;
        QTest::newRow("drum 5 % is low") << "p1" << QStringList{"drum 5"} << (1 << 29) << 0 << 80 << 5 << 0;
        QTest::newRow("drum 0 is exhausted") << "p1" << QStringList{"drum 0"} << (1 << 30) << 0 << 80 << 0 << 0;
        QTest::newRow("no toner reading") << "p1" << QStringList{"toner none"} << 0 << 0 << -1 << 80 << 0;
        QTest::newRow("chips unreadable") << "p1" << QStringList{"chip off", "fault paper-jam"} << (1 << 10) << 0
                                          << -1 << -1 << 0;
        QTest::newRow("threshold 20 makes 15 % low") << "p1" << QStringList{"tll 20", "toner 15"} << (1 << 19) << 0
                                                     << 15 << 80 << 0;
        QTest::newRow("sleeping") << "p1" << QStringList{"activity sleep"} << 0 << 1 << 80 << 80 << 0;
        QTest::newRow("warming up") << "p1" << QStringList{"activity warmup"} << 0 << 2 << 80 << 80 << 0;
        QTest::newRow("printing") << "p1" << QStringList{"activity printing"} << 0 << 4 << 80 << 80 << 0;
        QTest::newRow("job in progress") << "p1" << QStringList{"activity busy"} << 0 << 6 << 80 << 80 << 0;
        QTest::newRow("cooling down") << "p1" << QStringList{"activity cooling"} << 0 << 7 << 80 << 80 << 0;
        // One combined cartridge: its level travels in the drum counter.
        QTest::newRow("layout 1: toner 5 % is cartridge low")
            << "p3" << QStringList{"toner 5"} << (1 << 29) << 0 << 5 << -1 << 0;
        QTest::newRow("layout 1: no cartridge") << "p3" << QStringList{"fault no-drum"} << (1 << 28) << 0 << 80 << -1
                                                << 0;
        QTest::newRow("layout 3: no cartridge") << "p4" << QStringList{"fault no-drum"} << (1 << 28) << 0 << 80 << -1
                                                << 0;
        QTest::newRow("layout 3: toner 0") << "p4" << QStringList{"toner 0"} << (1 << 30) << 0 << 0 << -1 << 0;
        QTest::newRow("second printer on its own") << "p2" << QStringList{"fault cover-open"} << (1 << 11) << 0 << 80
                                                   << 80 << 0;
    }
    void stateDerivation()
    {
        QFETCH(QString, printer);
        QFETCH(QStringList, lines);
        for (const QString& l : lines)
            cmd(QStringLiteral("@%1 %2").arg(printer, l));
        const CvqState s = stateOf(printer);
        QVERIFY(s.connected);
        QFETCH(int, pex);
        QCOMPARE(uint(s.pex), uint(pex));
        QTEST(s.pa, "pa");
        QTEST(s.tonerPercent, "toner");
        QTEST(s.drumPercent, "drum");
        QTEST(s.peGuZhangSource, "source");
        // The other printers stay untouched.
        for (const char* other : {"p1", "p2", "p3", "p4"})
            if (printer != QLatin1String(other))
                QCOMPARE(stateOf(other).pex, 0);
    }

    // Lines the protocol refuses, and the state staying as it was.
    void controlErrors_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown command") << "frobnicate" << "unknown command";
        QTest::newRow("unknown fault") << "fault paper-jam,melted" << "unknown fault melted";
        QTest::newRow("level above the field") << "toner 700" << "level";
        QTest::newRow("negative level") << "toner -1" << "level";
        QTest::newRow("level not a number") << "drum lots" << "level";
        QTest::newRow("status byte out of range") << "raw byte 10 1" << "raw byte";
        QTest::newRow("unknown activity") << "activity dancing" << "unknown activity";
        QTest::newRow("unknown source") << "source sideways" << "unknown source";
        QTest::newRow("no such printer") << "@p9 key" << "no printer p9";
        QTest::newRow("unterminated quote") << "romver \"V1" << "unterminated quote";
        QTest::newRow("negative sleep") << "sleep -5" << "sleep";
        QTest::newRow("unknown wait condition") << "wait forever" << "unknown condition";
        QTest::newRow("unknown link fault") << "linkfault sparkle" << "unknown link fault";
        QTest::newRow("bad printer name") << "add ../p5" << "printer name";
        QTest::newRow("printer exists") << "add p1" << "exists";
        QTest::newRow("serial number taken") << "add p5 sn=QV0001" << "taken";
        QTest::newRow("web server off loopback") << "add p5 http=0.0.0.0:0" << "127.0.0.0/8";
        QTest::newRow("version with a separator") << "romver V1;STS:AAAA" << "';'";
        QTest::newRow("wait times out") << "wait exists /tmp/never timeout=50" << "timeout";
        QTest::newRow("unknown state") << "state nowhere" << "no state";
    }
    void controlErrors()
    {
        QFETCH(QString, line);
        QFETCH(QString, reason);
        cmd("fault lsu");
        const QStringList r = mSim.vqCmd(line);
        QVERIFY(!r.isEmpty());
        QVERIFY2(r.last().startsWith(QLatin1String("err ")) && r.last().contains(reason), qPrintable(r.join('|')));
        const QMap<QString, QString> st = mSim.vqStatus();
        QCOMPARE(st.value("faults"), QStringLiteral("lsu"));
        QCOMPARE(st.value("toner"), QStringLiteral("80"));
        QCOMPARE(st.value("romver"), QStringLiteral("V1.3.6500"));
        QVERIFY(!mSim.vqStatus("p5").contains("sn"));
    }

    void quotedWords()
    {
        cmd("file put /tmp/q.txt \"two  words\" \"a \\\"q\\\"\"");
        const QStringList r = mSim.vqCmd("file get /tmp/q.txt");
        QCOMPARE(r.size(), 2);
        QVERIFY(r[0].endsWith(QString::fromLatin1(QByteArray("two  words a \"q\"").toHex())));
    }

    void plugging_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("found");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("port");
        QTest::newRow("plugged") << "plug" << true << true << true;
        QTest::newRow("unplugged: the queue stays") << "unplug" << false << false << false;
        QTest::newRow("no queue") << "unplug queue" << true << false << false;
        QTest::newRow("no serial port") << "unplug serial" << true << true << false;
        QTest::newRow("everything gone") << "unplug all" << false << false << false;
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
            QVERIFY(QFileInfo::exists(mHost->root() + "/registry/Printers/Morvane M5020F/Port"));
        cmd("@p2 plug");
        QVERIFY(stateOf("p2").connected);
    }

    void spoolerJobs()
    {
        QCOMPARE(vqHost().vqQueueHasJobs("Morvane P4120W"), 0);
        cmd("jobs 3");
        QCOMPARE(vqHost().vqQueueHasJobs("Morvane P4120W"), 1);
        QCOMPARE(QDir(mHost->root() + "/spooler/Morvane P4120W/jobs").entryList(QDir::Files).size(), 3);
        cmd("jobs 0");
        QCOMPARE(vqHost().vqQueueHasJobs("Morvane P4120W"), 0);
    }

    void firmwareVersion()
    {
        cmd("romver V1.2.5000");
        QCOMPARE(stateOf("p1").ROMVER, QStringLiteral("V1.2.5000"));
    }

    // ---- the serial frame on a raw pseudo-terminal

    void frameResync_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<QList<int>>("answered");

        const QByteArray f7 = frameOf(14, 7, "/tmp/x");
        QTest::newRow("one frame") << f7 << 0 << QList<int>{7};
        QTest::newRow("one byte at a time") << f7 << 1 << QList<int>{7};
        QTest::newRow("noise before") << QByteArray("\x00\xff\x19\x73\x10 junk", 10) + f7 << 0 << QList<int>{7};
        QTest::newRow("noise with a split head, in pieces") << QByteArray("xx\x19\x73", 4) + f7 << 3 << QList<int>{7};
        QTest::newRow("false head with an oversized length") << rawHead(5000) + "abcdefgh" + f7 << 0 << QList<int>{7};
        QTest::newRow("false head with a length below 4") << rawHead(2) + f7 << 0 << QList<int>{7};
        QByteArray badTail = frameOf(14, 8, "/tmp/x");
        badTail[badTail.size() - 1] = 0x03;
        QTest::newRow("bad tail, then a good frame") << badTail + f7 << 0 << QList<int>{7};
        QTest::newRow("two frames in one write") << frameOf(1, 5) + f7 << 0 << QList<int>{5, 7};
        QTest::newRow("largest frame") << [] {
            CvqComMsg m(200);
            m.vqMsgId = 9;
            m.vqAppendBytes(QByteArray(4092, 'b'));
            return m.vqFrame();
        }() << 0 << QList<int>{9};
        // Nothing to answer:
        CvqComMsg echoed = request(14, 6, "/tmp/x");
        echoed.vqSetResponse(true);
        QTest::newRow("a frame flagged as response") << echoed.vqFrame() << 0 << QList<int>{};
        QTest::newRow("garbage only") << QByteArray(3000, '\x19') << 0 << QList<int>{};
        QTest::newRow("length one above the bound") << rawHead(4097) + QByteArray(4097, 'z') << 0 << QList<int>{};
    }
    void frameResync()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, pieces);
        QFETCH(QList<int>, answered);
        CvqRawPort port;
        QVERIFY(port.open(mSim.vqPty()));
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
        QCOMPARE(ids, answered);
    }

    // Answers of the file and command messages, field by field.
    void serviceAnswers_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("echo");

        auto msg = [](quint8 type, const QString& s, QList<quint32> nums = {}, const QByteArray& tail = {}) {
            CvqComMsg m = request(type, 42, s);
            for (quint32 n : nums)
                m.vqAppendU32(n);
            m.vqAppendBytes(tail);
            return m.vqFrame();
        };
        QTest::newRow("has: present") << msg(14, "/tmp/present.txt") << 0 << "" << "/tmp/present.txt";
        QTest::newRow("has: bare name lands in /tmp") << msg(14, "present.txt") << 0 << "" << "present.txt";
        QTest::newRow("put: a chunk at 0") << msg(10, "/tmp/new", {0, 3}, "abc") << 0 << "" << "/tmp/new";
        QTest::newRow("put: appending at the end") << msg(10, "/tmp/present.txt", {5, 1}, "!") << 0 << "" << "/tmp/present.txt";
        QTest::newRow("exe: job state") << msg(15, "/usr/local/bin/vqm.exe o") << 0 << "" << "/usr/local/bin/vqm.exe o";
        QTest::newRow("exe along: probe") << msg(16, "/usr/local/bin/vqlcd.exe vqwbMain t") << 0 << ""
                                          << "/usr/local/bin/vqlcd.exe vqwbMain t";
        QTest::newRow("has: missing") << msg(14, "/tmp/absent") << 1 << "no such file" << "/tmp/absent";
        QTest::newRow("del: missing") << msg(13, "/tmp/absent") << 1 << "no such file" << "/tmp/absent";
        QTest::newRow("get: missing") << msg(11, "/tmp/absent", {0, 1024}) << 1 << "no such file" << "/tmp/absent";
        QTest::newRow("get: offset past the end") << msg(11, "/tmp/present.txt", {99, 1024}) << 5 << "bad offset"
                                                  << "/tmp/present.txt";
        QTest::newRow("put: offset past the end") << msg(10, "/tmp/present.txt", {99, 1}, "x") << 5 << "bad offset"
                                                  << "/tmp/present.txt";
        QTest::newRow("put: fewer bytes than announced") << msg(10, "/tmp/short", {0, 10}, "abc") << 2
                                                         << "bad request" << "/tmp/short";
        QTest::newRow("exe: a program it does not have") << msg(15, "/bin/sh -c reboot") << 4
                                                         << "command not supported" << "/bin/sh -c reboot";
        QTest::newRow("exe along: a program it does not have") << msg(16, "rm -rf /") << 4 << "command not supported"
                                                               << "rm -rf /";
        QTest::newRow("unknown message type") << msg(99, "x") << 4 << "command not supported" << "";
        QTest::newRow("path without terminator") << [] {
            CvqComMsg m(14);
            m.vqMsgId = 42;
            m.vqAppendBytes(QByteArray("/tmp/x"));
            return m.vqFrame();
        }() << 2 << "bad request" << "";
    }
    void serviceAnswers()
    {
        QFETCH(QByteArray, frame);
        cmd("file put /tmp/present.txt hello");
        CvqRawPort port;
        QVERIFY(port.open(mSim.vqPty()));
        QVERIFY(port.write(frame));
        QList<CvqComMsg> frames;
        QVERIFY(port.readUntil(42, &frames));
        CvqComMsg& m = frames.last();
        quint8 status = 0;
        QString err, echo;
        QVERIFY(m.vqReadU8(status) && m.vqReadStr(err) && m.vqReadStr(echo));
        QTEST(int(status), "status");
        QTEST(err, "error");
        QTEST(echo, "echo");
    }

    // Nothing that arrives over the link runs on this machine.
    void commandsNeverRun()
    {
        const QString marker = mOut.path() + "/must-not-exist";
        CvqRawPort port;
        QVERIFY(port.open(mSim.vqPty()));
        QVERIFY(port.write(request(15, 43, "/usr/bin/touch " + marker).vqFrame()));
        QVERIFY(port.write(request(16, 44, "touch " + marker).vqFrame()));
        QList<CvqComMsg> frames;
        QVERIFY(port.readUntil(44, &frames));
        QVERIFY(!QFileInfo::exists(marker));
    }

    // The printer's file system is bounded: what does not fit is refused,
    // and freeing space lets it in again.
    void fileSystemBound()
    {
        CvqTempSimHost host;
        CvqSimClient small;
        QVERIFY2(small.vqStart(host.root(), {"--fs-limit", "4096", "--quiet"}), qPrintable(small.vqError()));
        CvqRawPort port;
        QVERIFY(port.open(small.vqPty()));
        auto put = [&port](quint8 id, const QString& path, quint32 offset, int size) -> int {
            CvqComMsg m = request(10, id, path);
            m.vqAppendU32(offset);
            m.vqAppendU32(quint32(size));
            m.vqAppendBytes(QByteArray(size, 'f'));
            QList<CvqComMsg> frames;
            if (!port.write(m.vqFrame()) || !port.readUntil(id, &frames))
                return -1;
            quint8 status = 0;
            return frames.last().vqReadU8(status) ? status : -1;
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
        QMap<QString, QString> st = mSim.vqStatus();
        QCOMPARE(st.value("faults"), QStringLiteral("paper-jam,cover-open"));
        QCOMPARE(st.value("source"), QStringLiteral("tray1,tray"));
        QCOMPARE(stateOf("p1").peGuZhangSource, 0x14);
        QCOMPARE(stateOf("p1").pex, (1 << 10) | (1 << 11));
        QVERIFY(!vqPollCycle().contains(mSim.vqInstanceId("p2")));
        cmd("state no-printer");
        const QMap<QString, CvqState> none = vqPollCycle();
        QVERIFY(!none.contains(mSim.vqInstanceId("p1")) && !none.contains(mSim.vqInstanceId("p2")));
        cmd("state two-printers");
        QVERIFY(stateOf("p1").connected && stateOf("p2").connected);
        QCOMPARE(stateOf("p2").pa, 4);
    }

    void scenarioPlayAndPause()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + "/s.scn";
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# a pause, then a fault\nstep one\n  sleep 10\n  pause\n  @p2 fault motor\n");
        f.close();
        cmd("play " + file);
        // Held at the pause until someone resumes it.
        // (resume has an effect: not inside QTRY, which evaluates once more at the end)
        bool resumed = false;
        QElapsedTimer t;
        t.start();
        while (!resumed && t.elapsed() < 20000) {
            resumed = mSim.vqCmd("resume").value(0) == QLatin1String("ok 1");
            if (!resumed)
                QTest::qWait(20);
        }
        QVERIFY(resumed);
        QCOMPARE(mSim.vqStatus("p1").value("faults"), QStringLiteral("none"));
        QTRY_COMPARE_WITH_TIMEOUT(mSim.vqStatus("p2").value("faults"), QStringLiteral("motor"), 20000);
    }

    void scenarioRefused()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + "/bad.scn";
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("step a\n  fault lsu\n  explode now\n");
        f.close();
        const QStringList r = mSim.vqCmd("load " + file);
        QVERIFY2(r.value(0).contains("bad.scn:3: unknown command explode"), qPrintable(r.join('|')));
        QVERIFY(!mSim.vqCmd("steps").contains("step a"));
        QVERIFY(mSim.vqCmd("load " + dir.path() + "/missing.scn").value(0).startsWith("err "));
    }

    // ---- web endpoints

    void webPages()
    {
        const QString base = "http://" + mSim.vqHttp();
        const Http id = httpGet(base + "/ajax_get1284");
        QCOMPARE(id.code, 200);
        QVERIFY(id.body.contains("CLS:PRINTER;"));
        QFile reply(mHost->root() + "/usb/" + CvqSimTree::vqEntryName(mSim.vqInstanceId()) + "/ieee1284_id");
        QVERIFY(reply.open(QIODevice::ReadOnly));
        QCOMPARE(id.body, reply.readAll());

        cmd("activity printing");
        const QJsonObject o = QJsonDocument::fromJson(httpGet(base + "/ajax_getsnapstate").body).object();
        QCOMPARE(o.value("vqProductType").toString(), QStringLiteral("P4120W"));
        QCOMPARE(o.value("romver").toString(), QStringLiteral("V1.3.6500"));
        QCOMPARE(o.value("pa").toInt(-1), 4);

        const Http job = httpGet(base + "/vqexe/usr/local/bin/vqm.out?o");
        QVERIFY(job.body.contains("vqmainjob.vqjobrun: 1"));
        QVERIFY(job.body.contains("vqscanjob.vqjobrun: 0"));
    }

    void firmwareUpload()
    {
        cmd("upromver V1.3.7000");
        QByteArray image(300000, Qt::Uninitialized);
        for (int i = 0; i < image.size(); ++i)
            image[i] = char((i * 131) >> 3);
        QNetworkAccessManager nam;
        nam.setProxy(QNetworkProxy::NoProxy);
        auto* multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader, "form-data; name=\"file1\"; filename=\"1.RM\"");
        part.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
        part.setBody(image);
        multi->append(part);
        QNetworkReply* r = nam.post(QNetworkRequest(QUrl("http://" + mSim.vqHttp() + "/uprom")), multi);
        multi->setParent(r);
        QEventLoop loop;
        connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        QCOMPARE(r->error(), QNetworkReply::NoError);
        delete r;
        QFile saved(mOut.path() + "/uprom_p1_0001.RM");
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll() == image);
        QCOMPARE(stateOf("p1").ROMVER, QStringLiteral("V1.3.7000"));
        QCOMPARE(mSim.vqStatus().value("uprom"), QStringLiteral("1"));
    }

    void webRefusals_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::newRow("unknown path") << QByteArray("GET /etc/passwd HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.1 404 Not Found");
        QTest::newRow("not a request") << QByteArray("HELLO\r\n\r\n") << QByteArray("HTTP/1.1 400 Bad Request");
        QTest::newRow("body too large")
            << QByteArray("POST /uprom HTTP/1.1\r\nContent-Length: 999999999999\r\n\r\n")
            << QByteArray("HTTP/1.1 413 Payload Too Large");
        QTest::newRow("chunked body") << QByteArray("POST /uprom HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")
                                      << QByteArray("HTTP/1.1 411 Length Required");
        const QByteArray form("--XX\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nvalue\r\n--XX--\r\n");
        QTest::newRow("form without file1")
            << QByteArray("POST /uprom HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=XX\r\nContent-Length: ")
                   + QByteArray::number(form.size()) + "\r\n\r\n" + form
            << QByteArray("HTTP/1.1 400 Bad Request");
        QTest::newRow("header never ends") << QByteArray("GET / HTTP/1.1\r\nX: ") + QByteArray(20000, 'x')
                                           << QByteArray("HTTP/1.1 431 Request Header Fields Too Large");
        QTest::newRow("command it does not have") << QByteArray("GET /vqexe/sbin/reboot HTTP/1.1\r\n\r\n")
                                                  << QByteArray("HTTP/1.1 404 Not Found");
    }
    void webRefusals()
    {
        QFETCH(QByteArray, request);
        const quint16 port = quint16(mSim.vqHttp().section(':', 1).toUInt());
        QTEST(rawHttp(port, request), "statusLine");
    }

    // The web server binds only to the loopback range.
    void loopbackOnly_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("127.0.0.1") << "127.0.0.1:0" << true;
        QTest::newRow("another loopback address") << "127.3.4.5:0" << true;
        QTest::newRow("any address") << "0.0.0.0:0" << false;
        QTest::newRow("a name") << "localhost:0" << false;
        QTest::newRow("IPv6 loopback") << "::1:0" << false;
        QTest::newRow("no port") << "127.0.0.1" << false;
        QTest::newRow("port out of range") << "127.0.0.1:70000" << false;
    }
    void loopbackOnly()
    {
        QFETCH(QString, address);
        QHostAddress a;
        quint16 port = 0;
        QString error;
        QTEST(CvqSimHttp::vqParseLoopback(address, &a, &port, &error), "accepted");
        QFETCH(bool, accepted);
        if (accepted)
            return;
        QTemporaryDir host;
        QProcess p;
        p.start(qEnvironmentVariable("VQ_BIN_DIR") + "/printersim",
                {"--host", host.path(), "--http", address, "--no-stdin"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(!p.readAllStandardOutput().contains("ready"));
    }

    // A scenario played whole ends the program when asked to.
    void unattendedRun()
    {
        QTemporaryDir host;
        QProcess p;
        p.start(qEnvironmentVariable("VQ_BIN_DIR") + "/printersim",
                {"--host", host.path(), "--printers", "2", "--no-stdin", "--quiet", "--scenario",
                 VQ_SOURCE_DIR "/printersim/scenarios/demo.scn", "--step", "toner5", "--exit-after-scenario"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(!p.readAllStandardOutput().contains("err "), "the demo step failed");
        // Its printers are gone from the tree again.
        QVERIFY(QDir(host.path() + "/usb").entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
        QVERIFY(QDir(host.path() + "/serial").entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstPrinterSim)
#include "tst_printersim.moc"
