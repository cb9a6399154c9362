// HTTP answers the printer emulator never sends, from a canned server on
// 127.0.0.1: the words amid white space or in capitals, and bodies beyond
// the bound, announced or without end.
#include "vqtestsupport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {
const int kBound = 64 * 1024;

// Answers every request with `body` under a Content-Length of `length`,
// closing when that was all, else trickling a byte every 20 ms; a negative
// length: a chunked body without end, 8 KiB every 10 ms. A zlib stream goes
// out as deflated, whatever the request asked for.
class CannedHttp : public QTcpServer
{
public:
    qint64 sent = 0;  // bytes written to clients

    CannedHttp(const QByteArray& body, int length)
    {
        connect(this, &QTcpServer::newConnection, this, [=] {
            QTcpSocket* s = nextPendingConnection();
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QTcpSocket::readyRead, s, [=] {
                s->setProperty("req", s->property("req").toByteArray() + s->readAll());
                if (!s->property("req").toByteArray().contains("\r\n\r\n"))
                    return;
                const QByteArray size =
                    length < 0 ? "Transfer-Encoding: chunked" : "Content-Length: " + QByteArray::number(length);
                const QByteArray coding = body.startsWith("\x78\x9c") ? "\r\nContent-Encoding: deflate" : "";
                sent += s->write("HTTP/1.1 200 OK\r\n" + size + coding + "\r\n\r\n" + body);
                if (length == body.size()) {
                    s->disconnectFromHost();
                    return;
                }
                auto* more = new QTimer(s);
                connect(more, &QTimer::timeout, s, [=] {
                    sent += s->write(length < 0 ? "2000\r\n" + QByteArray(0x2000, 'e') + "\r\n" : QByteArray("b"));
                });
                more->start(length < 0 ? 10 : 20);
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
        QTest::addColumn<QString>("op");  // has, del, exea or get
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("exists");

        const QByteArray atBound(kBound, 'b');
        const QByteArray bomb = qCompress(QByteArray(64 * kBound, 0)).mid(4);  // zlib stream, about 4 KiB
        QTest::newRow("has: yes amid white space") << "has" << QByteArray(" yes \r\n") << 7 << true << true;
        QTest::newRow("has: no amid white space") << "has" << QByteArray("\tno\n") << 4 << true << false;
        QTest::newRow("delete: ok amid white space") << "del" << QByteArray("\r\n ok \n") << 7 << true << false;
        QTest::newRow("get: a body at the bound") << "get" << atBound << kBound << true << false;
        QTest::newRow("get: a deflated body, held as sent") << "get" << bomb << int(bomb.size()) << true << false;
        QTest::newRow("has: YES in capitals") << "has" << QByteArray("YES") << 3 << false << false;
        QTest::newRow("along: OK in capitals") << "exea" << QByteArray("OK") << 2 << false << false;
        QTest::newRow("get: 1 GiB announced, a trickle sent") << "get" << QByteArray("b") << (1 << 30) << false << false;
        QTest::newRow("get: a body without end") << "get" << QByteArray() << -1 << false << false;
        // clang-format on
    }

    void answers()
    {
        QFETCH(QString, op);
        QFETCH(QByteArray, body);
        QFETCH(int, length);
        QFETCH(bool, ok);

        CannedHttp server(body, length);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        CvqCommOfHttp http(QStringLiteral("127.0.0.1:%1").arg(server.serverPort()));
        http.vqSetBodyLimit(kBound);
        CvqDebugCapture log;
        bool exists = false;
        QByteArray out;
        bool result = false;
        if (op == "has")
            result = http.vqHasFile("/x", exists);
        else if (op == "del")
            result = http.vqDelFile("/x");
        else if (op == "exea")
            result = http.vqExeAlong("x");
        else
            result = http.vqHttpGet("/vqget/x", 60, out);  // only a broken bound waits that long
        QCOMPARE(result, ok);
        QTEST(exists, "exists");
        QVERIFY(out == (op == "get" && ok ? body : QByteArray()));
        // The bound was seen, and seen early: the reply stopped long before 1 MiB.
        QCOMPARE(log.lines().size(), length < 0 || length > kBound ? 1 : 0);
        QVERIFY2(server.sent < 1024 * 1024, qPrintable(QString::number(server.sent)));
    }
};

VQ_TEST_GUILESS_MAIN(TstCommHttp)
#include "tst_commhttp.moc"
