// The serial link over a real pseudo-terminal, for what the printer emulator
// cannot send: talk without an answer, each operation's reading of broken
// answers, a download beyond its bound, ids drawn from several threads at
// once, and the stop signal (last: it is one-shot).
#include "vqptypeer.h"
#include "vqtestsupport.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {
const int kGetBound = 64 * 1024;
QByteArray u8(int v) { return QByteArray(1, char(v)); }
QByteArray str(const char* s) { return QByteArray(s) + '\0'; }
QByteArray u32(quint32 v) { return u8(int(v)) + u8(int(v >> 8)) + u8(int(v >> 16)) + u8(int(v >> 24)); }
// Status, error text and echo: how every answer begins.
QByteArray common(int status, const char* echo) { return u8(status) + str(status ? "refused" : "") + str(echo); }
QByteArray chunk(int status, const char* echo, quint32 offset, quint32 len)
{
    return common(status, echo) + u32(offset) + u32(len);
}
}  // namespace

class TstComLink : public QObject
{
    Q_OBJECT
private slots:
    // A peer that talks and never answers: the byte bound or the deadline ends
    // the exchange, though the silence time-out never runs out.
    void noAnswer_data()
    {
        QTest::addColumn<int>("bytes");     // sent per piece, 100 ms apart
        QTest::addColumn<QString>("line");  // a part of the one debug line
        QTest::newRow("8 MiB of noise") << 4096 << " bytes, type 1";
        QTest::newRow("a byte now and then") << 1 << "(vq)no response within 2000 ms, type 1";
    }
    void noAnswer()
    {
        QFETCH(int, bytes);
        QFETCH(QString, line);
        std::atomic<qint64> sent{0};
        CvqPtyPeer peer;
        QVERIFY(peer.start([&](const CvqPeerFrame&, CvqPtyPeer& p) {
            for (int i = 0; i < 2048 && p.send(QByteArray(bytes, '\x19')); ++i) {
                sent += bytes;
                QThread::msleep(bytes > 1 ? 0 : 100);
            }
        }));
        CvqComLink link(peer.slavePath());
        QVERIFY(link.open());
        link.vqSetExchangeDeadlineMs(2000);
        CvqDebugCapture debug;
        CvqComMsg req(vqMsgTestLink), resp;
        QVERIFY(!link.vqExchange(req, 1, resp));
        QCOMPARE(debug.lines().size(), 1);
        QVERIFY2(debug.lines().at(0).contains(line), qPrintable(debug.lines().at(0)));
        QVERIFY2(sent.load() < 2 * 1024 * 1024, qPrintable(QString::number(sent.load())));
    }

    // Each operation's reading of an answer (the same answer to every request): the
    // printer's status stands, a wrong echo or a missing field fails the call.
    void replies_data()
    {
        QTest::addColumn<QString>("op");  // on path /p, command c; put sends "hello"
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("expected");  // ok|status|error text|bytes got or output|requests
        const QByteArray get = chunk(0, "/p", 0, 1024);
        // clang-format off
        QTest::newRow("put: refused") << "put" << chunk(3, "/p", 0, 5) << "1|3|refused||1";
        QTest::newRow("get: refused") << "get" << chunk(5, "/p", 0, 1024) << "1|5|refused||1";
        QTest::newRow("get: last chunk") << "get" << get + u8(1) + u32(3) + "abc" << "1|0||abc|1";
        QTest::newRow("get: no bytes ends it") << "get" << get + u8(0) + u32(0) << "1|0|||1";
        QTest::newRow("has: echo of another path") << "has" << common(0, "/q") << "0|0|||1";
        QTest::newRow("has: no echo") << "has" << u8(0) + str("") << "0|0|||1";
        QTest::newRow("put: length echo differs") << "put" << chunk(0, "/p", 0, 4) << "0|0|||1";
        QTest::newRow("put: no offset echo") << "put" << common(0, "/p") << "0|0|||1";
        QTest::newRow("get: fewer bytes than announced") << "get" << get + u8(1) + u32(4) + "abc" << "0|0|||1";
        QTest::newRow("get: no byte count") << "get" << get + u8(1) << "0|0|||1";
        QTest::newRow("get: second chunk echoes the first's offset") << "get" << get + u8(0) + u32(3) + "abc" << "0|0||abc|2";
        QTest::newRow("exe: echo of another command") << "exe" << common(0, "d") + u8(0) + str("") << "0|0|||1";
        QTest::newRow("exe: no output field") << "exe" << common(0, "c") + u8(0) << "0|0|||1";
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
        const bool ok = op == "has" ? link.vqLinkHas("/p", status, err)
            : op == "put"           ? link.vqLinkPut("/p", QByteArray("hello"), status, err)
            : op == "get"           ? link.vqLinkGet("/p", bytes, status, err)
                                    : link.vqLinkExe("c", out, status, err, 5);
        QTEST(QStringLiteral("%1|%2|%3|%4|%5").arg(ok).arg(int(status)).arg(err, out + bytes).arg(requests.load()),
              "expected");
    }

