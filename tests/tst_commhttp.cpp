// The HTTP implementation against an in-process server on 127.0.0.1: answer
// rules, command encoding, the time-out abort and the body bound.
#include "vqtestsupport.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {
// Answers every request with one canned reply, or not at all, or without end.
class MiniHttp : public QObject
{
    Q_OBJECT
public:
    enum Mode { Reply, Silent, Endless };
    Mode mode = Reply;
    QByteArray reply;          // the whole answer, status line included
    QStringList targets;       // request targets, in order
    int disconnects = 0;

    bool listen() { return mServer.listen(QHostAddress::LocalHost, 0); }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(mServer.serverPort()); }

    void answer(int code, const QByteArray& body)
    {
        reply = "HTTP/1.1 " + QByteArray::number(code) + " X\r\nContent-Length: " + QByteArray::number(body.size())
                + "\r\nConnection: close\r\n\r\n" + body;
    }

    MiniHttp()
    {
        connect(&mServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = mServer.nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    ++disconnects;
                    s->deleteLater();
                });
                connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
            }
        });
    }

private:
    void serve(QTcpSocket* s)
    {
        QByteArray& buf = mPending[s];
        buf += s->readAll();
        if (!buf.contains("\r\n\r\n"))
            return;
        targets << QString::fromLatin1(buf.split(' ').value(1));
        buf.clear();
        if (mode == Reply) {
            s->write(reply);
            s->disconnectFromHost();
        } else if (mode == Endless) {
            s->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            auto* t = new QTimer(s);
            connect(t, &QTimer::timeout, s, [s] {
                if (s->bytesToWrite() < 256 * 1024)
                    s->write("4000\r\n" + QByteArray(0x4000, 'e') + "\r\n");
            });
            t->start(0);
        }
    }

    QTcpServer mServer;
    QMap<QTcpSocket*, QByteArray> mPending;
};
}  // namespace

class TstCommHttp : public QObject
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
    void hasFile_data();
    void hasFile();
    void delAndExeAlong_data();
    void delAndExeAlong();
    void exeEncoding_data();
    void exeEncoding();
    void getFile_data();
    void getFile();
    void timeoutAborts();
    void oversizedBody_data();
    void oversizedBody();
    void noProxy();
    void refusedConnection();
    void fromWorkerThread();
};

void TstCommHttp::hasFile_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("exists");

    QTest::newRow("yes") << 200 << QByteArray("yes") << true << true;
    QTest::newRow("yes with spaces and a line break") << 200 << QByteArray("  yes \r\n") << true << true;
    QTest::newRow("yes, then a 0 byte and junk") << 200 << QByteArray("yes\0junk", 8) << true << true;
    QTest::newRow("no") << 200 << QByteArray("no") << true << false;
    QTest::newRow("no with a tab") << 200 << QByteArray("\tno\n") << true << false;
    QTest::newRow("YES in capitals") << 200 << QByteArray("YES") << false << false;
    QTest::newRow("Yes") << 200 << QByteArray("Yes") << false << false;
    QTest::newRow("empty") << 200 << QByteArray() << false << false;
    QTest::newRow("something else") << 200 << QByteArray("maybe") << false << false;
    QTest::newRow("yes with a 404") << 404 << QByteArray("yes") << false << false;
    QTest::newRow("yes with a 500") << 500 << QByteArray("yes") << false << false;
}

void TstCommHttp::hasFile()
{
    QFETCH(int, code);
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    QFETCH(bool, exists);

    MiniHttp server;
    QVERIFY(server.listen());
    server.answer(code, body);
    CvqCommOfHttp http(server.host());
    bool answer = !exists;
    QCOMPARE(http.vqHasFile("/tmp/vqonekeyprint.req.txt", answer), ok);
    QCOMPARE(answer, exists);
    QCOMPARE(server.targets, QStringList{"/vqhas/tmp/vqonekeyprint.req.txt"});
}

void TstCommHttp::delAndExeAlong_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("ok");

    QTest::newRow("ok") << QByteArray("ok") << true;
    QTest::newRow("ok with white space") << QByteArray("\r\n ok \n") << true;
    QTest::newRow("OK in capitals") << QByteArray("OK") << false;
    QTest::newRow("okay") << QByteArray("okay") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TstCommHttp::delAndExeAlong()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);

    MiniHttp server;
    QVERIFY(server.listen());
    server.answer(200, body);
    CvqCommOfHttp http(server.host());
    QCOMPARE(http.vqDelFile("/tmp/a b"), ok);
    QCOMPARE(http.vqExeAlong("/usr/local/bin/vqlcd.exe vqdoscanMain run x=1"), ok);
    QCOMPARE(server.targets.value(0), QStringLiteral("/vqrm/tmp/a%20b"));
    QCOMPARE(server.targets.value(1), QStringLiteral("/vqexea/usr/local/bin/vqlcd.exe?vqdoscanMain&run&x=1"));
}

void TstCommHttp::exeEncoding_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("target");

    QTest::newRow("arguments become the query") << "ls -l /tmp" << "/ls?-l&/tmp" << "/vqexe/ls?-l&/tmp";
    QTest::newRow("absolute program") << "/usr/local/bin/vqm.out o" << "/usr/local/bin/vqm.out?o"
                                      << "/vqexe/usr/local/bin/vqm.out?o";
    QTest::newRow("no space, no query") << "reboot" << "/reboot" << "/vqexe/reboot";
    QTest::newRow("two spaces in a row") << "a  b" << "/a?&b" << "/vqexe/a?&b";
    QTest::newRow("empty command") << "" << "" << "";
}

