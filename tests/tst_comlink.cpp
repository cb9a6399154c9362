// The serial link over a real pseudo-terminal pair: the link opens the slave
// by name through the serial port class, a peer thread plays the printer on
// the master side. Frames on the peer side are built by hand.
#include "tst_compeer.h"
#include "vqtestsupport.h"

#include <QRandomGenerator>
#include <QThread>
#include <memory>
#include <mutex>
#include <vector>
#include <QtTest>

namespace {
const QByteArray kHead("\x19\x73\x10\x19", 4);

// A printer service on a pseudo-terminal and a link opened on it.
struct Rig
{
    CvqFakePrinter printer;
    CvqPtyPeer peer;
    CvqComLink link;

    bool up()
    {
        if (!peer.start([this](const CvqPeerFrame& r, CvqPtyPeer& p) { printer.vqServe(r, p); }))
            return false;
        link.setPortName(peer.slavePath());
        return link.open();
    }
};

QByteArray randomBytes(int n, quint32 seed)
{
    QByteArray b(n, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (int i = 0; i < n; ++i)
        b[i] = char(rng.bounded(256));
    return b;
}

// How the peer delivers the answer to one exchange.
enum Delivery {
    Whole,
    OneBytePieces,
    NoiseBefore,
    SplitHead,
    OversizedThenValid,
    MaxLenPlusOneThenValid,
    EchoThenResponse,
    EchoAndResponseOneWrite,
    StaleThenResponse,
    StaleAndResponseOneWrite,
    BadTailThenValid,
    EverythingAtOnceInPieces,
    Silence,
    EchoOnly,
    StaleOnly,
    RightIdRequestBitClear,
    Truncated,
    BadTailOnly,
};
}  // namespace
Q_DECLARE_METATYPE(Delivery)

class TstComLink : public QObject
{
    Q_OBJECT
    std::unique_ptr<CvqWarningGuard> mWarnings;
private slots:
    void init() { mWarnings.reset(new CvqWarningGuard); }
    void cleanup()
    {
        const QStringList w = mWarnings->take();
        mWarnings.reset();
        QVERIFY2(w.isEmpty(), qPrintable(w.join('\n')));
    }
    void openAndSettings();
    void openFails();
    void refusedRequests_data();
    void refusedRequests();
    void exchange_data();
    void exchange();
    void idWrapsAfter256();
    void idsSharedAcrossThreads();
    void testMessages();
    void putGet_data();
    void putGet();
    void putText();
    void getEndings_data();
    void getEndings();
    void mismatch_data();
    void mismatch();
    void statusStops();
    void hostileBodies_data();
    void hostileBodies();
    void randomAnswers();
    void exeOutput();
    void delRetry_data();
    void delRetry();
    void usbInterface();
    void portVanishes();
    void endlessDownloadBounded();
    void noiseFloodBounded();
};

void TstComLink::openAndSettings()
{
    Rig rig;
    QVERIFY(rig.up());
    QVERIFY(rig.link.isOpen());
    QVERIFY(rig.link.open());  // again: nothing changes
    QCOMPARE(rig.link.portName(), rig.peer.slavePath());
    rig.link.close();
    QVERIFY(!rig.link.isOpen());
    QVERIFY(!rig.link.vqTestLink());
    QVERIFY(rig.link.open());
    QVERIFY(rig.link.vqTestLink());
}

void TstComLink::openFails()
{
    CvqDebugCapture capture;
    CvqComLink link(QStringLiteral("/dev/vq-no-such-port"));
    QVERIFY(!link.open());
    QVERIFY(!link.isOpen());
    bool logged = false;
    for (const QString& l : capture.lines())
        logged = logged || l.startsWith(QLatin1String("Failed to open serial port:"));
    QVERIFY2(logged, qPrintable(capture.lines().join('\n')));

    QByteArray out;
    QVERIFY(!link.write("x"));
    QVERIFY(!link.read(10, out));
    CvqComMsg req(1), resp;
    QVERIFY(!link.vqExchange(req, 1, resp));
    quint8 st = 9;
    QString err = "x";
    QVERIFY(!link.vqLinkGet("/a", out, st, err));
    QCOMPARE(int(st), 0);
    QVERIFY(err.isEmpty());
}

void TstComLink::refusedRequests_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("length disagrees with body") << 0;
    QTest::newRow("response bit set") << 1;
    QTest::newRow("frame over 4096") << 2;
}

