// The message record: frames against golden bytes written by hand from the
// frame layout, body field reads on bodies too short for them, and finding
// frames in a stream. HTTP answers the printer emulator never sends, from a
// canned server on 127.0.0.1: the words amid white space or in capitals,
// statuses at the edge of success, replies cut short, late or never sent, and
// bodies beyond the bound, announced or without end; requests that change the
// printer sent once when the connection closes unanswered, and what goes on the wire.
#include "printerlink/vqhttponce.h"
#include "vqtestsupport.h"

#include <QBuffer>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

namespace {
const int kBound = 64 * 1024;

// Answers every request with `body` and the given status, then per `ending`: "close", "cut" (closes
// short of the announced length), "trickle" (1 GiB announced, a byte sent every 20 ms), "endless"
// (chunked, 8 KiB chunks every 10 ms), "chunked" (body sent as given, chunks and all), "late" (all of it after 300 ms),
// "silent" (nothing within the hour) or "drop" (reads the request, closes without a word). A zlib stream goes out as
// deflated, whatever the request asked for. Each request is kept as it arrived, body and all.
class CannedHttp : public QTcpServer
{
public:
    qint64 sent = 0;  // bytes written to clients
    int requests = 0;
    QList<QByteArray> seen;

    CannedHttp(int status, const QByteArray& body, const QString& ending)
    {
        const bool endless = ending == "endless", stream = endless || ending == "trickle";
        const bool chunked = endless || ending == "chunked";
        const qint64 length = ending == "cut" ? body.size() + 7 : ending == "trickle" ? 1 << 30 : body.size();
        const QByteArray size =
            chunked ? QByteArray("Transfer-Encoding: chunked") : "Content-Length: " + QByteArray::number(length);
        const QByteArray coding = body.startsWith("\x78\x9c") ? "\r\nContent-Encoding: deflate" : "";
        const QByteArray all = "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + size + coding + "\r\n\r\n" + body;
        const int delay = ending == "late" ? 300 : ending == "silent" ? 3600 * 1000 : 0;  // silent: none within a test
        const QByteArray more = endless ? "2000\r\n" + QByteArray(0x2000, 'e') + "\r\n" : QByteArray("b");
        connect(this, &QTcpServer::newConnection, this, [=] {
            QTcpSocket* s = nextPendingConnection();
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QTcpSocket::readyRead, s, [=] {
                const QByteArray req = s->property("req").toByteArray() + s->readAll();
                s->setProperty("req", req);
                const int head = req.indexOf("\r\n\r\n");
                const QRegularExpressionMatch m = QRegularExpression("Content-Length: (\\d+)").match(req.left(head));
                if (head < 0 || req.size() < head + 4 + m.captured(1).toInt() || s->property("done").toBool())
                    return;
                s->setProperty("done", true);
                ++requests;
                seen << req;
                if (ending == "drop")
                    return s->disconnectFromHost();
                QTimer::singleShot(delay, s, [=] {
                    sent += s->write(all);
                    if (!stream)
                        s->disconnectFromHost();
                });
                auto* tick = new QTimer(s);
                connect(tick, &QTimer::timeout, s, [=] { sent += s->write(more); });
                tick->start(stream ? (endless ? 10 : 20) : 3600 * 1000);  // more of a stream
            });
        });
    }
};
}  // namespace

static QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

class TstComm : public QObject
{
    Q_OBJECT
private slots:
    // head | vqMainLen | type, version, id, flags | body | tail
    void frame()
    {
        CvqComMsg m(vqMsgTestLink);
        QCOMPARE(m.vqFrame(), hex("19731019 04000000 01000000 19790402"));  // empty: 16 bytes
        m = CvqComMsg(vqMsgExe);
        m.vqMsgId = 255;
        m.vqAppendU32(0x11223344);  // least significant byte first
        m.vqAppendStr("/tm");       // ASCII and its 0
        m.vqAppendStr("扫描");      // UTF-8 and its 0
        QCOMPARE(m.vqFrame(), hex("19731019 13000000 0f00ff00 44332211 2f746d00 e689abe68f8f00 19790402"));
    }

