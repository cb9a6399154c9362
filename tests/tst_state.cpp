// Identification text -> status record -> device state: fields, levels,
// activity, fault bits, identity, and firmware versions.
#include "vqtestsupport.h"

#include <QtTest>
#include <functional>

static CvqJetMem record(int pxg, int cs, int t, int d, int tll = 10)
{
    CvqJetMem m;
    m.status_bytes[4] = 0x80;  // tray 1 loaded: no tray bits
    m.status_bytes[7] = 4;
    m.vqPXG = pxg;
    m.crum_status = quint8(cs);
    m.crum_t_percent = quint16(t);
    m.crum_d_percent = quint16(d);
    m.vqTLL = tll;
    return m;
}

static int bits(std::initializer_list<int> numbers)
{
    quint32 v = 0;
    for (int n : numbers)
        v |= quint32(1) << n;
    return int(v);
}

// 36 plain hex digits: count 1234, job 01, status bytes 00..09, crum 1A, t 2710, d 1F40.
static const QByteArray kSts36 = QByteArrayLiteral("123401000102030405060708091A27101F40");

class TstState : public QObject
{
    Q_OBJECT
private slots:
    void parseDeviceId_data()
    {
        // clang-format off
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
        QTest::newRow("42 digits fill AllPrintCount") << "MDL:X;STS:" + sts42 << 2 << true << "X" << "" << 2 << 10 << 0xABCDu;
        QTest::newRow("full text") << "MFG:M;CMD:PCL;MDL:P1;EX:e;ROMVER:V1.3.6406;SN:QV1;PXG:3;TLL:15;STS:" + sts36
                                   << 1 << true << "P1" << "QV1" << 3 << 15 << 0u;
        QTest::newRow("values trimmed") << "MDL:  X ; SN : s1 " << 1 << true << "X" << "s1" << 1 << 10 << 0u;
        QTest::newRow("later duplicate wins") << "MDL:A;MDL:B" << 1 << true << "B" << "" << 1 << 10 << 0u;
        QTest::newRow("PXG 0 takes default") << "MDL:X;PXG:0" << 2 << true << "X" << "" << 2 << 10 << 0u;
        QTest::newRow("PXG not a number takes default") << "MDL:X;PXG:3x" << 2 << true << "X" << "" << 2 << 10 << 0u;
        QTest::newRow("PXG and default below 1 give 1") << "MDL:X;PXG:-4" << 0 << true << "X" << "" << 1 << 10 << 0u;
        QTest::newRow("TLL 0 gives 10") << "MDL:X;TLL:0" << 1 << true << "X" << "" << 1 << 10 << 0u;
        QTest::newRow("value holds a colon") << "MDL:X;SN:a:b" << 1 << true << "X" << "a:b" << 1 << 10 << 0u;

        QTest::newRow("key is case-sensitive") << "mdl:X" << 1 << false << "" << "" << 1 << 10 << 0u;
        QTest::newRow("STS not shifted") << "MDL:X;STS:" + QString::fromLatin1(kSts36) << 1 << false << "X" << "" << 1 << 10 << 0u;
        // clang-format on
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

    // Fields in wire order; a failure keeps the fields read before it.
    void sts_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("fields");  // hex: count, job, status bytes 0, 7 and 9, crum, t, d

        QTest::newRow("fields in order") << kSts36 << true << "" << "1234 1 0 7 9 1a 2710 1f40";
        QTest::newRow("F digits (wire W)") << "FFFF" + kSts36.mid(4) << true << "" << "ffff 1 0 7 9 1a 2710 1f40";
        QTest::newRow("lower-case digits") << "af09" + kSts36.mid(4) << true << "" << "af09 1 0 7 9 1a 2710 1f40";

        QTest::newRow("empty") << QByteArray() << false << "" << "0 0 0 0 0 0 0 0";
        QTest::newRow("3 digits") << QByteArray("123") << false << "(vq)status_print_count too short or not hex" << "0 0 0 0 0 0 0 0";
        QTest::newRow("status byte 3 bad") << QByteArray("123401000102G3") << false << "(vq)status_bytes[ 3 ] too short or not hex" << "1234 1 0 0 0 0 0 0";
        QTest::newRow("35 digits") << kSts36.left(35) << false << "(vq)crum_d_percent too short or not hex" << "1234 1 0 7 9 1a 2710 0";
        QTest::newRow("all digits 0") << QByteArray(36, '0') << false << "" << "0 0 0 0 0 0 0 0";
        QTest::newRow("a 0 byte ends the text") << "1234\xEF" + kSts36.mid(4) << false << "(vq)inprintjob too short or not hex" << "1234 0 0 0 0 0 0 0";
        // The characters next to the digit ranges.
        for (const char* bad : {"/", ":", "@", "G", "`", "g"})
            QTest::addRow("%s is no digit", bad) << "123" + QByteArray(bad) + kSts36.mid(4) << false << "(vq)status_print_count too short or not hex" << "0 0 0 0 0 0 0 0";
        // clang-format on
    }

