// Identification text -> status record, and firmware versions.
#include "vqtestsupport.h"

#include <QtTest>

// 36 plain hex digits: count 1234, job 01, status bytes 00..09, crum 1A, t 2710, d 1F40.
static const QByteArray kSts36 = "1234" "01" "00010203040506070809" "1A" "2710" "1F40";

class TstRecord : public QObject
{
    Q_OBJECT
private slots:
    void parseDeviceId_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("defaultPxg");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("mdl");
        QTest::addColumn<QString>("sn");
        QTest::addColumn<int>("pxg");
        QTest::addColumn<int>("tll");
        QTest::addColumn<quint32>("allPrintCount");

        const QString sts36 = QString::fromLatin1(vqShiftSts(kSts36));
        const QString sts42 = QString::fromLatin1(vqShiftSts(kSts36 + "00ABCD"));
        QTest::newRow("36 digits, AllPrintCount 0") << "MDL:X;STS:" + sts36 << 2 << true << "X" << "" << 2 << 10 << 0u;
        QTest::newRow("42 digits fill AllPrintCount") << "MDL:X;STS:" + sts42 << 2 << true << "X" << "" << 2 << 10 << 0xABCDu;
        QTest::newRow("full text") << "MFG:M;CMD:PCL;MDL:P1;EX:e;ROMVER:V1.3.6406;SN:QV1;PXG:3;TLL:15;STS:" + sts36
                                   << 1 << true << "P1" << "QV1" << 3 << 15 << 0u;
        QTest::newRow("values trimmed") << "MDL:  X ; SN : s1 " << 1 << true << "X" << "s1" << 1 << 10 << 0u;
        QTest::newRow("later duplicate wins") << "MDL:A;MDL:B" << 1 << true << "B" << "" << 1 << 10 << 0u;
        QTest::newRow("PXG 0 takes default") << "MDL:X;PXG:0" << 2 << true << "X" << "" << 2 << 10 << 0u;
        QTest::newRow("PXG not numeric takes default") << "MDL:X;PXG:two" << 2 << true << "X" << "" << 2 << 10 << 0u;
        QTest::newRow("PXG and default below 1 give 1") << "MDL:X;PXG:-4" << 0 << true << "X" << "" << 1 << 10 << 0u;
        QTest::newRow("TLL 0 gives 10") << "MDL:X;TLL:0" << 1 << true << "X" << "" << 1 << 10 << 0u;
        QTest::newRow("value holds a colon") << "MDL:X;SN:a:b" << 1 << true << "X" << "a:b" << 1 << 10 << 0u;

