// The serial link over a real pseudo-terminal, for what the printer emulator cannot send: each
// operation's reading of broken answers, a download beyond its bound, ids drawn from several threads
// at once, and talk without an answer, the stop signal last (it is one-shot).
#include "vqptypeer.h"
#include "vqtestsupport.h"

#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {
const int kGetBound = 64 * 1024;
QByteArray u8(int v) { return QByteArray(1, char(v)); }
QByteArray str(const char* s) { return QByteArray(s) + '\0'; }
QByteArray u32(quint32 v) { return u8(int(v)) + u8(int(v >> 8)) + u8(int(v >> 16)) + u8(int(v >> 24)); }
// Status, error text and echo: how every answer begins; a chunk's then echoes its offset and length.
QByteArray common(int status, const char* echo) { return u8(status) + str(status ? "refused" : "") + str(echo); }
QByteArray chunk(int st, const char* echo, quint32 at, quint32 n) { return common(st, echo) + u32(at) + u32(n); }
}  // namespace

class TstComLink : public QObject
{
    Q_OBJECT
    struct Out
    {
        quint8 status = 9;
        QString err = "stale", text;
        QByteArray bytes;
    } m;  // what an operation wrote, fresh for each case

private slots:
    void init() { m = Out(); }

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
            p.reply(req, reply);
        }));
        CvqComLink link(peer.slavePath());
        QVERIFY(link.open());
        const bool ok = op == "has" ? link.vqLinkHas("/p", m.status, m.err)
            : op == "put"           ? link.vqLinkPut("/p", QByteArray("hello"), m.status, m.err)
            : op == "get"           ? link.vqLinkGet("/p", m.bytes, m.status, m.err)
                                    : link.vqLinkExe("c", m.text, m.status, m.err, 5);
        const QString out = m.err + '|' + m.text + m.bytes;
        QTEST(QString::asprintf("%d|%d|%s|%d", ok, m.status, qUtf8Printable(out), requests.load()), "expected");
    }

    void download_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("maxChunk");  // bytes per chunk at most; 0: as asked; -1: the port vanishes at the sixth
        QTest::addColumn<QString>("expected");  // ok|bytes got (the file's first)|a test link after it
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
        QByteArray data(size, 'x');
        QRandomGenerator(quint32(size)).fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
        CvqFakePrinter printer;
        printer.files.insert("/big", data);
        printer.maxChunk = qMax(0, maxChunk);
        int gets = 0;
        CvqPtyPeer peer;
        QVERIFY(peer.start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
            if (maxChunk < 0 && gets++ == 5)
                p.hangUp();
            else
                printer.vqServe(req, p);
        }));
        CvqComLink link(peer.slavePath());
        QVERIFY(link.open());
        link.vqSetGetLimit(kGetBound);
        CvqDebugCapture debug;
        const bool ok = link.vqLinkGet("/big", m.bytes, m.status, m.err);
        // Past the bound the link is still in step with the printer; a vanished port stays gone.
        QVERIFY(data.startsWith(m.bytes));
        QTEST(QStringLiteral("%1|%2|%3").arg(ok).arg(m.bytes.size()).arg(link.vqTestLink()), "expected");
    }

    // Links on four threads draw from one counter: 4 x 256 requests take every id
    // exactly four times, wrapping past 255 with none lost to a race.
    void idsFromThreads()
    {
        std::atomic<int> seen[256] = {}, failures{0};
        CvqPtyPeer peers[4];
        std::unique_ptr<QThread> workers[4];  // QSerialPort wants a QThread
        for (int i = 0; i < 4; ++i) {
            QVERIFY(peers[i].start([&](const CvqPeerFrame& req, CvqPtyPeer& p) {
                ++seen[req.id];
                p.reply(req, QByteArray());
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
        for (const auto& n : seen)
            QCOMPARE(n.load(), 4);
    }

    // A peer that talks and never answers: the byte bound, the deadline or the program's close ends
    // the exchange, though the silence time-out never runs out. Last: the close cannot be undone;
    // once it is raised transfers end before their next chunk.
    void noAnswer_data()
    {
        QTest::addColumn<int>("bytes");      // sent per piece, 100 ms apart (0: a byte, with the program closing)
        QTest::addColumn<QString>("lines");  // the debug lines' end
        QTest::newRow("8 MiB of noise") << 4096 << " bytes, type 1";
        QTest::newRow("a byte now and then") << 1 << "(vq)no response within 2000 ms, type 1";
        // clang-format off
        QTest::newRow("the program closing") << 0 << "(vq)transfer stopped, the program is closing: \"/p\"|(vq)transfer stopped, the program is closing: \"/p\"|(vq)exchange stopped, the program is closing; type 1";
        // clang-format on
    }
    void noAnswer()
    {
        QFETCH(int, bytes);
        QFETCH(QString, lines);
        std::atomic<qint64> sent{0};
        CvqPtyPeer peer;
        QVERIFY(peer.start([&](const CvqPeerFrame&, CvqPtyPeer& p) {
            for (int i = 0; i < 2048 && p.send(QByteArray(qMax(bytes, 1), '\x19')); ++i) {
                sent += bytes;
                QThread::msleep(bytes > 1 ? 0 : 100);
            }
        }));
        CvqComLink link(peer.slavePath());
        QVERIFY(link.open());
        link.vqSetExchangeDeadlineMs(2000);
        CvqDebugCapture debug;
        if (bytes == 0) {
            vqQuitAll();
            // Stopped is failed: a cut transfer must not read as done.
            const bool got = link.vqLinkGet("/p", m.bytes, m.status, m.err);
            const bool put = link.vqLinkPut("/p", "x", m.status, m.err);
            QVERIFY(!got && !put);
        }
        CvqComMsg req(vqMsgTestLink), resp;
        QVERIFY(!link.vqExchange(req, 1, resp));
        const QString got = debug.lines().join('|');
        QVERIFY2(got.endsWith(lines) && got.count('|') == lines.count('|'), qPrintable(got));
        QVERIFY2(sent.load() < 2 * 1024 * 1024, qPrintable(QString::number(sent.load())));
    }
};

VQ_TEST_GUILESS_MAIN(TstComLink)
#include "tst_comlink.moc"