void TstComLink::refusedRequests()
{
    QFETCH(int, fault);
    Rig rig;
    QVERIFY(rig.up());
    CvqComMsg req(1), resp;
    if (fault == 0)
        req.vqMsgBody = "abc";
    if (fault == 1)
        req.vqSetResponse(true);
    if (fault == 2)
        req.vqAppendPattern(4093);
    QVERIFY(!rig.link.vqExchange(req, 1, resp));
    QVERIFY(rig.link.vqTestLink());  // the link is still good
    QCOMPARE(rig.peer.requestCount(), 1);
    QCOMPARE(rig.peer.bytesReceived(), qint64(16));  // nothing but the test message went out
}

void TstComLink::exchange_data()
{
    QTest::addColumn<Delivery>("delivery");
    QTest::addColumn<bool>("ok");

    QTest::newRow("whole") << Whole << true;
    QTest::newRow("1-byte pieces") << OneBytePieces << true;
    QTest::newRow("noise before the head") << NoiseBefore << true;
    QTest::newRow("head split across reads") << SplitHead << true;
    QTest::newRow("length 0xFFFFFFFF, then a frame") << OversizedThenValid << true;
    QTest::newRow("length 4097, then a frame") << MaxLenPlusOneThenValid << true;
    QTest::newRow("echo, then the answer") << EchoThenResponse << true;
    QTest::newRow("echo and answer in one write") << EchoAndResponseOneWrite << true;
    QTest::newRow("stale id, then the answer") << StaleThenResponse << true;
    QTest::newRow("stale and answer in one write") << StaleAndResponseOneWrite << true;
    QTest::newRow("bad tail, then a frame") << BadTailThenValid << true;
    QTest::newRow("all of it in 7-byte pieces") << EverythingAtOnceInPieces << true;
    QTest::newRow("silence") << Silence << false;
    QTest::newRow("only the echo") << EchoOnly << false;
    QTest::newRow("only a stale answer") << StaleOnly << false;
    QTest::newRow("right id, response bit clear") << RightIdRequestBitClear << false;
    QTest::newRow("truncated answer") << Truncated << false;
    QTest::newRow("bad tail only") << BadTailOnly << false;
}