    void download_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("maxChunk");  // bytes per chunk at most; 0: as asked; -1: the port vanishes at the sixth
        QTest::addColumn<QString>("expected");  // ok|bytes got, all of them the file's|a test link after it
        QTest::newRow("file exactly at the bound") << kGetBound << 0 << "1|65536|1";
        QTest::newRow("file one byte beyond the bound") << kGetBound + 1 << 0 << "0|65536|1";
        QTest::newRow("port vanishes at the sixth chunk") << kGetBound << -1 << "0|5120|0";
        // As many exchanges as whole chunks of the bound and a last one, no more.
        QTest::newRow("one byte per chunk") << 1000 << 1 << "0|66|1";
    }
    void download()
    {
        QFETCH(int, size);
        QFETCH(int, maxChunk);
        QByteArray data(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            data[i] = char(i * 7 + i / 251);
        CvqFakePrinter printer;
        printer.files.insert("/big", data);
        printer.maxChunk = qMax(0, maxChunk);
        int gets = 0;
        CvqPtyPeer peer;
        QVERIFY(peer.start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
            if (maxChunk < 0 && req.type == vqMsgGetChunk && gets++ == 5)
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
        const bool ok = link.vqLinkGet("/big", out, status, err);
        // Past the bound the link is still in step with the printer; a vanished port stays gone.
        QTEST(QStringLiteral("%1|%2|%3").arg(ok).arg(data.startsWith(out) ? out.size() : -1).arg(link.vqTestLink()),
              "expected");
    }

    // Links on four threads draw from one counter: 4 x 256 requests take every id
    // exactly four times, wrapping past 255 with none lost to a race.
    void idsFromThreads()
    {
        QMap<int, int> seen;
        QMutex seenLock;
        std::atomic<int> failures{0};
        CvqPtyPeer peers[4];
        std::unique_ptr<QThread> workers[4];  // QSerialPort wants a QThread
        for (int i = 0; i < 4; ++i) {
            QVERIFY(peers[i].start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
                QMutexLocker lock(&seenLock);
                ++seen[req.id];
                p.send(vqPeerFrame(req.type, req.id, 1, QByteArray()));
            }));
            workers[i].reset(QThread::create([port = peers[i].slavePath(), &failures] {
                CvqComLink link(port);  // created and used on this thread only
                for (int n = 0; n < 256; ++n)
                    failures += link.open() && link.vqTestLink() ? 0 : 1;
            }));
            workers[i]->start();
        }
        for (auto& w : workers)
            w->wait();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(seen.size(), 256);
        QCOMPARE(QSet<int>(seen.begin(), seen.end()), QSet<int>{4});  // each id four times
    }

    // Last: the stop signal cannot be lowered again. Once it is raised a
    // transfer ends before its next chunk, and an exchange amid a dripping
    // answer ends, however patient the printer.
    void stop()
    {
        CvqFakePrinter printer;
        printer.files.insert("/big", QByteArray(8 * 1024, 'b'));
        std::atomic<int> chunks{0};
        CvqPtyPeer peer;
        QVERIFY(peer.start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
            if (req.type == vqMsgTestLink) {
                for (int i = 0; i < 300 && p.send("x"); ++i)
                    QThread::msleep(100);
                return;
            }
            if (++chunks == 2)
                vqQuitAll();
            printer.vqServe(req, p);
        }));
        CvqComLink link(peer.slavePath());
        QVERIFY(link.open());
        QByteArray out;
        quint8 status = 0;
        QString err;
        CvqDebugCapture debug;
        QVERIFY(!link.vqLinkGet("/big", out, status, err));
        QCOMPARE(out.size(), 2 * 1024);
        QVERIFY(!link.vqLinkPut("/up", QByteArray(4096, 'u'), status, err));
        QCOMPARE(chunks.load(), 2);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!link.vqTestLink());
        QVERIFY(clock.elapsed() < 2000);
        peer.stop();
    }
};

VQ_TEST_GUILESS_MAIN(TstComLink)
#include "tst_comlink.moc"
