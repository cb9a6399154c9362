// The serial link over a real pseudo-terminal, for what the printer emulator
// cannot send: an echo and a stale answer before the answer, bytes without
// end, each operation's reading of broken answers, a download beyond its
// bound, a port that vanishes, ids drawn from several threads at once, and a
// stop between chunks.
#include "vqptypeer.h"
#include "vqtestsupport.h"

#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <vector>

namespace {
const int kGetBound = 64 * 1024;
QByteArray u8(int v) { return QByteArray(1, char(v)); }
QByteArray str(const char* s) { return QByteArray(s) + '\0'; }
// Status, error text and echo: how every answer begins.
QByteArray common(int status, const char* echo) { return u8(status) + str(status ? "refused" : "") + str(echo); }
QByteArray chunk(int status, const char* echo, quint32 offset, quint32 len)
{
    return common(status, echo) + vqPeerU32(offset) + vqPeerU32(len);
}
}  // namespace

class TstComLink : public QObject
{
    Q_OBJECT
private slots:
    void exchange_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("write");  // what the peer sends, all in one write
        QTest::addColumn<bool>("ok");

        QTest::newRow("echo and answer in one write") << QStringList{"echo", "answer"} << true;
        QTest::newRow("stale answer and answer in one write") << QStringList{"stale", "answer"} << true;
        QTest::newRow("8 MiB of noise, never an answer") << QStringList{"flood"} << false;
        // clang-format on
    }

    void exchange()
    {
        QFETCH(QStringList, write);
        QFETCH(bool, ok);

        const QByteArray body("answer\0\x19\x73\x10\x19", 11);  // a head inside a body is data
        std::atomic<qint64> flooded{0};
        CvqPtyPeer peer;
        QVERIFY(peer.start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
            QByteArray out;
            for (const QString& item : write) {
                if (item == "echo")
                    out += req.raw;
                else if (item == "stale")
                    out += vqPeerFrame(req.type, quint8(req.id - 1), 1, "old");
                else if (item == "answer")
                    out += vqPeerFrame(req.type, req.id, 1, body);
            }
            if (write.contains("flood")) {
                const QByteArray noise(4096, '\x19');
                for (int i = 0; i < 2048 && p.send(noise); ++i)
                    flooded += noise.size();
            }
            p.send(out);
        }));
        CvqComLink link(peer.slavePath());
        QVERIFY(link.open());
        CvqComMsg req(14), resp;
        req.vqAppendStr(QStringLiteral("/tmp/x"));
        QCOMPARE(link.vqExchange(req, 10, resp), ok);
        if (ok) {
            QCOMPARE(resp.vqMsgId, req.vqMsgId);
            QVERIFY(resp.vqIsResponse());
            QCOMPARE(resp.vqMsgBody, body);
        }
        // The byte bound, not the silence after the flood, ended the exchange.
        QVERIFY2(flooded.load() < 2 * 1024 * 1024, qPrintable(QString::number(flooded.load())));
    }

    // Each operation's reading of an answer (the same answer to every request): the
    // printer's status stands, a wrong echo or a missing field fails the call.
    void replies_data()
    {
        // clang-format off
        QTest::addColumn<QString>("op");  // on path /p, command c; put sends "hello"
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<int>("requests");

        const QByteArray get = chunk(0, "/p", 0, 1024);
        QTest::newRow("along: status 0") << "along" << common(0, "c") << true << 0 << "" << 1;
        QTest::newRow("put: refused") << "put" << chunk(3, "/p", 0, 5) << true << 3 << "" << 1;
        QTest::newRow("get: refused") << "get" << chunk(5, "/p", 0, 1024) << true << 5 << "" << 1;
        QTest::newRow("get: last chunk") << "get" << get + u8(1) + vqPeerU32(3) + "abc" << true << 0 << "abc" << 1;
        QTest::newRow("get: no bytes ends it") << "get" << get + u8(0) + vqPeerU32(0) << true << 0 << "" << 1;
        QTest::newRow("exe: status 4 stands") << "exe" << common(4, "c") + u8(0) + str("") << true << 4 << "" << 1;

        QTest::newRow("empty answer") << "has" << QByteArray() << false << 0 << "" << 1;
        QTest::newRow("has: echo of another path") << "has" << common(0, "/q") << false << 0 << "" << 1;
        QTest::newRow("has: no echo") << "has" << u8(0) + str("") << false << 0 << "" << 1;
        QTest::newRow("along: echo of another command") << "along" << common(0, "d") << false << 0 << "" << 1;
        QTest::newRow("put: length echo differs") << "put" << chunk(0, "/p", 0, 4) << false << 0 << "" << 1;
        QTest::newRow("put: offset echo differs") << "put" << chunk(0, "/p", 1, 5) << false << 0 << "" << 1;
        QTest::newRow("put: no offset echo") << "put" << common(0, "/p") << false << 0 << "" << 1;
        QTest::newRow("get: fewer bytes than announced") << "get" << get + u8(1) + vqPeerU32(4) + "abc" << false << 0
                                                         << "" << 1;
        QTest::newRow("get: no byte count") << "get" << get + u8(1) << false << 0 << "" << 1;
        QTest::newRow("get: second chunk echoes the first's offset") << "get" << get + u8(0) + vqPeerU32(3) + "abc"
                                                                      << false << 0 << "abc" << 2;
        QTest::newRow("exe: echo of another command") << "exe" << common(0, "d") + u8(0) + str("") << false << 0 << ""
                                                      << 1;
        QTest::newRow("exe: no output field") << "exe" << common(0, "c") + u8(0) << false << 0 << "" << 1;
        // clang-format on
    }

    void replies()
    {
        QFETCH(QString, op);
        QFETCH(QByteArray, reply);
        std::atomic<int> requests{0};
        CvqPtyPeer peer;
        QVERIFY(peer.start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
            ++requests;
            p.send(vqPeerFrame(req.type, req.id, 1, reply));
        }));
        CvqComLink link(peer.slavePath());
        QVERIFY(link.open());
        quint8 status = 9;
        QString err = "stale", out;
        QByteArray bytes;
        bool ok = false;
        if (op == "has")
            ok = link.vqLinkHas("/p", status, err);
        else if (op == "along")
            ok = link.vqLinkExeAlong("c", status, err);
        else if (op == "put")
            ok = link.vqLinkPut("/p", QByteArray("hello"), status, err);
        else if (op == "get")
            ok = link.vqLinkGet("/p", bytes, status, err);
        else
            ok = link.vqLinkExe("c", out, status, err, 5);
        QTEST(ok, "ok");
        QTEST(int(status), "status");
        QCOMPARE(err, QString(status ? "refused" : ""));
        QTEST(op == "get" ? QString::fromLatin1(bytes) : out, "out");
        QTEST(requests.load(), "requests");
    }

    void download_data()
    {
        // clang-format off
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("hangUpAt");  // get request on which the port vanishes, from 0; -1 never
        QTest::addColumn<int>("maxChunk");  // bytes the printer sends per chunk at most; 0: as asked
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("received");

        QTest::newRow("file exactly at the bound") << kGetBound << -1 << 0 << true << kGetBound;
        QTest::newRow("file one byte beyond the bound") << kGetBound + 1 << -1 << 0 << false << kGetBound;
        QTest::newRow("port vanishes at the sixth chunk") << kGetBound << 5 << 0 << false << 5 * 1024;
        // As many exchanges as whole chunks of the bound and a last one, no more.
        QTest::newRow("one byte per chunk") << 1000 << -1 << 1 << false << kGetBound / 1024 + 2;
        // clang-format on
    }

    void download()
    {
        QFETCH(int, size);
        QFETCH(int, hangUpAt);
        QFETCH(int, maxChunk);
        QFETCH(bool, ok);
        QFETCH(int, received);

        QByteArray data(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            data[i] = char(i * 7 + i / 251);
        CvqFakePrinter printer;
        printer.files.insert("/big", data);
        printer.maxChunk = maxChunk;
        int gets = 0;
        CvqPtyPeer peer;
        QVERIFY(peer.start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
            if (req.type == 11 && gets++ == hangUpAt)
                p.hangUp();
            else
                printer.vqServe(req, p);
        }));
        CvqComLink link(peer.slavePath());
        QVERIFY(link.open());
        link.vqSetGetLimit(kGetBound);
        QByteArray out;
        quint8 status = 9;
        QString err;
        CvqDebugCapture debug;
        QCOMPARE(link.vqLinkGet("/big", out, status, err), ok);
        QVERIFY(out == data.left(received));
        // Past the bound the link is still in step with the printer; a vanished port stays gone.
        QCOMPARE(link.vqTestLink(), hangUpAt < 0);
    }

    // Links on four threads draw from one counter: 4 x 256 requests take every id
    // exactly four times, wrapping past 255 with none lost to a race.
    void idsFromThreads()
    {
        const int threads = 4;
        CvqPtyPeer peers[threads];
        QList<quint8> ids[threads];
        std::atomic<int> failures{0};
        std::vector<std::unique_ptr<QThread>> workers;
        for (int i = 0; i < threads; ++i) {
            QVERIFY(peers[i].start([&ids, i](const CvqPeerFrame& req, CvqPtyPeer& p) {
                ids[i] << req.id;
                p.send(vqPeerFrame(req.type, req.id, 1, QByteArray()));
            }));
            const QString port = peers[i].slavePath();
            workers.emplace_back(QThread::create([port, &failures] {
                CvqComLink link(port);  // created and used on this thread only
                for (int n = 0; n < 256; ++n)
                    failures += link.open() && link.vqTestLink() ? 0 : 1;
            }));
            workers.back()->start();
        }
        for (int i = 0; i < threads; ++i) {
            workers[size_t(i)]->wait();
            peers[i].stop();
        }
        QCOMPARE(failures.load(), 0);
        QMap<int, int> seen;
        for (const QList<quint8>& list : ids)
            for (quint8 id : list)
                ++seen[id];
        QCOMPARE(seen.size(), 256);
        for (int count : seen)
            QCOMPARE(count, threads);
    }

    // A peer dripping a byte now and then, never an answer: the deadline ends the
    // exchange, though the silence time-out never runs out.
    void dripFeed()
    {
        CvqPtyPeer peer;
        QVERIFY(peer.start([](const CvqPeerFrame&, CvqPtyPeer& p) {
            for (int i = 0; i < 300 && p.send(QByteArray(1, 'x')); ++i)
                QThread::msleep(100);
        }));
        CvqComLink link(peer.slavePath());
        QVERIFY(link.open());
        link.vqSetExchangeDeadlineMs(2000);
        CvqComMsg req(vqMsgTestLink), resp;
        CvqDebugCapture debug;
        QVERIFY(!link.vqExchange(req, 1, resp));
        QCOMPARE(debug.lines(), QStringList{"(vq)no response within 2000 ms, type 1"});
        peer.stop();
    }

    // Last: the stop signal cannot be lowered again. Once it is raised a
    // transfer ends before its next chunk, however patient the printer.
    void stopBetweenChunks()
    {
        CvqFakePrinter printer;
        printer.files.insert("/big", QByteArray(8 * 1024, 'b'));
        std::atomic<int> chunks{0};
        CvqPtyPeer peer;
        QVERIFY(peer.start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
            if (++chunks == 2)
                vqQuitAll();
            printer.vqServe(req, p);
        }));
        CvqComLink link(peer.slavePath());
        QVERIFY(link.open());
        QByteArray out;
        quint8 status = 0;
        QString err;
        QVERIFY(!link.vqLinkGet("/big", out, status, err));
        QCOMPARE(out.size(), 2 * 1024);
        QVERIFY(!link.vqLinkPut("/up", QByteArray(4096, 'u'), status, err));
        QCOMPARE(chunks.load(), 2);
        peer.stop();
    }
};

VQ_TEST_GUILESS_MAIN(TstComLink)
#include "tst_comlink.moc"
