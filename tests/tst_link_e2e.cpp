// The serial link and its operations against the printer emulator over a
// real pseudo-terminal: disturbed answers, chunked transfers and command
// output (one-key print and two printers: tst_onekeyprint; scans:
// tst_scanjob, tst_scantopc).
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// The numbers after "key=" in the printer's history lines of one message type.
QList<qint64> historyField(const QStringList& history, int type, const QString& key)
{
    QList<qint64> out;
    const QRegularExpression value(key + QStringLiteral("=(\\d+)"));
    for (const QString& h : history) {
        const QRegularExpressionMatch m = value.match(h);
        if (h.startsWith(QStringLiteral("serial type=%1 ").arg(type)) && m.hasMatch())
            out << m.captured(1).toLongLong();
    }
    return out;
}
}  // namespace

class TstLinkE2e : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;
    QTemporaryDir mOut;
    CvqComLink mLink;

    void cmd(const QString& line) { VQ_SIM_OK(mSim, line); }
    qint64 requests() { return mSim.vqStatus().value("requests").toLongLong(); }

private slots:
    void initTestCase()
    {
        QVERIFY2(mSim.vqStartOnHost({"--out", mOut.path(), "--quiet"}), qPrintable(mSim.vqError()));
        mLink.setPortName(mSim.vqPty());
    }
    void cleanupTestCase() { mLink.close(); }
    void init()
    {
        QVERIFY(mLink.open());
        cmd("reset");
        cmd("history clear");
        cmd("file put /tmp/present.txt hello");
    }

    // Disturbed answers (frames among noise: tst_commsg; each operation's
    // reading of an answer: tst_comlink): the next exchange is clean.
    void disturbedAnswers_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("silence") << "silence";
        QTest::newRow("answer cut short") << "truncated";
        QTest::newRow("put: second chunk's offset") << "wrongoffset types=10 after=1";
    }
    void disturbedAnswers()
    {
        QFETCH(QString, fault);
        cmd("linkfault " + fault);
        quint8 status = 99;
        QString err = "x";
        QVERIFY(fault.contains("types=10") ? !mLink.vqLinkPut("/tmp/two.bin", QByteArray(2000, 'r'), status, err)
                                           : !mLink.vqLinkHas("/tmp/present.txt", status, err));
        QVERIFY(mLink.vqLinkHas("/tmp/absent", status, err));
        QCOMPARE(int(status), 1);
        QCOMPARE(err, QStringLiteral("no such file"));
    }

    void transfer_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("empty: one chunk of 0") << 0;
        QTest::newRow("1024 bytes: one chunk") << 1024;
        QTest::newRow("1025 bytes: two chunks") << 1025;
        QTest::newRow("1 MiB") << 1024 * 1024;
    }
    void transfer()
    {
        QFETCH(int, size);
        QByteArray data(size, Qt::Uninitialized);
        QRandomGenerator rng(quint32(size) + 7);
        for (char& c : data)
            c = char(rng.bounded(256));
        QList<qint64> lengths, offsets;
        for (qint64 off = 0; off < size || lengths.isEmpty(); off += 1024) {
            lengths << qMin<qint64>(1024, size - off);
            offsets << off;
        }
        const qint64 before = requests();
        quint8 status = 99;
        QString err;
        QVERIFY(mLink.vqLinkPut("/tmp/t.bin", data, status, err) && status == 0);
        if (size <= 4096) {  // the history holds the last 256 requests
            const QStringList h = mSim.vqHistory();
            QCOMPARE(historyField(h, 10, "length"), lengths);
            QCOMPARE(historyField(h, 10, "offset"), offsets);
        }
        cmd("history clear");
        QByteArray back;
        QVERIFY(mLink.vqLinkGet("/tmp/t.bin", back, status, err) && status == 0 && back == data);
        if (size <= 4096)
            QCOMPARE(historyField(mSim.vqHistory(), 11, "offset"), offsets);
        // One put and one get per chunk, nothing more.
        QCOMPARE(requests() - before, qint64(2 * lengths.size()));
    }

    void commandOutput_data()
    {
        QTest::addColumn<QString>("setup");  // a control line after "exeout file"
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");  // ok|status|output (when ok), then the chunks fetched from a file
        // clang-format off
        QTest::newRow("inline") << "exeout inline" << "echo hello" << "1|0|hello\n|0";
        QTest::newRow("through a file, three chunks") << "exeout auto" << "cat /tmp/long.txt" << "1|0|" + QString(3000, 'L') + "|3";
        QTest::newRow("through a file past 64 KiB: 65 chunks, given up") << "exeout file" << "cat /tmp/big.txt" << "0|65";
        QTest::newRow("a program it does not have") << "exeout auto" << "/sbin/reboot now" << "1|4||0";
        QTest::newRow("through a file whose fetch fails") << "linkfault truncated types=11" << "echo hello" << "0|1";
        // clang-format on
    }
    void commandOutput()
    {
        QFETCH(QString, setup);
        QFETCH(QString, command);
        cmd("file put /tmp/long.txt " + QString(3000, 'L'));
        cmd("exeout file");
        cmd(setup);
        quint8 status = 99;
        QString err, out;
        if (command.contains("big"))  // too long for a control line
            QVERIFY(mLink.vqLinkPut("/tmp/big.txt", QByteArray(64 * 1024 + 1, 'B'), status, err) && status == 0);
        cmd("history clear");
        QString got =
            mLink.vqLinkExe(command, out, status, err, 10) ? QStringLiteral("1|%1|%2").arg(int(status)).arg(out) : "0";
        QTEST(got + "|" + QString::number(historyField(mSim.vqHistory(), 11, "offset").size()), "expected");
    }
};

VQ_TEST_GUILESS_MAIN(TstLinkE2e)
#include "tst_link_e2e.moc"
