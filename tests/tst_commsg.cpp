// The message record and its frame: golden bytes written from the frame
// layout by hand, body field reads on short and hostile bodies, and the frame
// reader's resynchronisation on arbitrary streams.
#include "vqtestsupport.h"

#include <QRandomGenerator>
#include <QtTest>

static QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

class TstComMsg : public QObject
{
    Q_OBJECT
private slots:
    void newMessage();
    void frame_data();
    void frame();
    void appendStr_data();
    void appendStr();
    void pattern();
    void responseBit();
    void reads_data();
    void reads();
    void readStr_data();
    void readStr();
    void debugText();
    void reader_data();
    void reader();
    void readerHostileStreams();
};

void TstComMsg::newMessage()
{
    CvqComMsg m;
    QCOMPARE(m.vqMainLen, 4u);
    QCOMPARE(m.vqBodyLen(), 0u);
    QCOMPARE(m.vqMsgHead, hex("19731019"));
    QCOMPARE(m.vqMsgTail, hex("19790402"));
    QCOMPARE(m.vqReadPos, 0);
    QVERIFY(m.vqMsgBody.isEmpty());
    QVERIFY(!m.vqIsResponse());
    QVERIFY(m.vqIsConsistent());
}

void TstComMsg::frame_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("fill");  // 0 none, 1 u32, 2 string, 3 bytes, 4 bulk
    QTest::addColumn<QByteArray>("expected");

    // head | mainLen LE | type ver id flags | body | tail
    QTest::newRow("empty request is 16 bytes")
        << 1 << 0 << 0 << hex("19731019" "04000000" "01000000" "19790402");
    QTest::newRow("id and type carried") << 14 << 0xAB << 0 << hex("19731019" "04000000" "0e00ab00" "19790402");
    QTest::newRow("u32 little-endian") << 10 << 1 << 1 << hex("19731019" "08000000" "0a000100" "44332211" "19790402");
    QTest::newRow("string with terminator") << 13 << 2 << 2 << hex("19731019" "08000000" "0d000200" "2f746d00" "19790402");
    QTest::newRow("raw bytes with zeros") << 11 << 3 << 3 << hex("19731019" "07000000" "0b000300" "001900" "19790402");
    QByteArray bulk = hex("19731019" "08040000" "c8000400" "00040000");
    for (int i = 0; i < 1024; ++i)
        bulk.append(char(i % 256));
    bulk.append(hex("19790402"));
    QTest::newRow("bulk test, 1024 pattern bytes") << 200 << 4 << 4 << bulk;
}

void TstComMsg::frame()
{
    QFETCH(int, type);
    QFETCH(int, id);
    QFETCH(int, fill);
    QFETCH(QByteArray, expected);

    CvqComMsg m{quint8(type)};
    m.vqMsgId = quint8(id);
    if (fill == 1)
        m.vqAppendU32(0x11223344u);
    if (fill == 2)
        m.vqAppendStr(QStringLiteral("/tm"));
    if (fill == 3)
        m.vqAppendBytes(hex("001900"));
    if (fill == 4) {
        m.vqAppendU32(1024);
        m.vqAppendPattern(1024);
    }
    QVERIFY(m.vqIsConsistent());
    const QByteArray f = m.vqFrame();
    QCOMPARE(f.size(), 12 + int(m.vqMainLen));
    QCOMPARE(f.toHex(), expected.toHex());

    QByteArray appended("xy");
    m.vqAppendFrame(appended);
    QCOMPARE(appended, QByteArray("xy") + expected);
}

void TstComMsg::appendStr_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << QString() << hex("00");
    QTest::newRow("ascii") << QStringLiteral("abc") << hex("61626300");
    QTest::newRow("two-byte letters") << QStringLiteral("é") << hex("c3a900");
    QTest::newRow("chinese") << QStringLiteral("扫描") << hex("e689abe68f8f00");
    QTest::newRow("outside the BMP") << QString::fromUtf8("\xf0\x9f\x96\xa8") << hex("f09f96a800");
}