void TstComLink::exchange()
{
    QFETCH(Delivery, delivery);
    QFETCH(bool, ok);

    const QByteArray body("\x00\x01" "answer" "\x19\x73\x10\x19", 12);  // a head inside the body is data
    CvqPtyPeer peer;
    QVERIFY(peer.start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
        const QByteArray good = vqPeerFrame(req.type, req.id, 1, body);
        const QByteArray stale = vqPeerFrame(req.type, quint8(req.id - 1), 1, "old");
        QByteArray badTail = vqPeerFrame(req.type, req.id, 1, body);
        badTail[badTail.size() - 1] = 'X';
        switch (delivery) {
        case Whole: p.send(good); break;
        case OneBytePieces: p.send(good, 1); break;
        case NoiseBefore: p.send(QByteArray("boot: \x19\x73\x10 ok\r\n") + good); break;
        case SplitHead:
            p.send(good.left(2));
            QThread::msleep(30);
            p.send(good.mid(2));
            break;
        case OversizedThenValid:
            p.send(vqPeerFrame(req.type, req.id, 1, "xxxxxxxxxxxx", 0xFFFFFFFFLL) + good);
            break;
        case MaxLenPlusOneThenValid:
            p.send(vqPeerFrame(req.type, req.id, 1, QByteArray(30, 'y'), 4097) + good);
            break;
        case EchoThenResponse:
            p.send(req.raw);
            QThread::msleep(30);
            p.send(good);
            break;
        case EchoAndResponseOneWrite: p.send(req.raw + good); break;
        case StaleThenResponse:
            p.send(stale);
            QThread::msleep(30);
            p.send(good);
            break;
        case StaleAndResponseOneWrite: p.send(stale + good); break;
        case BadTailThenValid: p.send(badTail + good); break;
        case EverythingAtOnceInPieces:
            p.send(QByteArray("\x19\x73") + req.raw + stale + badTail + kHead + good, 7);
            break;
        case Silence: break;
        case EchoOnly: p.send(req.raw); break;
        case StaleOnly: p.send(stale); break;
        case RightIdRequestBitClear: p.send(vqPeerFrame(req.type, req.id, 0, body)); break;
        case Truncated: p.send(good.left(good.size() - 1)); break;
        case BadTailOnly: p.send(badTail); break;
        }
    }));
    CvqComLink link(peer.slavePath());
    QVERIFY(link.open());
    CvqComMsg req(14), resp;
    req.vqAppendStr(QStringLiteral("/tmp/x"));
    QCOMPARE(link.vqExchange(req, ok ? 10 : 1, resp), ok);
    if (ok) {
        QCOMPARE(resp.vqMsgId, req.vqMsgId);
        QCOMPARE(int(resp.vqMsgType), 14);
        QVERIFY(resp.vqIsResponse());
        QCOMPARE(resp.vqMainLen, quint32(4 + body.size()));
        QCOMPARE(resp.vqMsgBody, body);
        QCOMPARE(resp.vqReadPos, 0);
    }
    // The request went out exactly as framed.
    QCOMPARE(peer.requestCount(), 1);
}

void TstComLink::idWrapsAfter256()
{
    Rig rig;
    QVERIFY(rig.up());
    for (int i = 0; i < 257; ++i)
        QVERIFY(rig.link.vqTestLink());
    const QList<quint8> ids = rig.printer.ids();
    QCOMPARE(ids.size(), 257);
    bool wrapped = false;
    for (int i = 1; i < ids.size(); ++i) {
        QCOMPARE(ids.at(i), quint8(ids.at(i - 1) + 1));
        wrapped = wrapped || (ids.at(i - 1) == 255 && ids.at(i) == 0);
    }
    QVERIFY(wrapped);
    QCOMPARE(ids.last(), ids.first());
}

// Threads with links of their own draw from one counter: 4 x 256 requests
// take every id exactly four times, none lost to a race.
void TstComLink::idsSharedAcrossThreads()
{
    const int threads = 4;
    std::vector<std::unique_ptr<Rig>> rigs;
    std::vector<std::unique_ptr<QThread>> workers;
    std::atomic<int> failures{0};
    for (int i = 0; i < threads; ++i) {
        rigs.emplace_back(new Rig);
        Rig* rig = rigs.back().get();
        QVERIFY(rig->peer.start([rig](const CvqPeerFrame& r, CvqPtyPeer& p) { rig->printer.vqServe(r, p); }));
        workers.emplace_back(QThread::create([rig, &failures] {
            CvqComLink link(rig->peer.slavePath());  // created and used on this thread only
            if (!link.open()) {
                ++failures;
                return;
            }
            for (int n = 0; n < 256; ++n)
                failures += link.vqTestLink() ? 0 : 1;
        }));
    }
    for (auto& w : workers)
        w->start();
    for (auto& w : workers)
        QVERIFY(w->wait(120000));
    QCOMPARE(failures.load(), 0);
    QMap<int, int> seen;
    for (auto& rig : rigs) {
        for (quint8 id : rig->printer.ids())
            ++seen[id];
    }
    QCOMPARE(seen.size(), 256);
    for (auto it = seen.cbegin(); it != seen.cend(); ++it)
        QCOMPARE(it.value(), threads);
}

