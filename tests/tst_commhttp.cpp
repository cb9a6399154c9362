// HTTP answers the printer emulator never sends, from a canned server on
// 127.0.0.1: the words amid white space or in capitals, statuses at the edge
// of success, replies cut short, late or never sent, and bodies beyond the
// bound, announced or without end.
#include "vqtestsupport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

namespace {
const int kBound = 64 * 1024;

// Answers every request with `body` and the given status, then per `ending`:
// "close", "cut" (closes short of the announced length), "trickle" (1 GiB
// announced, a byte sent every 20 ms), "endless" (chunked, 8 KiB chunks every
// 10 ms), "late" (all of it after 300 ms) or "silent" (nothing at all). A zlib stream goes out as deflated, whatever
// the request asked for.
class CannedHttp : public QTcpServer
{
public:
    qint64 sent = 0;  // bytes written to clients
    int requests = 0;

    CannedHttp(int status, const QByteArray& body, const QString& ending)
    {
        connect(this, &QTcpServer::newConnection, this, [=] {
            QTcpSocket* s = nextPendingConnection();
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QTcpSocket::readyRead, s, [=] {
                s->setProperty("req", s->property("req").toByteArray() + s->readAll());
                if (!s->property("req").toByteArray().contains("\r\n\r\n") || (++requests, ending == "silent"))
                    return;
                const qint64 length = ending == "cut" ? body.size() + 7 : ending == "trickle" ? 1 << 30 : body.size();
                const QByteArray size = ending == "endless" ? QByteArray("Transfer-Encoding: chunked")
                                                            : "Content-Length: " + QByteArray::number(length);
                const QByteArray coding = body.startsWith("\x78\x9c") ? "\r\nContent-Encoding: deflate" : "";
                const QByteArray all =
                    "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + size + coding + "\r\n\r\n" + body;
                if (ending == "close" || ending == "cut" || ending == "late") {
                    QTimer::singleShot(ending == "late" ? 300 : 0, s, [=] {
                        sent += s->write(all);
                        s->disconnectFromHost();
                    });
                    return;
                }
                sent += s->write(all);
                const bool endless = ending == "endless";
                auto* more = new QTimer(s);
                connect(more, &QTimer::timeout, s, [=] {
                    sent += s->write(endless ? "2000\r\n" + QByteArray(0x2000, 'e') + "\r\n" : QByteArray("b"));
                });
                more->start(endless ? 10 : 20);
            });
        });
    }
};
}  // namespace

class TstCommHttp : public QObject
{
    Q_OBJECT
private slots:
    void answers_data()
    {
        QTest::addColumn<QString>("op");  // has, delretry, exe, exea or get
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QByteArray>("expected");  // ok or failed, then has: yes or no; get: the body; exe: the text
        const QByteArray atBound(kBound, 'b');
        const QByteArray bomb = qCompress(QByteArray(64 * kBound, 0)).mid(4);  // zlib stream, about 4 KiB
        // clang-format off
        QTest::newRow("has: yes amid white space") << "has" << 200 << QByteArray(" yes \r\n") << "close" << QByteArray("ok yes");
        QTest::newRow("has: no amid white space") << "has" << 200 << QByteArray("\tno\n") << "close" << QByteArray("ok no");
        QTest::newRow("has: status 299") << "has" << 299 << QByteArray("yes") << "close" << QByteArray("ok yes");
        QTest::newRow("exe: text up to its 0, trimmed") << "exe" << 200 << QByteArray(" out\n\0rest", 10) << "close" << QByteArray("ok out");
        QTest::newRow("exe: a late answer within the time-out") << "exe" << 200 << QByteArray("hi") << "late" << QByteArray("ok hi");
        QTest::newRow("get: a body at the bound") << "get" << 200 << atBound << "close" << "ok " + atBound;
        QTest::newRow("get: a deflated body, held as sent") << "get" << 200 << bomb << "close" << "ok " + bomb;
        QTest::newRow("has: YES in capitals") << "has" << 200 << QByteArray("YES") << "close" << QByteArray("failed no");
        QTest::newRow("delete refused, tried three times") << "delretry" << 200 << QByteArray("no") << "close" << QByteArray("failed ");
        QTest::newRow("along: OK in capitals") << "exea" << 200 << QByteArray("OK") << "close" << QByteArray("failed ");
        QTest::newRow("has: status 300") << "has" << 300 << QByteArray("yes") << "close" << QByteArray("failed no");
        QTest::newRow("get: cut short") << "get" << 200 << QByteArray("abc") << "cut" << QByteArray("failed ");
        QTest::newRow("exe: no answer within the time-out") << "exe" << 200 << QByteArray() << "silent" << QByteArray("failed ");
        QTest::newRow("get: 1 GiB announced, a trickle sent") << "get" << 200 << QByteArray("b") << "trickle" << QByteArray("failed ");
        QTest::newRow("get: a body without end") << "get" << 200 << QByteArray() << "endless" << QByteArray("failed ");
        // clang-format on
    }
    void answers()
    {
        QFETCH(QString, op);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, ending);
        CannedHttp server(status, body, ending);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        CvqCommOfHttp http(QStringLiteral("127.0.0.1:%1").arg(server.serverPort()));
        http.vqSetBodyLimit(kBound);
        CvqDebugCapture log;
        bool exists = false;
        QByteArray out("stale");
        QString text("stale");
        const bool ok = op == "has" ? http.vqHasFile("/x", exists)
            : op == "exea"          ? http.vqExeAlong("x")
            : op == "delretry"      ? http.vqDelFileRetry("/x")
            : op == "exe"           ? http.vqExe("x", text, 1)
                                    : http.vqHttpGet("/vqget/x", 60, out);  // only a broken bound waits that long
        if (op != "get")
            out = op == "has" ? QByteArray(exists ? "yes" : "no") : op == "exe" ? text.toUtf8() : QByteArray();
        QTEST((ok ? "ok " : "failed ") + out, "expected");
        QCOMPARE(server.requests, op == "delretry" ? 3 : 1);
        // The bound was seen, and seen early: the reply stopped long before 1 MiB.
        QCOMPARE(log.lines().size(), ending == "trickle" || ending == "endless" ? 1 : 0);
        QVERIFY2(server.sent < 1024 * 1024, qPrintable(QString::number(server.sent)));
    }
};

VQ_TEST_GUILESS_MAIN(TstCommHttp)
#include "tst_commhttp.moc"
