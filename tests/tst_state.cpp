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

// 36 plain hex digits: count 1234, job 01, status bytes 00..09, crum 1A, t 2710, d 1F40.
static const QByteArray kSts36 = QByteArrayLiteral("123401000102030405060708091A27101F40");

class TstState : public QObject
{
    Q_OBJECT
private slots:
    void parseDeviceId_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("defaultPxg");
        QTest::addColumn<QString>("expected");  // ok|MDL|SN|EX|ROMVER|PXG|TLL|AllPrintCount
        // clang-format off
        QTest::newRow("42 digits fill AllPrintCount") << "MDL:X;STS:" + QString::fromLatin1(vqShiftSts(kSts36 + "00ABCD")) << 2 << "1|X||||2|10|abcd";
        QTest::newRow("full text") << "MFG:M;CMD:PCL;MDL:P1;EX:e;ROMVER:V1.3.6406;SN:QV1;PXG:3;TLL:15;STS:" + QString::fromLatin1(vqShiftSts(kSts36)) << 1 << "1|P1|QV1|e|V1.3.6406|3|15|0";
        QTest::newRow("values trimmed, a colon in one, the later duplicate") << "MDL:A;MDL:  X ; SN : a:b " << 1 << "1|X|a:b|||1|10|0";
        QTest::newRow("PXG 0 takes default") << "MDL:X;PXG:0" << 2 << "1|X||||2|10|0";
        QTest::newRow("PXG not a number takes default") << "MDL:X;PXG:3x" << 2 << "1|X||||2|10|0";
        QTest::newRow("PXG and default below 1 give 1") << "MDL:X;PXG:-4" << 0 << "1|X||||1|10|0";
        QTest::newRow("TLL 0 gives 10") << "MDL:X;TLL:0" << 1 << "1|X||||1|10|0";
        QTest::newRow("key is case-sensitive, no colon skipped") << "mdl:X;MDL" << 1 << "0|||||1|10|0";
        QTest::newRow("STS not shifted") << "MDL:X;STS:" + QString::fromLatin1(kSts36) << 1 << "0|X||||1|10|0";
        // clang-format on
    }
    void parseDeviceId()
    {
        QFETCH(QString, text);
        QFETCH(int, defaultPxg);
        CvqDebugCapture quiet;
        const CvqJetMem m = vqParseDeviceId(text, defaultPxg);
        QTEST(QString::asprintf("%d|%s|%s|%s|%s|%d|%d|%x", m.ok, qUtf8Printable(m.mdl), qUtf8Printable(m.sn),
                                qUtf8Printable(m.ex), qUtf8Printable(m.romver), m.vqPXG, m.vqTLL, m.AllPrintCount),
              "expected");
    }

    // Fields in wire order; a failure keeps the fields read before it.
    void sts_data()
    {
        QTest::addColumn<QByteArray>("plain");
        // ok, then in hex: count, job, status bytes 0, 7 and 9, crum, t, d; then the log
        QTest::addColumn<QString>("expected");
        const QString none = "0 0 0 0 0 0 0 0 0", shortCount = none + " (vq)status_print_count too short or not hex";
        // clang-format off
        QTest::newRow("fields in order") << kSts36 << "1 1234 1 0 7 9 1a 2710 1f40";
        QTest::newRow("F digits (wire W)") << "FFFF" + kSts36.mid(4) << "1 ffff 1 0 7 9 1a 2710 1f40";
        QTest::newRow("lower-case digits") << "af09" + kSts36.mid(4) << "1 af09 1 0 7 9 1a 2710 1f40";
        QTest::newRow("empty") << QByteArray() << none;
        QTest::newRow("status byte 3 bad") << QByteArray("123401000102G3") << "0 1234 1 0 0 0 0 0 0 (vq)status_bytes[ 3 ] too short or not hex";
        QTest::newRow("35 digits") << kSts36.left(35) << "0 1234 1 0 7 9 1a 2710 0 (vq)crum_d_percent too short or not hex";
        QTest::newRow("all digits 0") << QByteArray(36, '0') << none;
        QTest::newRow("a 0 byte ends the text") << "1234\xEF" + kSts36.mid(4) << "0 1234 0 0 0 0 0 0 0 (vq)inprintjob too short or not hex";
        // The characters next to the digit ranges.
        for (const char* bad : {"/", ":", "@", "G", "`", "g"})
            QTest::addRow("%s is no digit", bad) << "123" + QByteArray(bad) + kSts36.mid(4) << shortCount;
        // clang-format on
    }
    void sts()
    {
        QFETCH(QByteArray, plain);
        CvqDebugCapture debug;
        CvqJetMem m;
        const bool ok = vqParseSts(m, QString::fromLatin1(vqShiftSts(plain)));
        const QString got =
            QString::asprintf("%d %x %x %x %x %x %x %x %x", ok, m.job_printed_count, m.inprintjob, m.status_bytes[0],
                              m.status_bytes[7], m.status_bytes[9], m.crum_status, m.crum_t_percent, m.crum_d_percent);
        QTEST((QStringList(got) + debug.lines()).join(' '), "expected");
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

    // A record -> toner, drum, [fault bits], activity when idle and in a job. The
    // rules between bits are here; each plain byte-to-bit mapping is checked end
    // to end through the emulator (tst_printersim).
    void state_data()
    {
        QTest::addColumn<CvqJetMem>("record");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("pxg2 toner out, drum low") << record(2, 0x1A, 0, 149) << "0 1 [9,29] 0 6";
        QTest::newRow("pxg2 toner at threshold") << record(2, 0x1A, 1000, 6000) << "10 60 [19] 0 6";
        QTest::newRow("pxg2 toner above threshold") << record(2, 0x1A, 1050, 6000) << "11 60 [] 0 6";
        QTest::newRow("pxg2 no toner box") << record(2, 0x19, 0, 8000) << "-1 80 [15] 0 6";
        QTest::newRow("pxg2 no drum") << record(2, 0x16, 500, 0) << "5 -1 [19,28] 0 6";
        QTest::newRow("pxg2 no drum ignored") << record(2, 0x16, 500, 0, -10) << "5 -1 [19] 0 6";
        QTest::newRow("pxg1 counter 0 present") << record(1, 0x18, 0, 0) << "0 -1 [30] 0 6";
        QTest::newRow("pxg1 low") << record(1, 0x18, 0, 500) << "5 -1 [29] 0 6";
        QTest::newRow("pxg1 no cartridge") << record(1, 0x14, 0, 500) << "5 -1 [28] 0 6";
        QTest::newRow("pxg3 toner counter, drum bits") << record(3, 0x12, 900, 0) << "9 -1 [29] 0 6";
        QTest::newRow("pxg3 no cartridge") << record(3, 0x11, 900, 0, -10) << "9 -1 [28] 0 6";
        QTest::newRow("rounding half up") << record(2, 0x1A, 150, 50) << "2 1 [19,29] 0 6";
        QTest::newRow("threshold 50") << record(2, 0x1A, 5000, 5100, 50) << "50 51 [19] 0 6";
        QTest::newRow("no crum bit 4: nothing") << record(2, 0x0F, 0, 0) << "-1 -1 [] 0 6";
        QTest::newRow("LSU data wins over transfer") << record(2, 0x0A, 0, 0, 10, 2, 0x03) << "-1 -1 [17] 0 6";
        QTest::newRow("drum door hides trays") << record(2, 0x0A, 0, 0, 10, 4, 0x09) << "-1 -1 [27] 0 6";
        QTest::newRow("tray 1 low") << record(2, 0x0A, 0, 0, 10, 4, 0x00) << "-1 -1 [1] 0 6";
        QTest::newRow("tray 1 empty") << record(2, 0x0A, 0, 0, 10, 4, 0x81) << "-1 -1 [25] 0 6";
        QTest::newRow("tray 2 empty") << record(2, 0x0A, 0, 0, 10, 4, 0xB0) << "-1 -1 [2] 0 6";
        QTest::newRow("tray 2 empty wins over low") << record(2, 0x0A, 0, 0, 10, 4, 0xF0) << "-1 -1 [2] 0 6";
        QTest::newRow("tray 2 ignored without bit 4") << record(2, 0x0A, 0, 0, 10, 4, 0xE0) << "-1 -1 [] 0 6";
        QTest::newRow("both trays") << record(2, 0x0A, 0, 0, 10, 4, 0x70) << "-1 -1 [1,2] 0 6";
        QTest::newRow("paper source only") << record(2, 0x0A, 0, 0, 10, 6, 0xFE) << "-1 -1 [] 0 6";
        QTest::newRow("byte 9 unused") << record(2, 0x0A, 0, 0, 10, 9, 0xFF) << "-1 -1 [] 0 6";
        QTest::newRow("activity 0") << record(2, 0x0A, 0, 0, 10, 7, 0) << "-1 -1 [] 2 6";
        QTest::newRow("activity 2") << record(2, 0x0A, 0, 0, 10, 7, 2) << "-1 -1 [] 4 4";
        QTest::newRow("activity 5") << record(2, 0x0A, 0, 0, 10, 7, 5) << "-1 -1 [] 7 7";
        QTest::newRow("activity 255") << record(2, 0x0A, 0, 0, 10, 7, 255) << "-1 -1 [] 2 6";
        // clang-format on
    }
    void state()
    {
        QFETCH(CvqJetMem, record);
        QStringList bits;  // the fault word as its bit numbers, "9,29"
        for (int n = 0; n < 32; ++n)
            if (quint32(vqCalcPex(record)) >> n & 1)
                bits << QString::number(n);
        const QString got = QString::asprintf("%d %d [%s] %d", vqCalcTonerPercent(record), vqCalcDrumPercent(record),
                                              qPrintable(bits.join(',')), vqCalcPa(record));
        record.inprintjob = 3;
        QTEST(got + " " + QString::number(vqCalcPa(record)), "expected");
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
        // clang-format on
        const CvqState a;
        QVERIFY(a == CvqState());
        QCOMPARE(qMakePair(a.tonerPercent, a.drumPercent), qMakePair(-1, -1));
        for (int i = 0; i < changes.size(); ++i) {
            CvqState b;
            changes.at(i)(b);
            QVERIFY2(a != b && !(a == b), qPrintable(QString::number(i)));
        }
        CvqState s;
        s.productName = "Morvane P1";
        QCOMPARE(vqDisplayName(s) + ' ' + vqWithoutBrand("morvane P2010DW"), QStringLiteral("P1 morvane P2010DW"));
    }
    // The product table and the upgrade list are the documented ones: an edit must be deliberate,
    // and one here (a capability off by one, a row lost) would pass every other test.
    void productTable()
    {
        QStringList rows = vqUpRomProductTypes;
        for (const CvqProduct& p : vqProducts)
            rows << QString::asprintf("%s %s %d %d %d", qUtf8Printable(p.vidpid.vid + p.vidpid.pid),
                                      qUtf8Printable(p.name), p.defaultPxg, int(p.vqHasScan), p.vqPlatform);
        QCOMPARE(QCryptographicHash::hash(rows.join('\n').toUtf8(), QCryptographicHash::Sha256).toHex().left(16),
                 "558a0c57be3b4ff2");
    }
};

VQ_TEST_GUILESS_MAIN(TstState)
#include "tst_state.moc"