void TstComLink::testMessages()
{
    Rig rig;
    QVERIFY(rig.up());
    QVERIFY(rig.link.vqTestLink());
    QVERIFY(rig.link.vqTestBulk());  // the peer answers only a correct pattern
    QCOMPARE(rig.peer.bytesReceived(), qint64(16 + 16 + 4 + 1024));
}

void TstComLink::putGet_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("chunks");

    QTest::newRow("empty file") << 0 << 1;
    QTest::newRow("1 byte") << 1 << 1;
    QTest::newRow("1024 bytes") << 1024 << 1;
    QTest::newRow("1025 bytes") << 1025 << 2;
    QTest::newRow("1 MiB") << (1 << 20) << 1024;
}

void TstComLink::putGet()
{
    QFETCH(int, size);
    QFETCH(int, chunks);

    Rig rig;
    QVERIFY(rig.up());
    const QString path = QStringLiteral("/tmp/图.png");
    const QByteArray data = randomBytes(size, quint32(size) + 7);
    quint8 st = 9;
    QString err = "x";
    QVERIFY(rig.link.vqLinkPut(path, data, st, err));
    QCOMPARE(int(st), 0);
    QVERIFY(err.isEmpty());
    QVERIFY(rig.printer.hasFile(path));
    QVERIFY(rig.printer.file(path) == data);
    const QList<int> put = rig.printer.putChunks();
    QCOMPARE(put.size(), chunks);
    for (int i = 0; i < put.size(); ++i)
        QCOMPARE(put.at(i), qMin(1024, size - 1024 * i));

    QByteArray back;
    QVERIFY(rig.link.vqLinkGet(path, back, st, err));
    QCOMPARE(int(st), 0);
    QCOMPARE(back.size(), size);
    QVERIFY(back == data);
    const QList<quint32> offsets = rig.printer.getOffsets();
    QCOMPARE(offsets.size(), chunks);
    for (int i = 0; i < offsets.size(); ++i)
        QCOMPARE(offsets.at(i), quint32(1024 * i));
}

void TstComLink::putText()
{
    Rig rig;
    QVERIFY(rig.up());
    quint8 st = 0;
    QString err;
    QVERIFY(rig.link.vqLinkPutText("/tmp/t.txt", QStringLiteral("png\n扫描"), st, err));
    QCOMPARE(rig.printer.file("/tmp/t.txt"), QByteArray("png\n\xe6\x89\xab\xe6\x8f\x8f"));

    rig.printer.setFile("/tmp/z.txt", QByteArray("jpg\0trailing", 12));
    QString text = "old";
    QVERIFY(rig.link.vqLinkGetText("/tmp/z.txt", text, st, err));
    QCOMPARE(text, QStringLiteral("jpg"));
}

void TstComLink::getEndings_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("endsWithEmpty");
    QTest::addColumn<int>("requests");

    QTest::newRow("last flag on the first chunk") << 10 << false << 1;
    QTest::newRow("last flag on the second chunk") << 2048 << false << 2;
    QTest::newRow("ends with an empty chunk") << 1025 << true << 3;
    QTest::newRow("empty file, empty chunk") << 0 << true << 1;
}

void TstComLink::getEndings()
{
    QFETCH(int, size);
    QFETCH(bool, endsWithEmpty);
    QFETCH(int, requests);

    Rig rig;
    QVERIFY(rig.up());
    const QByteArray data = randomBytes(size, 99);
    rig.printer.setFile("/f", data);
    rig.printer.getEndsWithEmpty = endsWithEmpty;
    QByteArray out("pre-");
    quint8 st = 0;
    QString err;
    QVERIFY(rig.link.vqLinkGet("/f", out, st, err));
    QVERIFY(out == "pre-" + data);  // appended to what the caller passed
    QCOMPARE(rig.printer.getOffsets().size(), requests);
}