void TstComMsg::appendStr()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    CvqComMsg m(10);
    m.vqAppendU32(7);
    m.vqAppendStr(text);
    QCOMPARE(m.vqMainLen, quint32(4 + 4 + bytes.size()));
    QCOMPARE(m.vqMsgBody.mid(4), bytes);
    QVERIFY(m.vqIsConsistent());

    quint32 seven = 0;
    QString back;
    QVERIFY(m.vqReadU32(seven));
    QVERIFY(m.vqReadStr(back));
    QCOMPARE(seven, 7u);
    QCOMPARE(back, text);
    QCOMPARE(m.vqUnread(), 0);
}

void TstComMsg::pattern()
{
    CvqComMsg m;
    m.vqAppendPattern(600);
    QCOMPARE(m.vqMainLen, 604u);
    for (int i = 0; i < 600; ++i)
        QCOMPARE(quint8(m.vqMsgBody.at(i)), quint8(i % 256));
    m.vqAppendPattern(0);
    m.vqAppendPattern(-5);
    QCOMPARE(m.vqMainLen, 604u);
}

void TstComMsg::responseBit()
{
    CvqComMsg m;
    m.vqMsgFlags = 0xF0;
    m.vqSetResponse(true);
    QCOMPARE(int(m.vqMsgFlags), 0xF1);
    QVERIFY(m.vqIsResponse());
    m.vqSetResponse(false);
    QCOMPARE(int(m.vqMsgFlags), 0xF0);
    QVERIFY(!m.vqIsResponse());

    // A body that disagrees with the length is not a message to send.
    m.vqMsgBody = "abc";
    QVERIFY(!m.vqIsConsistent());
    m.vqMainLen = 7;
    QVERIFY(m.vqIsConsistent());
    m.vqMainLen = 2;
    m.vqMsgBody.clear();
    QVERIFY(!m.vqIsConsistent());
}

// op: "u8", "u32", "bytes:<n>"; a failing read leaves cursor and output untouched.
void TstComMsg::reads_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("op");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("value");  // little-endian bytes of the result
    QTest::addColumn<int>("cursor");

    QTest::newRow("u8") << hex("7f") << 0 << "u8" << true << hex("7f") << 1;
    QTest::newRow("u32") << hex("01020304") << 0 << "u32" << true << hex("01020304") << 4;
    QTest::newRow("u32 at an offset") << hex("aa01020304") << 1 << "u32" << true << hex("01020304") << 5;
    QTest::newRow("bytes exactly the rest") << hex("aabbcc") << 1 << "bytes:2" << true << hex("bbcc") << 3;
    QTest::newRow("zero bytes at the end") << hex("aa") << 1 << "bytes:0" << true << QByteArray() << 1;
    QTest::newRow("u8 on an empty body") << QByteArray() << 0 << "u8" << false << QByteArray() << 0;
    QTest::newRow("u32 with 3 bytes left") << hex("aa010203") << 1 << "u32" << false << QByteArray() << 1;
    QTest::newRow("u32 on 0 bytes") << hex("01020304") << 4 << "u32" << false << QByteArray() << 4;
    QTest::newRow("bytes one too many") << hex("aabbcc") << 1 << "bytes:3" << false << QByteArray() << 1;
    QTest::newRow("count 0xFFFFFFFF") << hex("aabbcc") << 0 << "bytes:4294967295" << false << QByteArray() << 0;
    QTest::newRow("count 0x80000000") << hex("aabbcc") << 0 << "bytes:2147483648" << false << QByteArray() << 0;
}