    void sts()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QString, line);
        CvqDebugCapture debug;
        CvqJetMem m;
        QTEST(vqParseSts(m, QString::fromLatin1(vqShiftSts(plain))), "ok");
        QCOMPARE(debug.lines(), line.isEmpty() ? QStringList() : QStringList{line});
        QStringList fields;
        for (int v : {int(m.job_printed_count), int(m.inprintjob), int(m.status_bytes[0]), int(m.status_bytes[7]),
                      int(m.status_bytes[9]), int(m.crum_status), int(m.crum_t_percent), int(m.crum_d_percent)})
            fields << QString::number(v, 16);
        QTEST(fields.join(' '), "fields");
    }

    void compare_data()
    {
        // clang-format off
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("less");
        QTest::addColumn<bool>("equal");

        QTest::newRow("trailing zero") << "V1.3.6406" << "1.3.6406.0" << false << true;
        QTest::newRow("older") << "1.3.6405" << "V1.3.6406" << true << false;
        QTest::newRow("longer non-zero") << "1.3" << "1.3.1" << true << false;
        QTest::newRow("numeric not text") << "1.10" << "1.9" << false << false;
        QTest::newRow("invalid below valid") << "x" << "1.0" << true << false;
        QTest::newRow("two invalid") << "x" << "7" << false << true;
        QTest::newRow("trailing dot") << "1.2." << "1.2" << false << true;
        QTest::newRow("eight-digit parts") << "1.12345677" << "1.12345678" << true << false;
        // Each of these is invalid, so below any valid version.
        for (const char* bad : {"V7", ".1.2", "1.2.a", "1.123456789", ""})
            QTest::newRow(qPrintable(QStringLiteral("invalid: '%1'").arg(bad))) << bad << "0.1" << true << false;
        // clang-format on
    }

    void compare()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QTEST(CvqRomVer(a) < CvqRomVer(b), "less");
        QTEST(CvqRomVer(a) == CvqRomVer(b), "equal");
    }

    void consumables_data()
    {
        // clang-format off
        QTest::addColumn<int>("pxg");
        QTest::addColumn<int>("cs");
        QTest::addColumn<int>("t");
        QTest::addColumn<int>("d");
        QTest::addColumn<bool>("ignoreNoDrum");
        QTest::addColumn<int>("tll");
        QTest::addColumn<int>("toner");
        QTest::addColumn<int>("drum");
        QTest::addColumn<int>("pex");

        QTest::newRow("pxg2 toner out, drum low") << 2 << 0x1A << 0 << 149 << false << 10 << 0 << 1 << bits({9, 29});
        QTest::newRow("pxg2 toner at threshold") << 2 << 0x1A << 1000 << 6000 << false << 10 << 10 << 60 << bits({19});
        QTest::newRow("pxg2 toner above threshold") << 2 << 0x1A << 1050 << 6000 << false << 10 << 11 << 60 << 0;
        QTest::newRow("pxg2 no toner box") << 2 << 0x19 << 0 << 8000 << false << 10 << -1 << 80 << bits({15});
        QTest::newRow("pxg2 no drum") << 2 << 0x16 << 500 << 0 << false << 10 << 5 << -1 << bits({19, 28});
        QTest::newRow("pxg2 no drum ignored") << 2 << 0x16 << 500 << 0 << true << 10 << 5 << -1 << bits({19});
        QTest::newRow("pxg1 cartridge in drum counter") << 1 << 0x18 << 9999 << 4000 << false << 10 << 40 << -1 << 0;
        QTest::newRow("pxg1 counter 0 present") << 1 << 0x18 << 0 << 0 << false << 10 << 0 << -1 << bits({30});
        QTest::newRow("pxg1 low") << 1 << 0x18 << 0 << 500 << false << 10 << 5 << -1 << bits({29});
        QTest::newRow("pxg1 no cartridge") << 1 << 0x14 << 0 << 500 << false << 10 << 5 << -1 << bits({28});
        QTest::newRow("pxg3 toner counter, drum bits") << 3 << 0x12 << 900 << 0 << false << 10 << 9 << -1 << bits({29});
        QTest::newRow("pxg3 no cartridge") << 3 << 0x11 << 900 << 0 << true << 10 << 9 << -1 << bits({28});
        QTest::newRow("rounding half up") << 2 << 0x1A << 150 << 50 << false << 10 << 2 << 1 << bits({19, 29});
        QTest::newRow("no upper clamp") << 2 << 0x1A << 10050 << 10049 << false << 10 << 101 << 100 << 0;
        QTest::newRow("threshold 50") << 2 << 0x1A << 5000 << 5100 << false << 50 << 50 << 51 << bits({19});
        QTest::newRow("no crum bit 4: nothing") << 2 << 0x0F << 0 << 0 << false << 10 << -1 << -1 << 0;
        // clang-format on
    }

    void consumables()
    {
        QFETCH(int, pxg);
        QFETCH(int, cs);
        QFETCH(int, t);
        QFETCH(int, d);
        QFETCH(bool, ignoreNoDrum);
        QFETCH(int, tll);
        CvqJetMem m = record(pxg, cs, t, d, tll);
        m.vqIGNORENODRUM = ignoreNoDrum;
        QTEST(vqCalcTonerPercent(m), "toner");
        QTEST(vqCalcDrumPercent(m), "drum");
        QTEST(vqCalcPex(m), "pex");
    }

    // The rules between bits; each plain byte-to-bit mapping is checked end
    // to end through the emulator (tst_printersim).
    void statusBits_data()
    {
        // clang-format off
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("pex");

        QTest::newRow("LSU data wins over transfer") << 2 << 0x03 << bits({17});
        QTest::newRow("drum door hides trays") << 4 << 0x09 << bits({27});
        QTest::newRow("tray 1 low") << 4 << 0x00 << bits({1});
        QTest::newRow("tray 1 empty") << 4 << 0x81 << bits({25});
        QTest::newRow("tray 2 empty") << 4 << 0xB0 << bits({2});
        QTest::newRow("tray 2 empty wins over low") << 4 << 0xF0 << bits({2});
        QTest::newRow("tray 2 ignored without bit 4") << 4 << 0xE0 << 0;
        QTest::newRow("both trays") << 4 << 0x70 << bits({1, 2});
        QTest::newRow("paper source only") << 6 << 0xFE << 0;
        QTest::newRow("byte 9 unused") << 9 << 0xFF << 0;
        // clang-format on
    }

    void statusBits()
    {
        QFETCH(int, index);
        QFETCH(int, value);
        CvqJetMem m = record(2, 0x0A, 0, 0);  // no crum bit 4: status bits only
        m.status_bytes[index] = quint8(value);
        QTEST(vqCalcPex(m), "pex");
    }

    void activity_data()
    {
        // clang-format off
        QTest::addColumn<int>("byte7");
        QTest::addColumn<int>("idle");
        QTest::addColumn<int>("job");
        QTest::newRow("0") << 0 << 2 << 6;
        QTest::newRow("2") << 2 << 4 << 4;
        QTest::newRow("4") << 4 << 0 << 6;
        QTest::newRow("5") << 5 << 7 << 7;
        QTest::newRow("255") << 255 << 2 << 6;
        // clang-format on
    }

    void activity()
    {
        QFETCH(int, byte7);
        CvqJetMem m = record(1, 0, 0, 0);
        m.status_bytes[7] = quint8(byte7);
        QTEST(vqCalcPa(m), "idle");
        m.inprintjob = 3;
        QTEST(vqCalcPa(m), "job");
    }

    void equality()
    {
        // Every field takes part: a field left out would hide a change from the window.
        const QList<std::function<void(CvqState&)>> changes = {
            [](CvqState& s) { s.connected = true; },
            [](CvqState& s) { s.vidpid.vid = "1A2B"; },
            [](CvqState& s) { s.vidpid.pid = "0101"; },
            [](CvqState& s) { s.productName = "x"; },
            [](CvqState& s) { s.vqHasScan = 1; },
            [](CvqState& s) { s.vqPlatform = 2; },
            [](CvqState& s) { s.instanceId = "x"; },
            [](CvqState& s) { s.queueName = "x"; },
            [](CvqState& s) { s.pex = int(0x80000000u); },
            [](CvqState& s) { s.pa = 4; },
            [](CvqState& s) { s.tonerPercent = 50; },
            [](CvqState& s) { s.drumPercent = 0; },
            [](CvqState& s) { s.peGuZhangSource = 2; },
            [](CvqState& s) { s.ROMVER = "V1"; },
            [](CvqState& s) { s.SN = "s"; },
            [](CvqState& s) { s.vqComName = "COM3"; },
        };
        const CvqState a;
        QVERIFY(a == CvqState());
        QCOMPARE(a.tonerPercent, -1);
        QCOMPARE(a.drumPercent, -1);
        for (int i = 0; i < changes.size(); ++i) {
            CvqState b;
            changes.at(i)(b);
            QVERIFY2(a != b && !(a == b), qPrintable(QString::number(i)));
        }
    }

    // The queue's name before the product's, without the maker's brand (as written).
    void displayName()
    {
        CvqState s;
        s.productName = "Morvane P1";
        QCOMPARE(vqDisplayName(s), QStringLiteral("P1"));
        s.queueName = "Office";
        QCOMPARE(vqDisplayName(s), QStringLiteral("Office"));
        s.queueName = "Morvane P2010DW";
        QCOMPARE(vqDisplayName(s), QStringLiteral("P2010DW"));
        QCOMPARE(vqWithoutBrand("morvane P2010DW"), QStringLiteral("morvane P2010DW"));
    }
};

VQ_TEST_GUILESS_MAIN(TstState)
#include "tst_state.moc"