void TstComLink::mismatch_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<int>("fault");  // 0 path, 1 offset, 2 length

    for (const char* op : {"put", "get", "has", "del", "exe", "exeAlong"})
        QTest::newRow(qPrintable(QStringLiteral("%1: other path echoed").arg(op))) << op << 0;
    QTest::newRow("put: other offset echoed") << "put" << 1;
    QTest::newRow("put: other length echoed") << "put" << 2;
    QTest::newRow("get: other offset echoed") << "get" << 1;
    QTest::newRow("get: other length echoed") << "get" << 2;
}

// An answer that echoes something else fails the operation although its status is 0.
void TstComLink::mismatch()
{
    QFETCH(QString, op);
    QFETCH(int, fault);

    Rig rig;
    QVERIFY(rig.up());
    rig.printer.setFile("/f", QByteArray(3000, 'a'));
    CvqFakePrinter::Command c;
    c.text = "out";
    rig.printer.setCommand("ls", c);
    rig.printer.wrongPath = fault == 0;
    rig.printer.offsetDelta = fault == 1 ? 1 : 0;
    rig.printer.lengthDelta = fault == 2 ? -1 : 0;

    quint8 st = 0;
    QString err, text;
    QByteArray bytes;
    bool ok = true;
    if (op == "put")
        ok = rig.link.vqLinkPut("/g", QByteArray(3000, 'b'), st, err);
    else if (op == "get")
        ok = rig.link.vqLinkGet("/f", bytes, st, err);
    else if (op == "has")
        ok = rig.link.vqLinkHas("/f", st, err);
    else if (op == "del")
        ok = rig.link.vqLinkDel("/f", st, err);
    else if (op == "exe")
        ok = rig.link.vqLinkExe("ls", text, st, err, 5);
    else
        ok = rig.link.vqLinkExeAlong("ls", st, err);
    QVERIFY(!ok);
    QCOMPARE(rig.peer.requestCount(), 1);  // no further chunk after the mismatch
}

void TstComLink::statusStops()
{
    Rig rig;
    QVERIFY(rig.up());
    rig.printer.putStatus = 3;
    quint8 st = 0;
    QString err;
    QVERIFY(rig.link.vqLinkPut("/p", QByteArray(5000, 'p'), st, err));
    QCOMPARE(int(st), 3);
    QCOMPARE(err, QStringLiteral("refused"));
    QCOMPARE(rig.printer.putChunks().size(), 1);

    QByteArray out;
    QVERIFY(rig.link.vqLinkGet("/missing", out, st, err));
    QCOMPARE(int(st), 2);
    QCOMPARE(err, QStringLiteral("no such file"));
    QVERIFY(out.isEmpty());

    QVERIFY(rig.link.vqLinkHas("/missing", st, err));
    QCOMPARE(int(st), 1);
    QVERIFY(err.isEmpty());
}

// Answers of any content: each operation ends with false, never reads past the body.
void TstComLink::hostileBodies_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QByteArray>("tail");  // what follows status, error text and echo

    auto u32 = [](quint32 v) { return CvqPeerBody().u32(v).b; };
    QTest::newRow("get: count 0xFFFFFFFF") << "get" << u32(0) + u32(1024) + QByteArray(1, 1) + u32(0xFFFFFFFF) + "abc";
    QTest::newRow("get: count larger than the body") << "get" << u32(0) + u32(1024) + QByteArray(1, 0) + u32(100) + "0123456789";
    QTest::newRow("get: no count") << "get" << u32(0) + u32(1024) + QByteArray(1, 0);
    QTest::newRow("get: no echoed length") << "get" << u32(0);
    QTest::newRow("put: nothing after the echo") << "put" << QByteArray();
    QTest::newRow("exe: no flag") << "exe" << QByteArray();
    QTest::newRow("exe: text without terminator") << "exe" << QByteArray(1, 0) + "out";
    QTest::newRow("exe: text of 1024 bytes") << "exe" << QByteArray(1, 0) + QByteArray(1024, 'o') + QByteArray(1, 0);
    QTest::newRow("has: error text without terminator") << "has!" << QByteArray();
    QTest::newRow("has: error text of 1024 bytes") << "has1024" << QByteArray();
    QTest::newRow("has: empty body") << "has0" << QByteArray();
}

