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

// Answers every request with `body` under a Content-Length of `length` (a
// negative one: chunked) and the given status, then per `ending`: "close",
// "cut" (closes before the announced length), "trickle" (a byte every 20 ms),
// "endless" (8 KiB chunks every 10 ms), "late" (all of it after 300 ms) or
// "silent" (nothing at all). A zlib stream goes out as deflated, whatever the
// request asked for.
class CannedHttp : public QTcpServer
{
public:
    qint64 sent = 0;  // bytes written to clients
    int requests = 0;

    CannedHttp(int status, const QByteArray& body, int length, const QString& ending)
    {
        connect(this, &QTcpServer::newConnection, this, [=] {
            QTcpSocket* s = nextPendingConnection();
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QTcpSocket::readyRead, s, [=] {
                s->setProperty("req", s->property("req").toByteArray() + s->readAll());
                if (!s->property("req").toByteArray().contains("\r\n\r\n"))
                    return;
                ++requests;
                if (ending == "silent")
                    return;
                const QByteArray size =
                    length < 0 ? "Transfer-Encoding: chunked" : "Content-Length: " + QByteArray::number(length);
                const QByteArray coding = body.startsWith("\x78\x9c") ? "\r\nContent-Encoding: deflate" : "";
                const QByteArray all =
                    "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + size + coding + "\r\n\r\n" + body;
                if (ending == "late") {
                    QTimer::singleShot(300, s, [=] {
                        sent += s->write(all);
                        s->disconnectFromHost();
                    });
                    return;
                }
                sent += s->write(all);
                if (ending == "close" || ending == "cut") {
                    s->disconnectFromHost();
                    return;
                }
                auto* more = new QTimer(s);
                connect(more, &QTimer::timeout, s, [=] {
                    sent +=
                        s->write(ending == "endless" ? "2000\r\n" + QByteArray(0x2000, 'e') + "\r\n" : QByteArray("b"));
                });
                more->start(ending == "endless" ? 10 : 20);
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
        // clang-format off
        QTest::addColumn<QString>("op");  // has, delretry, exe, exea or get
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("output");  // has: yes or no; get: the body; exe: the text

        const QByteArray atBound(kBound, 'b');
        const QByteArray bomb = qCompress(QByteArray(64 * kBound, 0)).mid(4);  // zlib stream, about 4 KiB
        QTest::newRow("has: yes amid white space") << "has" << 200 << QByteArray(" yes \r\n") << 7 << "close" << true
                                                   << QByteArray("yes");
        QTest::newRow("has: no amid white space") << "has" << 200 << QByteArray("\tno\n") << 4 << "close" << true
                                                  << QByteArray("no");
        QTest::newRow("has: status 299") << "has" << 299 << QByteArray("yes") << 3 << "close" << true
                                         << QByteArray("yes");
        QTest::newRow("exe: text up to its 0, trimmed") << "exe" << 200 << QByteArray(" out\n\0rest", 10) << 10
                                                        << "close" << true << QByteArray("out");
        QTest::newRow("exe: a late answer within the time-out") << "exe" << 200 << QByteArray("hi") << 2 << "late"
                                                                << true << QByteArray("hi");
        QTest::newRow("get: a body at the bound") << "get" << 200 << atBound << kBound << "close" << true << atBound;
        QTest::newRow("get: a deflated body, held as sent") << "get" << 200 << bomb << int(bomb.size()) << "close"
                                                            << true << bomb;

        QTest::newRow("has: YES in capitals") << "has" << 200 << QByteArray("YES") << 3 << "close" << false
                                              << QByteArray();
        QTest::newRow("delete refused, tried three times") << "delretry" << 200 << QByteArray("no") << 2 << "close"
                                                           << false << QByteArray();
        QTest::newRow("along: OK in capitals") << "exea" << 200 << QByteArray("OK") << 2 << "close" << false
                                               << QByteArray();
        QTest::newRow("has: status 300") << "has" << 300 << QByteArray("yes") << 3 << "close" << false
                                         << QByteArray();
        QTest::newRow("get: cut short") << "get" << 200 << QByteArray("abc") << 10 << "cut" << false << QByteArray();
        QTest::newRow("exe: no answer within the time-out") << "exe" << 200 << QByteArray() << 0 << "silent" << false
                                                            << QByteArray();
        QTest::newRow("get: 1 GiB announced, a trickle sent") << "get" << 200 << QByteArray("b") << (1 << 30)
                                                              << "trickle" << false << QByteArray();
        QTest::newRow("get: a body without end") << "get" << 200 << QByteArray() << -1 << "endless" << false
                                                 << QByteArray();
        // clang-format on
    }

    void answers()
    {
        QFETCH(QString, op);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, length);
        QFETCH(QString, ending);

        CannedHttp server(status, body, length, ending);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        CvqCommOfHttp http(QStringLiteral("127.0.0.1:%1").arg(server.serverPort()));
        http.vqSetBodyLimit(kBound);
        CvqDebugCapture log;
        bool exists = false;
        QByteArray out("stale");
        QString text("stale");
        bool result = false;
        if (op == "has")
            result = http.vqHasFile("/x", exists);
        else if (op == "exea")
            result = http.vqExeAlong("x");
        else if (op == "delretry")
            result = http.vqDelFileRetry("/x");
        else if (op == "exe")
            result = http.vqExe("x", text, 1);
        else
            result = http.vqHttpGet("/vqget/x", 60, out);  // only a broken bound waits that long
        QTEST(result, "ok");
        if (op == "has")
            out = result ? QByteArray(exists ? "yes" : "no") : QByteArray();
        else if (op == "exe")
            out = text.toUtf8();
        else if (op != "get")
            out.clear();
        QTEST(out, "output");
        if (op == "delretry")
            QCOMPARE(server.requests, 3);
        // The bound was seen, and seen early: the reply stopped long before 1 MiB.
        QCOMPARE(log.lines().size(), length < 0 || length > kBound ? 1 : 0);
        QVERIFY2(server.sent < 1024 * 1024, qPrintable(QString::number(server.sent)));
    }
};

VQ_TEST_GUILESS_MAIN(TstCommHttp)
#include "tst_commhttp.moc"