void TstComMsg::reads()
{
    QFETCH(QByteArray, body);
    QFETCH(int, start);
    QFETCH(QString, op);
    QFETCH(bool, ok);
    QFETCH(QByteArray, value);
    QFETCH(int, cursor);

    CvqComMsg m;
    m.vqAppendBytes(body);
    m.vqReadPos = start;
    QByteArray got("keep");
    bool result = false;
    if (op == "u8") {
        quint8 v = 0x5a;
        result = m.vqReadU8(v);
        got = result ? QByteArray(1, char(v)) : (v == 0x5a ? QByteArray("keep") : QByteArray("changed"));
    } else if (op == "u32") {
        quint32 v = 0xdeadbeef;
        result = m.vqReadU32(v);
        if (result) {
            got.clear();
            for (int i = 0; i < 4; ++i)
                got.append(char((v >> (8 * i)) & 0xFF));
        } else if (v != 0xdeadbeef) {
            got = "changed";
        }
    } else {
        const quint32 n = op.mid(6).toUInt();
        QByteArray out("pre");
        result = m.vqReadBytes(n, out);
        got = result ? out.mid(3) : (out == "pre" ? QByteArray("keep") : QByteArray("changed"));
    }
    QCOMPARE(result, ok);
    QCOMPARE(got, ok ? value : QByteArray("keep"));
    QCOMPARE(m.vqReadPos, cursor);
}

void TstComMsg::readStr_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursor");

    QTest::newRow("plain") << QByteArray("abc\0rest", 8) << true << "abc" << 4;
    QTest::newRow("0 at the cursor is empty") << QByteArray("\0x", 2) << true << QString() << 1;
    QTest::newRow("utf-8") << hex("e689abe68f8f00") << true << QStringLiteral("扫描") << 7;
    QTest::newRow("1023 bytes and terminator") << QByteArray(1023, 'a') + QByteArray(1, '\0') << true
                                               << QString(1023, QLatin1Char('a')) << 1024;
    QTest::newRow("bad utf-8 still ends") << QByteArray("\xff\xfe\0", 3) << true << QString::fromUtf8("\xff\xfe")
                                          << 3;
    QTest::newRow("1024 bytes before terminator") << QByteArray(1024, 'a') + QByteArray(1, '\0') << false
                                                  << QString() << 0;
    QTest::newRow("no terminator") << QByteArray("abc") << false << QString() << 0;
    QTest::newRow("empty body") << QByteArray() << false << QString() << 0;
    QTest::newRow("long body, no terminator") << QByteArray(4092, 'b') << false << QString() << 0;
}

void TstComMsg::readStr()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    QFETCH(QString, text);
    QFETCH(int, cursor);

    CvqComMsg m;
    m.vqAppendBytes(body);
    QString out = QStringLiteral("untouched");
    QCOMPARE(m.vqReadStr(out), ok);
    QCOMPARE(out, ok ? text : QStringLiteral("untouched"));
    QCOMPARE(m.vqReadPos, cursor);
}

void TstComMsg::debugText()
{
    CvqComMsg m(14);
    m.vqMsgId = 7;
    m.vqSetResponse(true);
    m.vqAppendStr(QStringLiteral("/a"));
    QString text;
    QDebug(&text).nospace() << m;
    QCOMPARE(text, QStringLiteral("CvqComMsg(vqMainLen=7,vqMsgType=14,vqMsgTypeVer=0,vqMsgId=7,vqMsgFlags=1,"
                                  "vqMsgBody=\"/a\\x00\",)"));
}