void TstComLink::hostileBodies()
{
    QFETCH(QString, op);
    QFETCH(QByteArray, tail);

    CvqPtyPeer peer;
    QVERIFY(peer.start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
        CvqPeerReader r(req.body);
        const QByteArray path = r.str();
        CvqPeerBody b;
        if (op == "has!")
            b.u8(1).raw("no terminator at all");
        else if (op == "has1024")
            b.u8(1).str(QByteArray(1024, 'e')).str(path);
        else if (op != "has0")
            b.u8(0).str("").str(path).raw(tail);
        p.send(vqPeerFrame(req.type, req.id, 1, b.b));
    }));
    CvqComLink link(peer.slavePath());
    QVERIFY(link.open());
    quint8 st = 0;
    QString err, text;
    QByteArray out;
    if (op == "get")
        QVERIFY(!link.vqLinkGet("/f", out, st, err));
    else if (op == "put")
        QVERIFY(!link.vqLinkPut("/f", "data", st, err));
    else if (op == "exe")
        QVERIFY(!link.vqLinkExe("ls", text, st, err, 5));
    else
        QVERIFY(!link.vqLinkHas("/f", st, err));
    QVERIFY(out.isEmpty());
}

// Answers of random content after a plausible start: whatever comes back,
// every operation ends with a plain result (run under ASan to see reads).
void TstComLink::randomAnswers()
{
    QRandomGenerator rng(77);
    std::mutex m;
    CvqPtyPeer peer;
    QVERIFY(peer.start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
        std::lock_guard<std::mutex> lock(m);
        CvqPeerReader r(req.body);
        const QByteArray path = r.str();
        CvqPeerBody b;
        const int shape = int(rng.bounded(4));
        if (shape > 0)
            b.u8(quint8(rng.bounded(2))).str("").str(path);
        if (shape > 1)
            b.u32(shape == 3 ? 0 : rng.generate()).u32(1024).u8(quint8(rng.bounded(2)));
        const int n = int(rng.bounded(1100));
        for (int i = 0; i < n; ++i)
            b.b.append(char(rng.bounded(256)));
        p.send(vqPeerFrame(req.type, req.id, 1, b.b), int(rng.bounded(3)) == 0 ? 97 : 0);
    }));
    CvqComLink link(peer.slavePath());
    QVERIFY(link.open());
    link.vqSetGetLimit(256 * 1024);
    for (int i = 0; i < 300; ++i) {
        quint8 st = 0;
        QString err, text;
        QByteArray out;
        switch (i % 6) {
        case 0: link.vqLinkGet("/f", out, st, err); break;
        case 1: link.vqLinkPut("/f", QByteArray(1500, 'p'), st, err); break;
        case 2: link.vqLinkExe("ls", text, st, err, 5); break;
        case 3: link.vqLinkHas("/f", st, err); break;
        case 4: link.vqLinkDelRetry("/f", st, err); break;
        default: link.vqLinkExeAlong("x", st, err); break;
        }
        QVERIFY(out.size() <= 256 * 1024);
    }
    QVERIFY(link.vqTestLink());  // still in step with the peer
}

