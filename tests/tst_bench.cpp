// The test bench window on the simulated host, its buttons against the
// printer emulator (serial over a pseudo-terminal, HTTP on 127.0.0.1), and
// its shutdown while the core thread is inside a cycle. Its change log is one
// append of what tst_host checks the core thread sends.
#include "fvqmain.h"
#include "vqcountinghost.h"
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QtTest>
#include <QtWidgets>

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
        click("pushButton");
        for (const QString& id : {p1, p2, p3})
            QVERIFY2(text("textEdit").contains(vqToStr(id)) && text("textEdit_3").contains(id + " : MFG:")
                         && text("textEdit_4").contains(id + " : CvqJetMem(true,"),
                     qPrintable(id));
        QVERIFY(text("textEdit_2").contains(vqToStr(p1)) && !text("textEdit_2").contains(vqToStr(p2)));
        click("pushButton_3");
        const QString polled = text("textEdit_5");
        QVERIFY(polled.contains(vqToStr(p1)) && polled.contains(vqToStr(p2)) && !polled.contains(vqToStr(p3)));
        // p1 is a plain printer, p2 a scanner model.
        QStringList scanners;
        for (auto it = QRegularExpression("vqHasScan=\\s*(\\w+)").globalMatch(polled); it.hasNext();)
            scanners << it.next().captured(1);
        QCOMPARE(scanners, QStringList({"false", "true"}));
        cmd("remove p3");
        cmd("@p2 plug");
    }

    // The last request as the printer saw it, per link.
    void remoteOps_data()
    {
        // clang-format off
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("along");
        QTest::newRow("usb") << "pushButton_4" << "/tmp/1.txt" << "serial type=16 id=5 cmd=/usr/local/bin/vqlcd.out vqdowbMain ";
        QTest::newRow("http") << "pushButton_7" << "/tmp/vqkeltoscans/1.txt" << "http GET /vqexea/usr/local/bin/vqlcd.out?vqdowbMain&";
        // clang-format on
    }
    void remoteOps()
    {
        QFETCH(QString, button);
        QFETCH(QString, path);
        cmd("file put " + path + " hello");
        CvqDebugCapture log;
        click(qPrintable(button));
        // The emulator runs no ping and no vqdowbMain; the second delete finds nothing.
        QCOMPARE(log.take().filter(QRegularExpression("^test ")),
                 QStringList({"test vqGetFile true \"hello\"", "test vqHasFile true", "test vqDelFile true",
                              "test vqDelFile false", "test vqExe false \"\"", "test vqExeAlong false"}));
        const QStringList history = mSim.vqHistory();
        QVERIFY2(history.size() == 6 && history.first().contains(path), qPrintable(history.join('\n')));
        QTEST(history.last(), "along");
    }

    // A whole scan job of the scanner model over its serial link: a page, a file.
    void scan()
    {
        QTemporaryDir out;
        qputenv("VQ_BENCH_COM", mSim.vqPty("p2").toLocal8Bit());
        qputenv("VQ_BENCH_SCANDIR", out.path().toLocal8Bit());
        cmd("@p2 scanjob pages=2 interval=50");
        click("pushButton_5");
        qputenv("VQ_BENCH_COM", mSim.vqPty().toLocal8Bit());
        QCOMPARE(text("textEdit_5"), QStringLiteral("0 "));
        const QStringList files = QDir(out.path()).entryList(QDir::Files);
        QCOMPARE(files.filter(QRegularExpression("^scan\\d+_000[12]\\.jpg$")).size(), 2);
    }

    // Last: the stop signal is process-wide and never lowered.
    void closesMidCycle()
    {
        QSignalSpy finished(mWin->vqCoreTrd(), &QThread::finished);
        mCounting.holdNextMs = 300;
        QVERIFY(mCounting.entered.tryAcquire(1, 20000));
        delete mWin;
        mWin = nullptr;
        QCOMPARE(finished.count(), 1);
    }
};

QTEST_MAIN(TstBench)
#include "tst_bench.moc"