// A stream fed in pieces must give exactly the well-formed frames in it.
void TstComMsg::reader_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("piece");
    QTest::addColumn<QList<int>>("ids");  // ids of the frames expected, in order

    const QByteArray a = hex("19731019" "06000000" "01000100" "aabb" "19790402");
    const QByteArray b = hex("19731019" "04000000" "01000201" "19790402");
    const QByteArray oversized = hex("19731019" "01100000" "01000300");  // 4097
    const QByteArray tooShort = hex("19731019" "03000000" "01000400" "19790402");
    const QByteArray badTail = hex("19731019" "04000000" "01000501" "19790403");
    // A valid frame hidden in the body of one whose tail is wrong.
    const QByteArray nested = hex("19731019" "18000000" "01000600") + b + hex("0000000019790499");

    QTest::newRow("one frame") << a << 0 << QList<int>{1};
    QTest::newRow("one frame, 1-byte pieces") << a << 1 << QList<int>{1};
    QTest::newRow("two frames in one piece") << a + b << 0 << QList<int>{1, 2};
    QTest::newRow("noise before, 3-byte pieces") << QByteArray("noise\x19\x73 noise") + a << 3 << QList<int>{1};
    QTest::newRow("head split 2+rest") << a << 2 << QList<int>{1};
    QTest::newRow("oversized length then frame") << oversized + QByteArray(40, 'x') + b << 0 << QList<int>{2};
    QTest::newRow("length below 4 then frame") << tooShort + b << 0 << QList<int>{2};
    QTest::newRow("bad tail then frame") << badTail + a << 0 << QList<int>{1};
    QTest::newRow("frame inside a broken one") << nested << 0 << QList<int>{2};
    QTest::newRow("double head") << hex("19731019") + a << 5 << QList<int>{1};
    QTest::newRow("truncated frame") << a.left(a.size() - 1) << 0 << QList<int>{};
    QTest::newRow("only noise") << QByteArray(5000, '\x19') << 7 << QList<int>{};
}

void TstComMsg::reader()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, piece);
    QFETCH(QList<int>, ids);

    CvqComFrameReader r;
    QList<int> got;
    const int step = piece > 0 ? piece : stream.size();
    for (int at = 0; at < stream.size(); at += step) {
        r.vqFeed(stream.mid(at, step));
        CvqComMsg m;
        while (r.vqNext(m)) {
            got << m.vqMsgId;
            QCOMPARE(m.vqMsgBody.size(), int(m.vqMainLen) - 4);
            QCOMPARE(m.vqReadPos, 0);
        }
        QVERIFY(r.vqBuffered() <= 4108 + step);
    }
    QCOMPARE(got, ids);
}

// Random streams with frames, false heads and huge lengths: never a crash, a
// read past the buffer (ASan builds) or unbounded buffering.
void TstComMsg::readerHostileStreams()
{
    QRandomGenerator rng(1234);
    const QByteArray head = hex("19731019");
    const QByteArray tail = hex("19790402");
    for (int round = 0; round < 200; ++round) {
        QByteArray s;
        int expected = 0;
        while (s.size() < 20000) {
            switch (rng.bounded(5)) {
            case 0: {  // a valid frame
                const int n = int(rng.bounded(64));
                QByteArray body(n, 'q');
                QByteArray len(4, 0);
                qToLittleEndian<quint32>(quint32(4 + n), len.data());
                s += head + len + hex("01000000") + body + tail;
                ++expected;
                break;
            }
            case 1: {  // a head with any length at all, then noise without heads
                QByteArray len(4, 0);
                qToLittleEndian<quint32>(rng.generate(), len.data());
                s += head + len + QByteArray(int(rng.bounded(100)), 'n');
                break;
            }
            case 2:
                s += head;
                break;
            default:
                s += QByteArray(int(rng.bounded(50)), char(rng.bounded(2) ? 0x19 : 0x73));
            }
        }
        CvqComFrameReader r;
        int found = 0;
        for (int at = 0; at < s.size();) {
            const int step = 1 + int(rng.bounded(600));
            r.vqFeed(s.constData() + at, qMin(step, s.size() - at));
            at += step;
            CvqComMsg m;
            while (r.vqNext(m)) {
                QVERIFY(m.vqMainLen >= 4 && m.vqMainLen <= 4096);
                QCOMPARE(m.vqMsgBody.size(), int(m.vqMainLen) - 4);
                ++found;
            }
            QVERIFY(r.vqBuffered() <= 4108 + step);
        }
        // Noise may by chance complete a frame, but none of the real ones is lost.
        QVERIFY2(found >= expected - 1, qPrintable(QStringLiteral("%1 of %2").arg(found).arg(expected)));
    }
}

QTEST_GUILESS_MAIN(TstComMsg)
#include "tst_commsg.moc"
