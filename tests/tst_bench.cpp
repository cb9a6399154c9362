// The test bench window on the simulated host, its buttons against the
// printer emulator (serial over a pseudo-terminal, HTTP on 127.0.0.1), its
// change log, and its shutdown while the core thread is inside a cycle.
#include "fvqmain.h"
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include "vqcountinghost.h"

#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextEdit>
#include <QtTest>

#include <memory>

class TstBench : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;
    CvqCountingSimHost mCounting;
    FvqMain* mWin = nullptr;
    std::unique_ptr<CvqHostScope> mHostScope;

    void cmd(const QString& line) { VQ_SIM_OK(mSim, line); }
    QString text(const char* edit) { return mWin->findChild<QTextEdit*>(edit)->toPlainText(); }
    void click(const char* button) { mWin->findChild<QPushButton*>(button)->click(); }
    int changeEntries() { return text("textEdit_6").count(QStringLiteral("QMap(")); }
    QString lastChange() { return text("textEdit_6").section(QStringLiteral("QMap("), -1); }
    // Runs a control line while the core thread waits at the start of a
    // cycle, so the next cycle sees its whole effect, never a part.
    bool betweenCycles(const QString& line)
    {
        mCounting.holdNextMs = 20000;
        const bool held = mCounting.entered.tryAcquire(1, 20000);
        const bool ok = mSim.vqOk(line);
        mCounting.release.release();
        return held && ok;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(mSim.vqStartOnHost({"--printers", "2", "--http", "127.0.0.1:0", "--quiet"}),
                 qPrintable(mSim.vqError()));
        QVERIFY(mSim.vqHttp().startsWith("127.0.0.1:"));
        qputenv("VQ_BENCH_COM", mSim.vqPty().toLocal8Bit());
        qputenv("VQ_BENCH_HTTP", mSim.vqHttp().toLocal8Bit());
        mHostScope.reset(new CvqHostScope(&mCounting));
        mWin = new FvqMain;
    }
    void cleanupTestCase()
    {
        delete mWin;
        mHostScope.reset();
    }
    void init()
    {
        cmd("use p1");
        cmd("history clear");
    }

    // Every device is read, queue or not; the low-level cycle matches whole
    // vendors, so it also lists a model the bench's table does not know.
    void cycles()
    {
        cmd("@p2 unplug queue");
        cmd("add p3 model=M-Series");  // beyond the bench table's 84 rows
        const QString p1 = mSim.vqInstanceId("p1"), p2 = mSim.vqInstanceId("p2"), p3 = mSim.vqInstanceId("p3");
        QVERIFY(!p3.isEmpty());
        const auto key = [](const QString& id) { return vqToStr(id); };  // as the maps quote it

        click("pushButton");
        for (const QString& id : {p1, p2, p3}) {
            QVERIFY2(text("textEdit").contains(key(id)), qPrintable(id));
            QVERIFY2(text("textEdit_3").contains(id + " : MFG:"), qPrintable(id));
            QVERIFY2(text("textEdit_4").contains(id + " : CvqJetMem(true,"), qPrintable(id));
        }
        QVERIFY(text("textEdit_2").contains(key(p1)));
        QVERIFY(!text("textEdit_2").contains(key(p2)));

        click("pushButton_2");
        const QString polled = text("textEdit_5");
        QVERIFY(polled.contains(key(p1)) && polled.contains(key(p2)));
        QVERIFY2(!polled.contains(key(p3)), qPrintable(polled));
        // p1 is a plain printer, p2 a scanner model.
        const QRegularExpression flags("vqHasScan=\\s*(\\w+)");
        QStringList seen;
        for (auto it = flags.globalMatch(polled); it.hasNext();)
            seen << it.next().captured(1);
        QCOMPARE(seen, QStringList({"false", "true"}));

        CvqDebugCapture log;
        click("pushButton_3");
        QStringList expected;
        for (uint c : text("textEdit_5").toUcs4())
            expected << QString::number(c);
        QCOMPARE(log.take(), expected);

        cmd("remove p3");
        cmd("@p2 plug");
    }

    void remoteOps_data()
    {
        // clang-format off
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("along");  // the last request as the printer saw it
        QTest::newRow("usb") << "pushButton_4" << "/tmp/1.txt"
                             << "serial type=16 id=5 cmd=/usr/local/bin/vqlcd.out vqdowbMain ";
        QTest::newRow("http") << "pushButton_7" << "/tmp/vqkeltoscans/1.txt"
                              << "http GET /vqexea/usr/local/bin/vqlcd.out?vqdowbMain&";
        // clang-format on
    }
    void remoteOps()
    {
        QFETCH(QString, button);
        QFETCH(QString, path);
        QFETCH(QString, along);
        cmd("file put " + path + " hello");
        CvqDebugCapture log;
        click(qPrintable(button));
        const QStringList lines = log.take().filter(QRegularExpression("^test "));
        // The emulator runs no ping and no vqdowbMain; the second delete finds nothing.
        QCOMPARE(lines,
                 QStringList({"test vqGetFile true \"hello\"", "test vqHasFile true", "test vqDelFile true",
                              "test vqDelFile false", "test vqExe false \"\"", "test vqExeAlong false"}));
        const QStringList history = mSim.vqHistory();
        QCOMPARE(history.size(), 6);
        QVERIFY2(history.first().contains(path), qPrintable(history.first()));
        QCOMPARE(history.last(), along);
    }

    // A whole scan job of the scanner model over its serial link.
    void scan()
    {
        QTemporaryDir out;
        qputenv("VQ_BENCH_COM", mSim.vqPty("p2").toLocal8Bit());
        qputenv("VQ_BENCH_SCANDIR", out.path().toLocal8Bit());
        cmd("@p2 scanjob pages=2 interval=50");
        CvqDebugCapture log;
        click("pushButton_5");
        qputenv("VQ_BENCH_COM", mSim.vqPty().toLocal8Bit());
        QCOMPARE(text("textEdit_5"), QStringLiteral("0 "));
        QVERIFY(log.take().contains("0 \"\""));
        // inputMode stays 0, and still every page keeps a file of its own.
        const QStringList files = QDir(out.path()).entryList(QDir::Files);
        QCOMPARE(files.size(), 2);
        for (int n = 0; n < 2; ++n)
            QVERIFY2(QRegularExpression(QString("^scan\\d+_000%1\\.jpg$").arg(n + 1)).match(files[n]).hasMatch(),
                     qPrintable(files[n]));
    }

    void changeLog()
    {
        const QString p2 = vqToStr(mSim.vqInstanceId("p2"));
        QVERIFY(betweenCycles("@p2 unplug"));
        // Two cycles later every earlier change has been sent; take them in.
        QVERIFY(mCounting.waitCycles(2));
        QCoreApplication::processEvents();
        QVERIFY(!lastChange().contains(p2));
        const int before = changeEntries();
        QVERIFY(betweenCycles("@p2 plug"));
        QTRY_COMPARE_WITH_TIMEOUT(changeEntries(), before + 1, 20000);
        QVERIFY(lastChange().contains(p2));
        QVERIFY(mCounting.waitCycles(3));
        QCoreApplication::processEvents();
        QCOMPARE(changeEntries(), before + 1);
    }

    // Last: the stop signal is process-wide and never lowered.
    void closesMidCycle()
    {
        QSignalSpy finished(mWin->vqCoreTrd(), &QThread::finished);
        mCounting.holdNextMs = 300;
        QVERIFY(mCounting.entered.tryAcquire(1, 20000));
        QElapsedTimer t;
        t.start();
        delete mWin;
        mWin = nullptr;
        qInfo() << "closed in" << t.elapsed() << "ms";
        QCOMPARE(finished.count(), 1);
    }
};

QTEST_MAIN(TstBench)
#include "tst_bench.moc"
