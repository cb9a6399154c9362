// Identification text -> status record -> device state: fields, levels,
// activity, fault bits, identity, and firmware versions.
#include "vqtestsupport.h"

#include <QtTest>

// An idle printer's record, tray 1 loaded, with one status byte set. A negative
// threshold: that one, with a missing drum ignored.
static CvqJetMem record(int pxg, int cs, int t, int d, int tll = 10, int index = 7, int value = 4)
{
    CvqJetMem m;
    m.status_bytes[4] = 0x80;
    m.status_bytes[7] = 4;
    m.status_bytes[index] = quint8(value);
    m.vqPXG = pxg;
    m.crum_status = quint8(cs);
    m.crum_t_percent = quint16(t);
    m.crum_d_percent = quint16(d);
    m.vqTLL = qAbs(tll);
    m.vqIGNORENODRUM = tll < 0;
    return m;
}
Q_DECLARE_METATYPE(CvqJetMem)

// The status fields read, in wire order.
// clang-format off
struct Sts { bool ok; int count, job, byte0, byte7, byte9, crum, t, d; QString log; };
// clang-format on
Q_DECLARE_METATYPE(Sts)

// 36 plain hex digits: count 1234, job 01, status bytes 00..09, crum 1A, t 2710, d 1F40.
static const QByteArray kSts36 = QByteArrayLiteral("123401000102030405060708091A27101F40");

// clang-format off
static const char kProducts[] =
    "01012027386 01061015ef6 010710153c8 0108102b858 0109221121e 010B201b6f7 010E1014cb0 010F101c35d 01102017481 "
    "01112113c0a 01132123c0a 0114202be85 0115202db88 011621165ad 011810150da 011D1114386 011E1012bb4 01232125e81 "
    "0128101f006 012D12221f3 012E211eeb2 012F21274b6 0134201a6f4 013910222d5 013A1010008 013B211a709 013C212b843 "
    "013D111a756 013F111a7f4 0144221505d 01492111f03 014A101cbc3 014D2020d19 014E122a017 015020272fb 01512026f24 "
    "01532111b28 0154201c1f0 015722189a5 015A112a0c6 015D222f3a6 015E101620b 01601211032 0161102b219 01662118c2d "
    "01672017773 0168121c468 01692127ea7 016B102a5e6 01701118dd6 01712229cb4 0174102179e 017512135af 01761014e05 "
    "01781220a99 017920210e7 017B10114d9 01801214297 018122197f0 01822025c0e 01841011715 01873011c51 01891022c06 "
    "018A221ccae 018F2113469 01901014186 0193102fda8 01952227c36 019721210f0 0199122f8b6 019A2012369 019B201134c "
    "019E11240f1 01A32122b0c 01A62011967 01A92010ab3 01AB10272e8 01AC21114d8 01AE2013caa 01B112171bb 01B61014714 "
    "01BB1021b7c 01BD211aa4c 01C0201dc3c 01C1202711e 01C2221d936 01C7212b054 01C82015418 01C92015418 01CC2014b6b "
    "01D1222aace";
// clang-format on