        QTest::newRow("no MDL") << "SN:1;STS:" + sts36 << 1 << false << "" << "1" << 1 << 10 << 0u;
        QTest::newRow("key is case-sensitive") << "mdl:X" << 1 << false << "" << "" << 1 << 10 << 0u;
        QTest::newRow("35 digits fail") << "MDL:X;STS:" + sts36.left(35) << 1 << false << "X" << "" << 1 << 10 << 0u;
        QTest::newRow("STS not shifted") << "MDL:X;STS:" + QString::fromLatin1(kSts36) << 1 << false << "X" << "" << 1 << 10 << 0u;
        QTest::newRow("binary junk") << QString::fromLatin1("\x01\xff;;:\x7f:") << 1 << false << "" << "" << 1 << 10 << 0u;
    }

    void parseDeviceId()
    {
        QFETCH(QString, text);
        QFETCH(int, defaultPxg);
        CvqDebugCapture quiet;
        const CvqJetMem m = vqParseDeviceId(text, defaultPxg);
        QTEST(m.ok, "ok");
        QTEST(m.mdl, "mdl");
        QTEST(m.sn, "sn");
        QTEST(int(m.vqPXG), "pxg");
        QTEST(int(m.vqTLL), "tll");
        QTEST(m.AllPrintCount, "allPrintCount");
        QCOMPARE(m.vqIGNORENODRUM, false);
    }

    void stsFields_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("job");
        QTest::addColumn<int>("byte0");
        QTest::addColumn<int>("byte9");
        QTest::addColumn<int>("crum");
        QTest::addColumn<int>("t");
        QTest::addColumn<int>("d");

        QTest::newRow("fields in order") << vqShiftSts(kSts36) << 0x1234 << 1 << 0 << 9 << 0x1A << 10000 << 8000;
        QTest::newRow("encoded W is F") << QByteArray("WWWW") + vqShiftSts(kSts36.mid(4)) << 65535 << 1 << 0 << 9 << 0x1A << 10000 << 8000;
        QTest::newRow("lower-case digits") << vqShiftSts("abcd" + kSts36.mid(4)) << 0xABCD << 1 << 0 << 9 << 0x1A << 10000 << 8000;
    }

    void stsFields()
    {
        QFETCH(QByteArray, wire);
        CvqJetMem m;
        QVERIFY(vqParseSts(m, QString::fromLatin1(wire)));
        QTEST(int(m.job_printed_count), "count");
        QTEST(int(m.inprintjob), "job");
        QTEST(int(m.status_bytes[0]), "byte0");
        QTEST(int(m.status_bytes[9]), "byte9");
        QTEST(int(m.crum_status), "crum");
        QTEST(int(m.crum_t_percent), "t");
        QTEST(int(m.crum_d_percent), "d");
        QCOMPARE(int(m.status_bytes[7]), 7);
    }

    void stsFailures_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("keptCount");

        QTest::newRow("empty") << QByteArray() << QString() << 0;
        QTest::newRow("3 digits") << QByteArray("123") << "(vq)status_print_count too short or not hex" << 0;
        QTest::newRow("job short") << QByteArray("12345") << "(vq)inprintjob too short or not hex" << 0x1234;
        QTest::newRow("status byte 3 bad") << QByteArray("123401000102G3") << "(vq)status_bytes[ 3 ] too short or not hex" << 0x1234;
        QTest::newRow("crum_status short") << kSts36.left(27) << "(vq)crum_status too short or not hex" << 0x1234;
        QTest::newRow("35 digits") << kSts36.left(35) << "(vq)crum_d_percent too short or not hex" << 0x1234;
    }

    void stsFailures()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QString, line);
        CvqDebugCapture debug;
        CvqJetMem m;
        QVERIFY(!vqParseSts(m, QString::fromLatin1(vqShiftSts(plain))));
        QCOMPARE(debug.lines(), line.isEmpty() ? QStringList() : QStringList{line});
        QTEST(int(m.job_printed_count), "keptCount");
    }

    void version_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QList<int>>("parts");

        QTest::newRow("V1.3.6406") << "V1.3.6406" << true << QList<int>{1, 3, 6406};
        QTest::newRow("trailing dot") << "1.2." << true << QList<int>{1, 2};
        QTest::newRow("eight-digit part") << "1.12345678" << true << QList<int>{1, 12345678};
        QTest::newRow("single number") << "V7" << false << QList<int>{7};
        QTest::newRow("leading dot") << ".1.2" << false << QList<int>{};
        QTest::newRow("dot then letter") << "1.2.a" << false << QList<int>{1, 2};
        QTest::newRow("nine-digit part") << "1.123456789" << false << QList<int>{1};
        QTest::newRow("empty") << "" << false << QList<int>{};
    }

    void version()
    {
        QFETCH(QString, text);
        const CvqRomVer v(text);
        QTEST(v.valid, "valid");
        QFETCH(bool, valid);
        if (valid)
            QTEST(v.parts, "parts");
    }

    void compare_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("less");
        QTest::addColumn<bool>("equal");

        QTest::newRow("same") << "V1.3.6406" << "V1.3.6406" << false << true;
        QTest::newRow("trailing zero") << "V1.3.6406" << "1.3.6406.0" << false << true;
        QTest::newRow("older") << "1.3.6405" << "V1.3.6406" << true << false;
        QTest::newRow("longer non-zero") << "1.3" << "1.3.1" << true << false;
        QTest::newRow("numeric not text") << "1.10" << "1.9" << false << false;
        QTest::newRow("invalid below valid") << "x" << "1.0" << true << false;
        QTest::newRow("two invalid") << "x" << "7" << false << true;
    }

    void compare()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QTEST(CvqRomVer(a) < CvqRomVer(b), "less");
        QTEST(CvqRomVer(a) == CvqRomVer(b), "equal");
    }
};

VQ_TEST_GUILESS_MAIN(TstRecord)
#include "tst_record.moc"