void TstComLink::exeOutput()
{
    Rig rig;
    QVERIFY(rig.up());
    CvqFakePrinter::Command direct;
    direct.text = "vqscanjob.vqjobrun:0";
    rig.printer.setCommand("/usr/local/bin/vqm.exe o", direct);
    CvqFakePrinter::Command viaFile;
    viaFile.inFile = 1;
    viaFile.text = "/tmp/out.txt";
    rig.printer.setCommand("long", viaFile);
    const QByteArray longText = QByteArray(3000, 'L') + "\nend";
    rig.printer.setFile("/tmp/out.txt", longText + QByteArray("\0junk", 5));
    CvqFakePrinter::Command lost;
    lost.inFile = 1;
    lost.status = 0;
    lost.text = "/tmp/gone.txt";
    rig.printer.setCommand("lost", lost);

    quint8 st = 9;
    QString err, out;
    QVERIFY(rig.link.vqLinkExe("/usr/local/bin/vqm.exe o", out, st, err, 5));
    QCOMPARE(out, QStringLiteral("vqscanjob.vqjobrun:0"));
    QCOMPARE(int(st), 0);

    QVERIFY(rig.link.vqLinkExe("long", out, st, err, 5));
    QCOMPARE(out, QString::fromLatin1(longText));
    QCOMPARE(rig.printer.getOffsets(), (QList<quint32>{0, 1024, 2048}));  // 3009 bytes

    // The fetch's status stands for the command's.
    QVERIFY(rig.link.vqLinkExe("lost", out, st, err, 5));
    QCOMPARE(int(st), 2);
    QCOMPARE(err, QStringLiteral("no such file"));
    QVERIFY(out.isEmpty());

    // An unknown command: answered, status 1; the short forms agree.
    QVERIFY(rig.link.vqLinkExe("nope", out, st, err, 5));
    QCOMPARE(int(st), 1);
    QCOMPARE(err, QStringLiteral("unknown command"));
    QVERIFY(rig.link.vqLinkExe("nope", st, err, 5));
    QVERIFY(rig.link.vqLinkExe("nope", 5));
    QVERIFY(rig.link.vqLinkExeAlong("anything", st, err));
    QCOMPARE(int(st), 0);
}

void TstComLink::delRetry_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("attempts");

    QTest::newRow("first attempt") << 0 << true << 1;
    QTest::newRow("third attempt") << 2 << true << 3;
    QTest::newRow("all three refused") << 3 << false << 3;
}

void TstComLink::delRetry()
{
    QFETCH(int, failures);
    QFETCH(bool, ok);
    QFETCH(int, attempts);

    for (int form = 0; form < 3; ++form) {
        Rig rig;
        QVERIFY(rig.up());
        rig.printer.setFile("/d", "x");
        rig.printer.delFailures = failures;
        quint8 st = 0;
        QString err;
        if (form == 0) {
            QCOMPARE(rig.link.vqLinkDelRetry("/d", st, err), ok);
            QCOMPARE(int(st), ok ? 0 : 1);
        } else if (form == 1) {
            QCOMPARE(rig.link.vqLinkDelRetry("/d"), ok);
        } else {
            rig.link.close();
            CvqCommOfUsb usb(rig.peer.slavePath());
            QCOMPARE(usb.vqDelFileRetry("/d"), ok);
        }
        QCOMPARE(rig.printer.delAttempts(), attempts);
        QCOMPARE(rig.printer.hasFile("/d"), !ok);
    }
}