    // Bytes in (in pieces of the given size, 0: at once) -> the ids of the frames found.
    void reader_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<QList<int>>("ids");
        const QByteArray f7 = hex("19731019 07000000 0e000700 2f7800 19790402");  // type 14, id 7, body "/x"
        QByteArray largest = hex("19731019 00100000 c8000900") + QByteArray(4092, 'b') + hex("19790402");
        QTest::newRow("one byte at a time") << f7 << 1 << QList<int>{7};
        QTest::newRow("two frames in one feed") << hex("19731019 07000000 0e000500 2f7800 19790402") + f7 << 0 << QList<int>{5, 7};
        QTest::newRow("responses too") << hex("19731019 07000000 0e000501 2f7800 19790402") << 0 << QList<int>{5};
        QTest::newRow("noise and a split head, in pieces") << QByteArray("xx\x19\x73", 4) + f7 << 3 << QList<int>{7};
        QTest::newRow("a head inside the body is data") << hex("19731019 0c000000 0e000400 19731019 00000000 19790402") << 0 << QList<int>{4};
        QTest::newRow("false head, length above the bound") << hex("19731019 01100000") + "abcdefgh" + f7 << 0 << QList<int>{7};
        QTest::newRow("false head, length below 4") << hex("19731019 03000000") + f7 << 0 << QList<int>{7};
        QTest::newRow("bad tail, then a frame") << hex("19731019 07000000 0e000800 2f7800 19790403") + f7 << 0 << QList<int>{7};
        QTest::newRow("largest frame") << largest << 0 << QList<int>{9};
        QTest::newRow("length one above the bound") << hex("19731019 01100000") + QByteArray(4097, 'z') << 0 << QList<int>{};
        QTest::newRow("frame cut short") << f7.left(f7.size() - 1) << 0 << QList<int>{};
        QTest::newRow("noise only") << QByteArray(40, '\x19') << 0 << QList<int>{};
        // clang-format on
    }

    void reader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, pieces);
        const int step = pieces > 0 ? pieces : bytes.size();
        CvqComFrameReader reader;
        QList<int> ids;
        for (int at = 0; at < bytes.size(); at += step) {
            reader.vqFeed(bytes.mid(at, step));
            for (CvqComMsg m; reader.vqNext(m);)
                ids << m.vqMsgId;
        }
        QTEST(ids, "ids");
        QVERIFY(reader.vqBuffered() <= 4108);  // never more held than one frame's worth
    }

    // A failed read leaves both the cursor and the output alone (a number
    // starts as 0x3f bytes, a string as "?", bytes as "?" and read ones go after it).
    void reads_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("op");  // u8, u32, str or bytes:N
        // ok, the u8, u32, string and bytes (numbers and bytes in hex), the cursor
        QTest::addColumn<QString>("expected");
        const QString s1023(1023, 's');
        // clang-format off
        QTest::newRow("string of 1023 bytes") << s1023.toLatin1() + '\0' << "str" << "1 3f 3f3f3f3f " + s1023 + " 3f 1024";
        QTest::newRow("u8 on an empty body") << QByteArray() << "u8" << "0 3f 3f3f3f3f ? 3f 0";
        QTest::newRow("u32 on 3 bytes") << hex("010203") << "u32" << "0 3f 3f3f3f3f ? 3f 0";
        QTest::newRow("bytes, one more than the body") << hex("aabbcc") << "bytes:4" << "0 3f 3f3f3f3f ? 3f 0";
        QTest::newRow("bytes, count 0xFFFFFFFF") << hex("aabbcc") << "bytes:4294967295" << "0 3f 3f3f3f3f ? 3f 0";
        QTest::newRow("bytes, all of the body") << hex("aabbcc") << "bytes:3" << "1 3f 3f3f3f3f ? 3faabbcc 3";
        QTest::newRow("string without its 0") << QByteArray("abc") << "str" << "0 3f 3f3f3f3f ? 3f 0";
        QTest::newRow("string of 1024 bytes") << QByteArray(1024, 's') + '\0' << "str" << "0 3f 3f3f3f3f ? 3f 0";
        // clang-format on
    }
    void reads()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, op);
        CvqComMsg m;
        m.vqAppendBytes(body);
        quint8 u8 = 0x3f;
        quint32 u32 = 0x3f3f3f3f;
        QString str = "?";
        QByteArray bytes = "?";
        const bool ok = op == "u8" ? m.vqReadU8(u8)
            : op == "u32"          ? m.vqReadU32(u32)
            : op == "str"          ? m.vqReadStr(str)
                                   : m.vqReadBytes(op.mid(6).toUInt(), bytes);
        QTEST(QString::asprintf("%d %x %x %s %s %d", ok, u8, u32, qPrintable(str), bytes.toHex().constData(),
                                m.vqReadPos),
              "expected");
    }

    void answers_data()
    {
        QTest::addColumn<QString>("op");  // has, delretry, exe, exea or get
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("ending");
        // Requests the server saw/debug lines (the bound seen), ok or failed, then has: yes or no; get: the body;
        // exe: the text.
        QTest::addColumn<QByteArray>("expected");
        const QByteArray atBound(kBound, 'b');
        const QByteArray bomb = qCompress(QByteArray(64 * kBound, 0)).mid(4);  // zlib stream, about 4 KiB
        // clang-format off
        QTest::newRow("has: yes amid white space") << "has" << 200 << QByteArray(" yes \r\n") << "close" << QByteArray("1/0 ok yes");
        QTest::newRow("has: no amid white space") << "has" << 200 << QByteArray("\tno\n") << "close" << QByteArray("1/0 ok no");
        QTest::newRow("has: status 299") << "has" << 299 << QByteArray("yes") << "close" << QByteArray("1/0 ok yes");
        QTest::newRow("exe: text up to its 0, trimmed") << "exe" << 200 << QByteArray(" out\n\0rest", 10) << "close" << QByteArray("1/0 ok out");
        QTest::newRow("exe: a late answer within the time-out") << "exe" << 200 << QByteArray("hi") << "late" << QByteArray("1/0 ok hi");
        QTest::newRow("get: a body at the bound") << "get" << 200 << atBound << "close" << "1/0 ok " + atBound;
        QTest::newRow("get: a deflated body, held as sent") << "get" << 200 << bomb << "close" << "1/0 ok " + bomb;
        QTest::newRow("has: YES in capitals") << "has" << 200 << QByteArray("YES") << "close" << QByteArray("1/0 failed no");
        QTest::newRow("delete refused, tried three times") << "delretry" << 200 << QByteArray("no") << "close" << QByteArray("3/0 failed ");
        QTest::newRow("along: OK in capitals") << "exea" << 200 << QByteArray("OK") << "close" << QByteArray("1/0 failed ");
        QTest::newRow("has: status 300") << "has" << 300 << QByteArray("yes") << "close" << QByteArray("1/0 failed no");
        QTest::newRow("get: cut short") << "get" << 200 << QByteArray("abc") << "cut" << QByteArray("1/0 failed ");
        QTest::newRow("exe: no answer within the time-out") << "exe" << 200 << QByteArray() << "silent" << QByteArray("1/0 failed ");
        QTest::newRow("get: 1 GiB announced, a trickle sent") << "get" << 200 << QByteArray("b") << "trickle" << QByteArray("1/1 failed ");
        QTest::newRow("get: a body without end") << "get" << 200 << QByteArray() << "endless" << QByteArray("1/1 failed ");
        // Closed before a word of answer: the printer may have acted; sent once, never again.
        QTest::newRow("delete closed unanswered") << "del" << 200 << QByteArray() << "drop" << QByteArray("1/1 failed ");
        QTest::newRow("command closed unanswered") << "exe" << 200 << QByteArray() << "drop" << QByteArray("1/1 failed ");
        QTest::newRow("along closed unanswered") << "exea" << 200 << QByteArray() << "drop" << QByteArray("1/1 failed ");
        QTest::newRow("exe: chunked answer") << "exe" << 200 << QByteArray("3\r\nab \r\n2;x=1\r\ncd\r\n0\r\n\r\n") << "chunked" << QByteArray("1/0 ok ab cd");
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
            : op == "del"           ? http.vqDelFile("/x")
            : op == "exea"          ? http.vqExeAlong("x")
            : op == "delretry"      ? http.vqDelFileRetry("/x")
            : op == "exe"           ? http.vqExe("x", text, 1)
                                    : http.vqHttpGet("/vqget/x", 60, out);  // only a broken bound waits that long
        if (op != "get")
            out = op == "has" ? QByteArray(exists ? "yes" : "no") : op == "exe" ? text.toUtf8() : QByteArray();
        const QByteArray seen = QByteArray::number(server.requests) + '/' + QByteArray::number(log.lines().size());
        QTEST(seen + (ok ? " ok " : " failed ") + out, "expected");
        // The bound was seen early: the reply stopped long before 1 MiB.
        QVERIFY2(server.sent < 1024 * 1024, qPrintable(QString::number(server.sent)));
    }

    // On the wire: the target of each operation, and byte for byte what Qt's manager sends for that
    // target (the reads still go through it; of the upload, its multipart framing, boundary aside).
    void wire_data()
    {
        QTest::addColumn<QString>("op");  // del, exe, exea, get or post
        QTest::addColumn<QString>("arg");
        QTest::addColumn<QString>("target");
        QTest::newRow("delete") << "del"
                                << "/tmp/a b"
                                << "/vqrm/tmp/a%20b";
        QTest::newRow("command") << "exe"
                                 << "ls -l /tmp"
                                 << "/vqexe/ls?-l&/tmp";
        QTest::newRow("along: # and % escaped") << "exea"
                                                << "echo a#b %41"
                                                << "/vqexea/echo?a%23b&%2541";
        QTest::newRow("get: # escaped") << "get"
                                        << "/tmp/x#1"
                                        << "/vqget/tmp/x%231";
        QTest::newRow("upload") << "post"
                                << "IMAGE"
                                << "/uprom";
    }
    void wire()
    {
        QFETCH(QString, op);
        QFETCH(QString, arg);
        QFETCH(QString, target);
        CannedHttp server(200, "ok", "close");
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const QString host = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
        const QUrl url("http://" + host + target);
        CvqCommOfHttp http(host);
        QString text;
        QByteArray bytes;
        if (op == "post") {
            QBuffer image;
            image.setData(arg.toUtf8());
            QVERIFY(image.open(QIODevice::ReadOnly));
            CvqHttpOnceRequest r;
            r.method = "POST";
            r.url = url;
            vqHttpFormFile(&r, "Content-Disposition: a\r\nContent-Type: b\r\n", &image);
            QVERIFY(vqHttpOnce(r).ok());
            QNetworkAccessManager nam;
            nam.setProxy(QNetworkProxy::NoProxy);
            auto* multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
            QHttpPart part;
            part.setRawHeader("Content-Disposition", "a");
            part.setRawHeader("Content-Type", "b");
            part.setBody(arg.toUtf8());
            multi->append(part);
            QNetworkRequest request(url);
            vqHttpIdentityOnly(&request);  // as every request of ours
            QNetworkReply* reply = nam.post(request, multi);
            multi->setParent(reply);
            QTRY_VERIFY(reply->isFinished());
            delete reply;
        } else {
            QVERIFY(op == "del"        ? http.vqDelFile(arg)
                        : op == "exe"  ? http.vqExe(arg, text, 5)
                        : op == "exea" ? http.vqExeAlong(arg)
                                       : http.vqGetFile(arg, bytes));
            QCOMPARE(vqHttpFetch(url, 5000, 100, bytes), CvqFetchResult::Ok);
        }
        QCOMPARE(server.seen.size(), 2);
        const QRegularExpression boundary("boundary_\\.oOo\\._[A-Za-z0-9+/=]+");
        const QByteArray ours = QString::fromLatin1(server.seen[0]).replace(boundary, "B").toLatin1();
        QCOMPARE(ours.left(ours.indexOf("\r\n")), (op == "post" ? "POST " : "GET ") + target.toLatin1() + " HTTP/1.1");
        QCOMPARE(ours, QString::fromLatin1(server.seen[1]).replace(boundary, "B").toLatin1());
    }
};

VQ_TEST_GUILESS_MAIN(TstComm)
#include "tst_comm.moc"
