// The serial link and its operations against the printer emulator over a
// real pseudo-terminal: disturbed answers, chunked transfers and command
// output; the HTTP operations against its web server on 127.0.0.1, on a
// worker thread (one-key print and two printers: tst_services; scans:
// tst_scanjob; statuses, short and late answers: tst_comm).
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

class TstLinkE2e : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;
    QTemporaryDir mOut;
    CvqComLink mLink;
    quint8 mStatus = 99;
    QString mErr;

    void cmd(const QString& line) { VQ_SIM_OK(mSim, line); }
    // The chunks in the printer's history (its last 256 requests), as "type:offset+length".
    QString chunks()
    {
        static const QRegularExpression chunk("^serial type=(\\d+) id=\\d+ path=\\S* offset=(\\d+) length=(\\d+)$");
        return mSim.vqHistory().filter(chunk).replaceInStrings(chunk, "\\1:\\2+\\3").join(' ');
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(mSim.vqStartOnHost({"--out", mOut.path(), "--http", "127.0.0.1:0", "--quiet"}),
                 qPrintable(mSim.vqError()));
        mLink.setPortName(mSim.vqPty());
        // Outside /tmp, which a command's output lists; too long for a control line.
        QVERIFY(mLink.open() && mLink.vqLinkPut("/var/big.txt", QByteArray(64 * 1024 + 1, 'B'), mStatus, mErr)
                && !mStatus);
        cmd("file put /var/long.txt " + QString(3000, 'L'));
    }
    void init()
    {
        cmd("reset");
        cmd("history clear");
        cmd("file put /tmp/present.txt hello");
    }

    // First, while /tmp holds only the file init() puts (a reset keeps files).
    void httpOperations_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("arg");
        QTest::addColumn<QString>("expected");  // result|output|the request as the server received it
        // clang-format off
        QTest::newRow("command with arguments") << "exe" << "ls -l /tmp" << "1|-rw-r--r-- 1 root root 5 present.txt|/vqexe/ls?-l&/tmp";
        QTest::newRow("command along") << "exea" << "/usr/local/bin/vqlcd.exe vqwbMain t" << "1||/vqexea/usr/local/bin/vqlcd.exe?vqwbMain&t";
        QTest::newRow("get: missing") << "get" << "/tmp/absent" << "0||/vqget/tmp/absent";
        QTest::newRow("empty command") << "exe" << "" << "0||";
        // clang-format on
    }
    void httpOperations()
    {
        QFETCH(QString, op);
        QFETCH(QString, arg);
        bool result = false;
        QString output;
        QByteArray bytes;
        // Worker threads have no event loop of their own: the request brings one.
        std::unique_ptr<QThread> worker(QThread::create([&] {
            CvqCommOfHttp http(mSim.vqHttp());
            result = op == "get" ? http.vqGetFile(arg, bytes)
                : op == "exe"    ? http.vqExe(arg, output, 5)
                                 : http.vqExeAlong(arg);
        }));
        worker->start();
        worker->wait();
        const QString request = mSim.vqHistory().join(',').remove(QStringLiteral("http GET "));
        QTEST(QStringLiteral("%1|%2|%3").arg(result).arg(output + bytes, request), "expected");
    }

    // Disturbed answers (frames among noise: tst_comm; each operation's
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
        QVERIFY(fault.contains("types=10") ? !mLink.vqLinkPut("/tmp/two.bin", QByteArray(2000, 'r'), mStatus, mErr)
                                           : !mLink.vqLinkHas("/tmp/present.txt", mStatus, mErr));
        QVERIFY(mLink.vqLinkHas("/tmp/absent", mStatus, mErr));
        QCOMPARE(QString::number(mStatus) + " " + mErr, QStringLiteral("1 no such file"));
    }

    // A put, then a get of it: the chunks the printer saw, and how many requests in all.
    void transfer_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty: one chunk of 0") << 0 << "10:0+0 11:0+1024 | 2";
        QTest::newRow("1024 bytes: one chunk") << 1024 << "10:0+1024 11:0+1024 | 2";
        QTest::newRow("1025 bytes: two chunks") << 1025 << "10:0+1024 10:1024+1 11:0+1024 11:1024+1024 | 4";
        QTest::newRow("1 MiB") << 1024 * 1024 << "| 2048";
    }
    void transfer()
    {
        QFETCH(int, size);
        QByteArray data(size, 'x'), back;
        QRandomGenerator(quint32(size)).fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
        const qint64 before = mSim.vqStatus().value("requests").toLongLong();
        QVERIFY(mLink.vqLinkPut("/tmp/t.bin", data, mStatus, mErr) && mStatus == 0);
        QVERIFY(mLink.vqLinkGet("/tmp/t.bin", back, mStatus, mErr) && mStatus == 0 && back == data);
        const qint64 requests = mSim.vqStatus().value("requests").toLongLong() - before;
        QTEST((size <= 4096 ? chunks() + " | " : QStringLiteral("| ")) + QString::number(requests), "expected");
    }

    void commandOutput_data()
    {
        QTest::addColumn<QString>("setup");  // a control line after a reset
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");  // ok|status|output (when ok), then the chunks fetched from a file
        // clang-format off
        QTest::newRow("inline") << "exeout inline" << "echo hello" << "1|0|hello\n|0";
        QTest::newRow("through a file, three chunks") << "exeout auto" << "cat /var/long.txt" << "1|0|" + QString(3000, 'L') + "|3";
        QTest::newRow("through a file past 64 KiB: 65 chunks, given up") << "exeout file" << "cat /var/big.txt" << "0|65";
        QTest::newRow("a program it does not have, not run here") << "exeout auto" << "/usr/bin/touch " + mSim.vqHostRoot() + "/ran" << "1|4||0";
        QTest::newRow("through a file whose fetch fails") << "linkfault truncated types=11" << "cat /var/long.txt" << "0|1";
        // clang-format on
    }
    void commandOutput()
    {
        QFETCH(QString, setup);
        QFETCH(QString, command);
        cmd(setup);
        QString out;
        const bool ok = mLink.vqLinkExe(command, out, mStatus, mErr, 10);
        const QString got = ok ? QStringLiteral("1|%1|%2").arg(int(mStatus)).arg(out) : QStringLiteral("0");
        QTEST(got + "|" + QString::number(chunks().count("11:")), "expected");
        QVERIFY(!QFileInfo::exists(mSim.vqHostRoot() + "/ran"));
    }
};

VQ_TEST_GUILESS_MAIN(TstLinkE2e)
#include "tst_link_e2e.moc"