void TstCommHttp::exeEncoding()
{
    QFETCH(QString, command);
    QFETCH(QString, encoded);
    QFETCH(QString, target);

    QCOMPARE(CvqCommOfHttp::vqEncodeCommand(command), encoded);

    MiniHttp server;
    QVERIFY(server.listen());
    server.answer(200, "  line1\nline2\n\n");
    CvqCommOfHttp http(server.host());
    QString out = QStringLiteral("old");
    QCOMPARE(http.vqExe(command, out, 5), !target.isEmpty());
    QCOMPARE(out, target.isEmpty() ? QString() : QStringLiteral("line1\nline2"));
    QCOMPARE(server.targets, target.isEmpty() ? QStringList() : QStringList{target});
}

void TstCommHttp::getFile_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("ok");

    QTest::newRow("binary, zeros and spaces kept") << 200 << QByteArray(" \0\x89PNG\0 ", 8) << true;
    QTest::newRow("empty file") << 200 << QByteArray() << true;
    QTest::newRow("not found") << 404 << QByteArray("gone") << false;
    QTest::newRow("redirect is no answer") << 302 << QByteArray("elsewhere") << false;
}

void TstCommHttp::getFile()
{
    QFETCH(int, code);
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);

    MiniHttp server;
    QVERIFY(server.listen());
    server.answer(code, body);
    CvqCommOfHttp http(server.host());
    QByteArray out("stale");
    QCOMPARE(http.vqGetFile("/tmp/vqstdscans/pic_0001.jpg", out), ok);
    QCOMPARE(out, ok ? body : QByteArray());
    QCOMPARE(server.targets, QStringList{"/vqget/tmp/vqstdscans/pic_0001.jpg"});
}

void TstCommHttp::timeoutAborts()
{
    MiniHttp server;
    QVERIFY(server.listen());
    server.mode = MiniHttp::Silent;
    CvqCommOfHttp http(server.host());
    QString out = QStringLiteral("old");
    QVERIFY(!http.vqExe("sleep 100", out, 1));
    QVERIFY(out.isEmpty());
    // The abort closed the connection.
    QTRY_COMPARE_WITH_TIMEOUT(server.disconnects, 1, 10000);
}

void TstCommHttp::oversizedBody_data()
{
    QTest::addColumn<bool>("endless");
    QTest::newRow("announced larger than the bound") << false;
    QTest::newRow("chunked body without end") << true;
}

void TstCommHttp::oversizedBody()
{
    QFETCH(bool, endless);

    MiniHttp server;
    QVERIFY(server.listen());
    if (endless)
        server.mode = MiniHttp::Endless;
    else
        server.answer(200, QByteArray(300 * 1024, 'b'));
    CvqCommOfHttp http(server.host());
    http.vqSetBodyLimit(64 * 1024);
    CvqDebugCapture capture;
    QByteArray out("stale");
    // A generous time-out: the bound, not the clock, must end the request.
    QVERIFY(!http.vqHttpGet("/vqget/big", 120, out));
    QVERIFY(out.isEmpty());
    QVERIFY(!capture.lines().isEmpty());

    // Within the bound the same answer is fine.
    if (!endless) {
        http.vqSetBodyLimit(300 * 1024);
        QVERIFY(http.vqGetFile("/big", out));
        QCOMPARE(out.size(), 300 * 1024);
    }
}

// A proxy set for the application must not be used for the printer.
void TstCommHttp::noProxy()
{
    MiniHttp server;
    QVERIFY(server.listen());
    server.answer(200, "yes");
    QTcpServer deadProxy;
    QVERIFY(deadProxy.listen(QHostAddress::LocalHost, 0));
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", deadProxy.serverPort()));
    CvqCommOfHttp http(server.host());
    bool exists = false;
    const bool ok = http.vqHasFile("/x", exists);
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    QVERIFY(ok);
    QVERIFY(exists);
    QVERIFY(!deadProxy.hasPendingConnections());
}

void TstCommHttp::refusedConnection()
{
    quint16 port = 0;
    {
        QTcpServer s;
        QVERIFY(s.listen(QHostAddress::LocalHost, 0));
        port = s.serverPort();
    }
    CvqCommOfHttp http(QStringLiteral("127.0.0.1:%1").arg(port));
    bool exists = true;
    QVERIFY(!http.vqHasFile("/x", exists));
    QVERIFY(!exists);
    QByteArray out("x");
    QVERIFY(!http.vqGetFile("/x", out));
    QVERIFY(out.isEmpty());
}

// Worker threads have no event loop of their own: the request brings one.
void TstCommHttp::fromWorkerThread()
{
    MiniHttp server;
    QVERIFY(server.listen());
    server.answer(200, "yes\n");
    const QString host = server.host();
    std::atomic<int> result{-1};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        CvqCommOfHttp http(host);
        bool exists = false;
        result = http.vqHasFile("/tmp/x", exists) && exists ? 1 : 0;
    }));
    worker->start();
    QTRY_VERIFY_WITH_TIMEOUT(result.load() != -1, 30000);  // the server lives on this thread
    QVERIFY(worker->wait(30000));
    QCOMPARE(result.load(), 1);
}

QTEST_GUILESS_MAIN(TstCommHttp)
#include "tst_commhttp.moc"
