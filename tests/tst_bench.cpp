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
    CvqHostScope mHostScope{&mCounting};
    std::unique_ptr<FvqMain> mWin;  // last: the window closes before the host goes

    void cmd(const QString& line) { VQ_SIM_OK(mSim, line); }
    QString text(const char* edit) { return mWin->findChild<QTextEdit*>(edit)->toPlainText(); }
    void click(const char* button) { mWin->findChild<QPushButton*>(button)->click(); }
    const char* has(const char* edit, const QString& what) { return text(edit).contains(what) ? "+" : "-"; }

private slots:
    void initTestCase()
    {
        QVERIFY2(mSim.vqStartOnHost({"--printers", "2", "--http", "127.0.0.1:0"}), qPrintable(mSim.vqError()));
        qputenv("VQ_BENCH_COM", mSim.vqPty().toLocal8Bit());
        qputenv("VQ_BENCH_HTTP", mSim.vqHttp().toLocal8Bit());
        mWin.reset(new FvqMain);
    }

    // Every device is read, queue or not; the low-level cycle matches whole
    // vendors, so it also lists a model the bench's table does not know, and
    // the poll leaves that one out. p1 is a plain printer, p2 a scanner model.
    void cycles()
    {
        cmd("@p2 unplug queue");
        cmd("add p3 model=M-Series");  // beyond the bench table's 84 rows
        click("pushButton");
        click("pushButton_3");
        QString seen;  // per printer: queued, its text read, parsed; its scanner flag as polled
        for (const char* name : {"p1", "p2", "p3"}) {
            const QString id = mSim.vqInstanceId(name), key = vqToStr(id);
            seen += QString(" ") + name + has("textEdit_2", key) + has("textEdit_3", id + " : MFG:")
                + has("textEdit_4", id + " : CvqJetMem(true,")
                + text("textEdit_5").section(key, 1).section("vqHasScan=", 1, 1).section(' ', 0, 1);
        }
        QCOMPARE(seen, " p1+++ false p2-++ true p3+++");
        cmd("remove p3");
        cmd("@p2 plug");
    }

    // Each link's operations on a file the printer holds. The emulator runs no
    // ping and no vqdowbMain; the second delete finds nothing.
    void remoteOps_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("path");
        QTest::newRow("usb") << "pushButton_4"
                             << "/tmp/1.txt";
        QTest::newRow("http") << "pushButton_7"
                              << "/tmp/vqkeltoscans/1.txt";
    }
    void remoteOps()
    {
        QFETCH(QString, button);
        QFETCH(QString, path);
        cmd("file put " + path + " hello");
        CvqDebugCapture log;
        click(qPrintable(button));
        QCOMPARE(log.take().filter(QRegularExpression("^test ")),
                 QStringList({"test vqGetFile true \"hello\"", "test vqHasFile true", "test vqDelFile true",
                              "test vqDelFile false", "test vqExe false \"\"", "test vqExeAlong false"}));
    }

    // A whole scan job over the serial link: a file per page, named by the job's task id. p1, a plain
    // model, answers as a scanner here: the bench asks no model.
    void scan()
    {
        QTemporaryDir out;
        qputenv("VQ_BENCH_SCANDIR", out.path().toLocal8Bit());
        cmd("scanner ok");
        cmd("scanjob pages=2 interval=50");
        click("pushButton_5");
        QStringList files = QDir(out.path()).entryList(QDir::Files);
        QCOMPARE(text("textEdit_5") + files.replaceInStrings(QRegularExpression("^scan\\d+"), "@").join(' '),
                 "0 @_0001.jpg @_0002.jpg");
    }

    // Last: the stop signal is process-wide and never lowered.
    void closesMidCycle()
    {
        QSignalSpy finished(mWin->vqCoreTrd(), &QThread::finished);
        mCounting.holdNextMs = 300;
        QVERIFY(mCounting.entered.tryAcquire(1, 20000));
        mWin.reset();
        QCOMPARE(finished.count(), 1);
    }
};

QTEST_MAIN(TstBench)
#include "tst_bench.moc"
