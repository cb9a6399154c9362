// The message record: frames against golden bytes written by hand from the
// frame layout, and body field reads on bodies too short for them.
#include "vqtestsupport.h"

#include <QtEndian>
#include <QtTest>

static QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

class TstComMsg : public QObject
{
    Q_OBJECT
private slots:
    void frame_data()
    {
        // clang-format off
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("id");
        QTest::addColumn<qint64>("u32");    // appended first unless negative
        QTest::addColumn<QString>("text");  // then appended as a string unless null
        QTest::addColumn<QByteArray>("expected");

        // head | vqMainLen | type, version, id, flags | body | tail
        QTest::newRow("empty request, 16 bytes")
            << 1 << 0 << qint64(-1) << QString() << hex("19731019 04000000 01000000 19790402");
        QTest::newRow("u32 least significant byte first")
            << 10 << 0xAB << qint64(0x11223344) << QString() << hex("19731019 08000000 0a00ab00 44332211 19790402");
        QTest::newRow("ASCII string and its 0")
            << 14 << 1 << qint64(-1) << QStringLiteral("/tm") << hex("19731019 08000000 0e000100 2f746d00 19790402");
        QTest::newRow("non-ASCII string: UTF-8 length + 1")
            << 15 << 255 << qint64(7) << QStringLiteral("扫描")
            << hex("19731019 0f000000 0f00ff00 07000000 e689abe68f8f00 19790402");
        // clang-format on
    }

    void frame()
    {
        QFETCH(int, type);
        QFETCH(int, id);
        QFETCH(qint64, u32);
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);

        CvqComMsg m{quint8(type)};
        m.vqMsgId = quint8(id);
        if (u32 >= 0)
            m.vqAppendU32(quint32(u32));
        if (!text.isNull())
            m.vqAppendStr(text);
        QCOMPARE(m.vqFrame().toHex(' '), expected.toHex(' '));
        QCOMPARE(m.vqMsgHead + m.vqMsgTail, expected.left(4) + expected.right(4));
        QVERIFY(m.vqIsConsistent());
    }

    // A failed read leaves both the cursor and the output alone (the output
    // starts as '?' bytes).
    void reads_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("op");        // u8, u32, str or bytes:N
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("value");  // raw bytes; a u32 little-endian; a string as UTF-8

        const QByteArray str1023 = QByteArray(1023, 's') + '\0';
        QTest::newRow("u8") << hex("7f") << "u8" << true << hex("7f");
        QTest::newRow("u32") << hex("01020304 aa") << "u32" << true << hex("01020304");
        QTest::newRow("string up to its 0") << QByteArray("abc\0rest", 8) << "str" << true << QByteArray("abc");
        QTest::newRow("string of 1023 bytes") << str1023 << "str" << true << str1023.left(1023);
        QTest::newRow("u8 on an empty body") << QByteArray() << "u8" << false << QByteArray();
        QTest::newRow("u32 on 3 bytes") << hex("010203") << "u32" << false << QByteArray();
        QTest::newRow("bytes, one more than the body") << hex("aabbcc") << "bytes:4" << false << QByteArray();
        QTest::newRow("bytes, count 0xFFFFFFFF") << hex("aabbcc") << "bytes:4294967295" << false << QByteArray();
        QTest::newRow("string without its 0") << QByteArray("abc") << "str" << false << QByteArray();
        QTest::newRow("string of 1024 bytes") << QByteArray(1024, 's') + '\0' << "str" << false << QByteArray();
        // clang-format on
    }

    void reads()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, op);
        QFETCH(bool, ok);
        QFETCH(QByteArray, value);

        CvqComMsg m;
        m.vqAppendBytes(body);
        QByteArray got;
        bool result = false;
        if (op == "u8") {
            quint8 v = '?';
            result = m.vqReadU8(v);
            got = QByteArray(1, char(v));
        } else if (op == "u32") {
            quint32 v = 0x3f3f3f3f;
            result = m.vqReadU32(v);
            got = QByteArray(4, '\0');
            qToLittleEndian(v, got.data());
        } else if (op == "str") {
            QString s = QStringLiteral("?");
            result = m.vqReadStr(s);
            got = s.toUtf8();
        } else {
            got = "?";
            result = m.vqReadBytes(op.mid(6).toUInt(), got);
            got.remove(0, result ? 1 : 0);
        }
        QCOMPARE(result, ok);
        if (ok) {
            QCOMPARE(got, value);
            QCOMPARE(m.vqReadPos, op == "u8" ? 1 : op == "u32" ? 4 : value.size() + (op == "str" ? 1 : 0));
        } else {
            QCOMPARE(got, QByteArray(op == "u32" ? 4 : 1, '?'));
            QCOMPARE(m.vqReadPos, 0);
        }
    }
};

VQ_TEST_GUILESS_MAIN(TstComMsg)
#include "tst_commsg.moc"