void TstComLink::usbInterface()
{
    CvqFakePrinter printer;
    CvqPtyPeer peer;
    QVERIFY(peer.start([&](const CvqPeerFrame& r, CvqPtyPeer& p) { printer.vqServe(r, p); }));
    printer.setFile("/tmp/a", QByteArray("A\0B", 3));
    CvqFakePrinter::Command c;
    c.text = "ok";
    printer.setCommand("/usr/local/bin/vqlcd.exe vqwbMain t", c);

    CvqCommOfUsb usb(peer.slavePath());  // opens on first use
    QByteArray bytes;
    QVERIFY(usb.vqGetFile("/tmp/a", bytes));
    QCOMPARE(bytes, QByteArray("A\0B", 3));
    bool exists = false;
    QVERIFY(usb.vqHasFile("/tmp/a", exists));
    QVERIFY(exists);
    QVERIFY(usb.vqHasFile("/tmp/b", exists));
    QVERIFY(!exists);
    QString out;
    QVERIFY(usb.vqExe("/usr/local/bin/vqlcd.exe vqwbMain t", out, 5));
    QCOMPARE(out, QStringLiteral("ok"));
    QVERIFY(usb.vqExeQuiet("/usr/local/bin/vqlcd.exe vqwbMain t", 5));
    QVERIFY(usb.vqExeAlong("/usr/local/bin/vqlcd.exe vqdoscanMain run"));
    QVERIFY(usb.vqDelFile("/tmp/a"));
    QVERIFY(!printer.hasFile("/tmp/a"));

    CvqDebugCapture capture;
    QVERIFY(!usb.vqGetFile("/tmp/a", bytes));
    QVERIFY(!usb.vqDelFile("/tmp/a"));
    QVERIFY(!usb.vqExe("nope", out, 5));
    const QStringList lines = capture.lines();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QStringLiteral("CvqCommOfUsb::vqGetFile() err: 2 \"no such file\""));
    QCOMPARE(lines.at(1), QStringLiteral("CvqCommOfUsb::vqDelFile() err: 2 \"cannot delete\""));
    QCOMPARE(lines.at(2), QStringLiteral("CvqCommOfUsb::vqExe() err: 1 \"unknown command\""));

    // A failed question leaves the answer alone.
    printer.wrongPath = true;
    exists = true;
    QVERIFY(!usb.vqHasFile("/tmp/b", exists));
    QVERIFY(exists);

    CvqCommOfUsb nowhere(QStringLiteral("/dev/vq-no-such-port"));
    QVERIFY(!nowhere.vqGetFile("/x", bytes));
    QVERIFY(!nowhere.vqHasFile("/x", exists));
    QVERIFY(!nowhere.vqExeAlong("x"));
}

// The printer is unplugged in the middle of a download: a plain failure.
void TstComLink::portVanishes()
{
    Rig rig;
    QVERIFY(rig.up());
    rig.printer.setFile("/big", QByteArray(100 * 1024, 'v'));
    rig.printer.hangUpAfterGets = 5;
    QByteArray out;
    quint8 st = 0;
    QString err;
    QVERIFY(!rig.link.vqLinkGet("/big", out, st, err));
    QCOMPARE(out.size(), 5 * 1024);
    QVERIFY(!rig.link.vqTestLink());
    QVERIFY(!rig.link.vqLinkPut("/p", "x", st, err));
}

void TstComLink::endlessDownloadBounded()
{
    Rig rig;
    QVERIFY(rig.up());
    rig.printer.getEndless = true;
    rig.link.vqSetGetLimit(64 * 1024);
    CvqDebugCapture capture;
    QByteArray out;
    quint8 st = 0;
    QString err;
    QVERIFY(!rig.link.vqLinkGet("/endless", out, st, err));
    QCOMPARE(out.size(), 64 * 1024);
    QCOMPARE(rig.printer.getOffsets().size(), 65);
    QVERIFY(!capture.lines().isEmpty());
}

// A peer that talks without end but never answers cannot keep the exchange alive.
void TstComLink::noiseFloodBounded()
{
    CvqPtyPeer peer;
    QVERIFY(peer.start([&](const CvqPeerFrame&, CvqPtyPeer& p) {
        const QByteArray noise(4096, '\x19');
        for (int i = 0; i < 4096; ++i)  // 16 MiB at most; stops when the link stops reading
            p.send(noise);
    }));
    CvqComLink link(peer.slavePath());
    QVERIFY(link.open());
    CvqComMsg req(1), resp;
    QVERIFY(!link.vqExchange(req, 3600, resp));
    link.close();
    peer.stop();
}

QTEST_GUILESS_MAIN(TstComLink)
#include "tst_comlink.moc"