class TstState : public QObject
{
    Q_OBJECT
private slots:
    void parseDeviceId_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("defaultPxg");
        // clang-format off
        QTest::addColumn<bool>("ok"); QTest::addColumn<QString>("MDL"); QTest::addColumn<QString>("SN"); QTest::addColumn<QString>("EX");
        QTest::addColumn<QString>("ROMVER"); QTest::addColumn<int>("PXG"); QTest::addColumn<int>("TLL"); QTest::addColumn<quint32>("AllPrintCount");
        QTest::newRow("42 digits fill AllPrintCount") << "MDL:X;STS:" + QString::fromLatin1(vqShiftSts(kSts36 + "00ABCD")) << 2 << true << "X" << "" << "" << "" << 2 << 10 << 0xabcdu;
        QTest::newRow("full text") << "MFG:M;CMD:PCL;MDL:P1;EX:e;ROMVER:V1.3.6406;SN:QV1;PXG:3;TLL:15;STS:" + QString::fromLatin1(vqShiftSts(kSts36)) << 1 << true << "P1" << "QV1" << "e" << "V1.3.6406" << 3 << 15 << 0u;
        QTest::newRow("values trimmed, a colon in one, the later duplicate") << "MDL:A;MDL:  X ; SN : a:b " << 1 << true << "X" << "a:b" << "" << "" << 1 << 10 << 0u;
        QTest::newRow("PXG 0 takes default") << "MDL:X;PXG:0" << 2 << true << "X" << "" << "" << "" << 2 << 10 << 0u;
        QTest::newRow("PXG not a number takes default") << "MDL:X;PXG:3x" << 2 << true << "X" << "" << "" << "" << 2 << 10 << 0u;
        QTest::newRow("PXG and default below 1 give 1") << "MDL:X;PXG:-4" << 0 << true << "X" << "" << "" << "" << 1 << 10 << 0u;
        QTest::newRow("TLL 0 gives 10") << "MDL:X;TLL:0" << 1 << true << "X" << "" << "" << "" << 1 << 10 << 0u;
        QTest::newRow("key is case-sensitive, no colon skipped") << "mdl:X;MDL" << 1 << false << "" << "" << "" << "" << 1 << 10 << 0u;
        QTest::newRow("STS not shifted") << "MDL:X;STS:" + QString::fromLatin1(kSts36) << 1 << false << "X" << "" << "" << "" << 1 << 10 << 0u;
        // clang-format on
    }
    void parseDeviceId()
    {
        QFETCH(QString, text);
        QFETCH(int, defaultPxg);
        CvqDebugCapture quiet;
        const CvqJetMem m = vqParseDeviceId(text, defaultPxg);
        VQ_FIELDS(CvqFields()("ok", m.ok)("MDL", m.mdl)("SN", m.sn)("EX", m.ex)("ROMVER", m.romver)("PXG", m.vqPXG)(
            "TLL", m.vqTLL)("AllPrintCount", m.AllPrintCount));
    }

    // Fields in wire order; a failure keeps the fields read before it.
    void sts_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<Sts>("expected");  // the log: its debug lines
        const Sts none{}, shortCount{false, 0, 0, 0, 0, 0, 0, 0, 0, "(vq)status_print_count too short or not hex"};
        // clang-format off
        QTest::newRow("fields in order") << kSts36 << Sts{true, 0x1234, 1, 0, 7, 9, 0x1a, 0x2710, 0x1f40, ""};
        QTest::newRow("F digits (wire W)") << "FFFF" + kSts36.mid(4) << Sts{true, 0xffff, 1, 0, 7, 9, 0x1a, 0x2710, 0x1f40, ""};
        QTest::newRow("lower-case digits") << "af09" + kSts36.mid(4) << Sts{true, 0xaf09, 1, 0, 7, 9, 0x1a, 0x2710, 0x1f40, ""};
        QTest::newRow("empty") << QByteArray() << none;
        QTest::newRow("status byte 3 bad") << QByteArray("123401000102G3") << Sts{false, 0x1234, 1, 0, 0, 0, 0, 0, 0, "(vq)status_bytes[ 3 ] too short or not hex"};
        QTest::newRow("35 digits") << kSts36.left(35) << Sts{false, 0x1234, 1, 0, 7, 9, 0x1a, 0x2710, 0, "(vq)crum_d_percent too short or not hex"};
        QTest::newRow("all digits 0") << QByteArray(36, '0') << none;
        QTest::newRow("a 0 byte ends the text") << "1234\xEF" + kSts36.mid(4) << Sts{false, 0x1234, 0, 0, 0, 0, 0, 0, 0, "(vq)inprintjob too short or not hex"};
        // The characters next to the digit ranges.
        for (const char* bad : {"/", ":", "@", "G", "`", "g"})
            QTest::addRow("%s is no digit", bad) << "123" + QByteArray(bad) + kSts36.mid(4) << shortCount;
        // clang-format on
    }
    void sts()
    {
        QFETCH(QByteArray, plain);
        QFETCH(Sts, expected);
        CvqDebugCapture debug;
        CvqJetMem m;
        const Sts& e = expected;
        VQ_FIELDS(CvqFields()("ok", vqParseSts(m, QString::fromLatin1(vqShiftSts(plain))),
                              e.ok)("log", debug.lines().join(' '), e.log)("count", int(m.job_printed_count), e.count)(
            "job", int(m.inprintjob), e.job)("byte 0", int(m.status_bytes[0]), e.byte0)(
            "byte 7", int(m.status_bytes[7]), e.byte7)("byte 9", int(m.status_bytes[9]), e.byte9)(
            "crum", int(m.crum_status), e.crum)("t", int(m.crum_t_percent), e.t)("d", int(m.crum_d_percent), e.d));
    }

    void compare_data()
    {
        QTest::addColumn<QString>("ab");     // versions a and b
        QTest::addColumn<QString>("order");  // "<" for a < b, "=" for a == b, "" for neither
        // clang-format off
        QTest::newRow("trailing zero") << "V1.3.6406 1.3.6406.0" << "=";
        QTest::newRow("longer non-zero") << "1.3 1.3.1" << "<";
        QTest::newRow("numeric not text") << "1.10 1.9" << "";
        QTest::newRow("two invalid") << "x 7" << "=";
        QTest::newRow("trailing dot") << "1.2. 1.2" << "=";
        QTest::newRow("eight-digit parts") << "1.12345677 1.12345678" << "<";
        // Each of these is invalid, so below any valid version.
        for (const char* bad : {"V7", ".1.2", "1.2.a", "1.123456789", ""})
            QTest::addRow("invalid: '%s'", bad) << QString(bad) + " 0.1" << "<";
        // clang-format on
    }
    void compare()
    {
        QFETCH(QString, ab);
        const QString a = ab.section(' ', 0, 0), b = ab.section(' ', 1);
        QTEST(QString(CvqRomVer(a) < CvqRomVer(b) ? "<" : "") + (CvqRomVer(a) == CvqRomVer(b) ? "=" : ""), "order");
    }

    // A record -> toner, drum, faults, activity when idle and in a job. The rules between bits are here;
    // each plain byte-to-bit mapping is checked end to end through the emulator (tst_printersim).
    void state_data()
    {
        // clang-format off
        QTest::addColumn<CvqJetMem>("record"); QTest::addColumn<int>("toner"); QTest::addColumn<int>("drum");
        QTest::addColumn<QString>("faults"); QTest::addColumn<QString>("idle"); QTest::addColumn<QString>("inJob");
        QTest::newRow("pxg2 toner out, drum low") << record(2, 0x1A, 0, 149) << 0 << 1 << "TonerOut DrumLow" << "Idle" << "JobPrinting";
        QTest::newRow("pxg2 toner at threshold") << record(2, 0x1A, 1000, 6000) << 10 << 60 << "TonerLow" << "Idle" << "JobPrinting";
        QTest::newRow("pxg2 toner above threshold") << record(2, 0x1A, 1050, 6000) << 11 << 60 << "" << "Idle" << "JobPrinting";
        QTest::newRow("pxg2 no toner box") << record(2, 0x19, 0, 8000) << -1 << 80 << "NoTonerBox" << "Idle" << "JobPrinting";
        QTest::newRow("pxg2 no drum") << record(2, 0x16, 500, 0) << 5 << -1 << "TonerLow NoDrum" << "Idle" << "JobPrinting";
        QTest::newRow("pxg2 no drum ignored") << record(2, 0x16, 500, 0, -10) << 5 << -1 << "TonerLow" << "Idle" << "JobPrinting";
        QTest::newRow("pxg1 counter 0 present") << record(1, 0x18, 0, 0) << 0 << -1 << "DrumOut" << "Idle" << "JobPrinting";
        QTest::newRow("pxg1 low") << record(1, 0x18, 0, 500) << 5 << -1 << "DrumLow" << "Idle" << "JobPrinting";
        QTest::newRow("pxg1 no cartridge") << record(1, 0x14, 0, 500) << 5 << -1 << "NoDrum" << "Idle" << "JobPrinting";
        QTest::newRow("pxg3 toner counter, drum bits") << record(3, 0x12, 900, 0) << 9 << -1 << "DrumLow" << "Idle" << "JobPrinting";
        QTest::newRow("pxg3 no cartridge") << record(3, 0x11, 900, 0, -10) << 9 << -1 << "NoDrum" << "Idle" << "JobPrinting";
        QTest::newRow("rounding half up") << record(2, 0x1A, 150, 50) << 2 << 1 << "TonerLow DrumLow" << "Idle" << "JobPrinting";
        QTest::newRow("threshold 50") << record(2, 0x1A, 5000, 5100, 50) << 50 << 51 << "TonerLow" << "Idle" << "JobPrinting";
        QTest::newRow("no crum bit 4: nothing") << record(2, 0x0F, 0, 0) << -1 << -1 << "" << "Idle" << "JobPrinting";
        QTest::newRow("LSU data wins over transfer") << record(2, 0x0A, 0, 0, 10, 2, 0x03) << -1 << -1 << "LsuData" << "Idle" << "JobPrinting";
        QTest::newRow("drum door hides trays") << record(2, 0x0A, 0, 0, 10, 4, 0x09) << -1 << -1 << "DrumDoorOpen" << "Idle" << "JobPrinting";
        QTest::newRow("tray 1 low") << record(2, 0x0A, 0, 0, 10, 4, 0x00) << -1 << -1 << "Tray1Low" << "Idle" << "JobPrinting";
        QTest::newRow("tray 1 empty") << record(2, 0x0A, 0, 0, 10, 4, 0x81) << -1 << -1 << "Tray1Empty" << "Idle" << "JobPrinting";
        QTest::newRow("tray 2 empty") << record(2, 0x0A, 0, 0, 10, 4, 0xB0) << -1 << -1 << "Tray2Empty" << "Idle" << "JobPrinting";
        QTest::newRow("tray 2 empty wins over low") << record(2, 0x0A, 0, 0, 10, 4, 0xF0) << -1 << -1 << "Tray2Empty" << "Idle" << "JobPrinting";
        QTest::newRow("tray 2 ignored without bit 4") << record(2, 0x0A, 0, 0, 10, 4, 0xE0) << -1 << -1 << "" << "Idle" << "JobPrinting";
        QTest::newRow("both trays") << record(2, 0x0A, 0, 0, 10, 4, 0x70) << -1 << -1 << "Tray1Low Tray2Empty" << "Idle" << "JobPrinting";
        QTest::newRow("paper source only") << record(2, 0x0A, 0, 0, 10, 6, 0xFE) << -1 << -1 << "" << "Idle" << "JobPrinting";
        QTest::newRow("byte 9 unused") << record(2, 0x0A, 0, 0, 10, 9, 0xFF) << -1 << -1 << "" << "Idle" << "JobPrinting";
        QTest::newRow("activity 0") << record(2, 0x0A, 0, 0, 10, 7, 0) << -1 << -1 << "" << "WarmingUp" << "JobPrinting";
        QTest::newRow("activity 2") << record(2, 0x0A, 0, 0, 10, 7, 2) << -1 << -1 << "" << "Printing" << "Printing";
        QTest::newRow("activity 5") << record(2, 0x0A, 0, 0, 10, 7, 5) << -1 << -1 << "" << "CoolingDown" << "CoolingDown";
        QTest::newRow("activity 255") << record(2, 0x0A, 0, 0, 10, 7, 255) << -1 << -1 << "" << "WarmingUp" << "JobPrinting";
        // clang-format on
    }
    void state()
    {
        QFETCH(CvqJetMem, record);
        CvqFields f;
        f("toner", vqCalcTonerPercent(record))("drum", vqCalcDrumPercent(record));
        f("faults", vqFaultNames(vqCalcPex(record)))("idle", vqActivityName(vqCalcPa(record)));
        record.inprintjob = 3;
        VQ_FIELDS(f("inJob", vqActivityName(vqCalcPa(record))));
    }

    // Every field takes part in equality: a field left out would hide a change from the window. The
    // display name without a queue: the product's name without the maker's brand (as written); a
    // queue's name: tst_window.
    void stateFields()
    {
        using S = CvqState;
        // clang-format off
        const QList<void (*)(S&)> changes = {
            [](S& s) { s.connected = true; }, [](S& s) { s.vidpid.vid = "1A2B"; }, [](S& s) { s.vidpid.pid = "0101"; },
            [](S& s) { s.productName = "x"; }, [](S& s) { s.vqHasScan = 1; }, [](S& s) { s.vqPlatform = 2; },
            [](S& s) { s.instanceId = "x"; }, [](S& s) { s.queueName = "x"; }, [](S& s) { s.pa = 4; },
            [](S& s) { s.pex = int(0x80000000u); }, [](S& s) { s.tonerPercent = 50; }, [](S& s) { s.drumPercent = 0; },
            [](S& s) { s.peGuZhangSource = 2; }, [](S& s) { s.ROMVER = "V1"; }, [](S& s) { s.SN = "s"; },
            [](S& s) { s.vqComName = "COM3"; },
        };
        const QStringList names = QString("connected vid pid productName vqHasScan vqPlatform instanceId queueName pa pex tonerPercent drumPercent peGuZhangSource ROMVER SN vqComName").split(' ');
        // clang-format on
        const CvqState a;
        QVERIFY(a == CvqState());
        QCOMPARE(qMakePair(a.tonerPercent, a.drumPercent), qMakePair(-1, -1));
        for (int i = 0; i < changes.size(); ++i) {
            CvqState b;
            changes.at(i)(b);
            QVERIFY2(a != b && !(a == b), qPrintable(names.value(i) + " left out of equality"));
        }
        CvqState s;
        s.productName = "Morvane P1";
        QCOMPARE(vqDisplayName(s) + ' ' + vqWithoutBrand("morvane P2010DW"), QStringLiteral("P1 morvane P2010DW"));
    }
    // The product table and the upgrade list are the documented ones: an edit must be deliberate,
    // and one here (a capability off by one, a row lost) would pass every other test. A row: product
    // id, default layout, scan kind, platform, then the CRC-16 of vendor id and name, in hex.
    void productTable()
    {
        QCOMPARE(vqUpRomProductTypes,
                 (QStringList{"P4120W", "P5030FDN", "M5960FDW", "P3860N", "M-Series", "P-Series", "M2550DW", "P6120D",
                              "M3220F", "P2030DN", "M5650NW"}));
        const QStringList rows = QString(kProducts).split(' ');
        const auto fields = [](const QString& t) {
            return QStringList{t.left(4), t.mid(4, 1), t.mid(5, 1), t.mid(6, 1), t.mid(7)};
        };
        CvqFields f;
        for (int i = 0; i < qMax(rows.size(), vqProducts.size()); ++i) {
            const CvqProduct p = vqProducts.value(i);
            const QByteArray named = (p.vidpid.vid + p.name).toUtf8();
            const QString got =
                QString::asprintf("%s%d%d%d%04x", qPrintable(p.vidpid.pid), p.defaultPxg, int(p.vqHasScan),
                                  p.vqPlatform, qChecksum(named.constData(), uint(named.size())));
            QStringList names{"pid", "defaultPxg", "vqHasScan", "vqPlatform", "vendor and name"};
            f(names.replaceInStrings(QRegularExpression("^"), QStringLiteral("row %1 (%2) ").arg(i).arg(p.name)),
              fields(got), fields(rows.value(i)));
        }
        VQ_FIELDS(f);
    }
};

VQ_TEST_GUILESS_MAIN(TstState)
#include "tst_state.moc"
