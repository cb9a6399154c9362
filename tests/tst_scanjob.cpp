// The scan job: its checks and job-state reading, the file sink, and whole
// jobs against the emulator over USB and HTTP.
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QtTest>

#include <csignal>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {
QString state(int run, const QString& tp, const QString& code)
{
    return QStringLiteral("vqscanjob.vqjobrun: %1\nvqscanjob.vqjobtp: %2\nvqscanjob.vqjobrstcode: %3\n"
                          "vqscanjob.vqjobwaitflag: 0")
        .arg(run)
        .arg(tp, code);
}

// Pauses of a few milliseconds instead of seconds.
bool quickSleep(int ms)
{
    QThread::msleep(ulong(qMin(ms, 5)));
    return false;
}
}  // namespace

class TstScanJob : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;
    QTemporaryDir mSimOut;

    CvqScanParams params(const QString& dir, int hostTp = 2)
    {
        CvqScanParams p;
        p.vqScannerHostTp = hostTp;
        p.vqScannerHost = hostTp == 1 ? mSim.vqHttp() : mSim.vqPty();
        p.taskId = "t" + QString::number(QDateTime::currentMSecsSinceEpoch());
        p.inputMode = 1;
        p.saveToFileFormat = QStringLiteral("jpg");
        p.scanPaperSizeTypeEngName = QStringLiteral("A4");
        p.vqOutDir = dir;
        return p;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(mSim.vqStartOnHost({"--http", "127.0.0.1:0", "--out", mSimOut.path(), "--quiet"}),
                 qPrintable(mSim.vqError()));
    }
    void init()
    {
        mSim.vqCmd("scan stop");  // what an earlier row left running; refused when none runs
        for (const char* line :
             {"reset", "scanner ok", "scanjob pages=1 parts=0 interval=100 result=0", "history clear"})
            VQ_SIM_OK(mSim, line);
    }

    // Running jobs, and a reply's layout; the finished codes come through the emulator below.
    void jobState_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("scan from the PC running") << state(1, "1", "0") << 10;
        QTest::newRow("scan to PC running") << state(1, "11", "0") << 11;
        QTest::newRow("other job running") << state(2, "5", "0") << 12;
        QTest::newRow("unknown code") << state(0, "1", "12") << 8;
        QTest::newRow("a later line wins, pieces trimmed")
            << state(1, "1", "0") + "\n  x.vqscanjob.vqjobrun :  0 \n" << 0;
        // clang-format on
    }
    void jobState()
    {
        QFETCH(QString, text);
        QTEST(vqParseScanJobState(text), "expected");
    }

    // The accepted formats and input modes, and the output directory's question.
    void checkParams_data()
    {
        // clang-format off
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("inputMode");
        QTest::addColumn<QString>("sub");  // below a fresh directory; empty: the directory itself
        QTest::addColumn<int>("answer");   // -1: no question expected
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("err");
        QTest::newRow("format in capitals, mode 128") << "TIFF" << 128 << "" << -1 << true << "before";
        QTest::newRow("missing directory, Yes creates it") << "jpg" << 0 << "new/sub" << 1 << true << "before";
        QTest::newRow("missing directory, No") << "jpg" << 1 << "new/sub" << 0 << false << "before";
        QTest::newRow("directory cannot be made") << "jpg" << 1 << "file/sub" << 1 << false << "目录 %1/file/sub 创建错误";
        QTest::newRow("format gif") << "gif" << 1 << "" << -1 << false << "saveToFileFormat错误";
        QTest::newRow("input mode 2") << "png" << 2 << "" << -1 << false << "inputMode错误";
        // clang-format on
    }
    void checkParams()
    {
        QFETCH(QString, sub);
        QFETCH(int, answer);
        QTemporaryDir dir;
        QFile(dir.filePath("file")).open(QIODevice::WriteOnly);
        CvqScanParams p = params(sub.isEmpty() ? dir.path() : dir.filePath(sub));
        QFETCH(QString, format);
        QFETCH(int, inputMode);
        p.saveToFileFormat = format;
        p.inputMode = inputMode;
        CvqDoScan scan;
        QStringList asked;
        const CvqDoScan::Ask ask = [&](const QString& title, const QString& text) {
            asked << title + "|" + text;
            return answer == 1;
        };
        QString got = "before";
        QTEST(scan.vqCheckParams(p, ask, got), "ok");
        QFETCH(QString, err);
        QCOMPARE(got, QString(err).replace("%1", dir.path()));
        QCOMPARE(asked, answer < 0 ? QStringList() : QStringList("确认|目录 " + p.vqOutDir + " 不存在, 创建吗?"));
        QCOMPARE(QDir(p.vqOutDir).exists(), answer != 0 && !sub.startsWith("file"));

        // Off the GUI thread nobody is asked, and No stands.
        if (answer == 1 && QDir(p.vqOutDir).removeRecursively()) {
            CvqWarningGuard warnings;
            bool ok = true;
            std::unique_ptr<QThread> t(QThread::create([&] { ok = scan.vqCheckParams(p, ask, got); }));
            t->start();
            QVERIFY(t->wait(10000));
            QVERIFY(!ok && asked.size() == 1 && !QDir(p.vqOutDir).exists());
            QCOMPARE(warnings.take().size(), 1);
        }
    }

    // A page the disk cannot hold is a storage error, never a short file
    // reported as done; so are pages beyond the job's bounds (here 3 pages, and
    // a page's or the job's bytes as given; the pages before them stay).
    void storage_data()
    {
        // clang-format off
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("out");  // the output directory: "dir", "gone", or "full" after 1000 bytes
        QTest::addColumn<int>("pageBytes");  // an emulated page: 4013 bytes
        QTest::addColumn<int>("jobBytes");
        QTest::addColumn<int>("kept");  // files
        QTest::newRow("output directory gone") << "scanjob pages=1 parts=0" << "gone" << 65536 << 65536 << 0;
#ifdef Q_OS_UNIX  // a full disk is played by the file size limit
        QTest::newRow("disk full inside a page") << "scanjob pages=1 parts=0" << "full" << 65536 << 65536 << 1;
#endif
        QTest::newRow("a fourth page") << "scanjob pages=4 parts=0" << "dir" << 65536 << 65536 << 3;
        QTest::newRow("a parted page past its bound") << "scanjob pages=1 parts=2" << "dir" << 4000 << 65536 << 1;
        QTest::newRow("a job past its bound") << "scanjob pages=3 parts=0" << "dir" << 65536 << 10000 << 2;
        // clang-format on
    }
    void storage()
    {
        QFETCH(QString, setup);
        QFETCH(QString, out);
        QFETCH(int, pageBytes);
        QFETCH(int, jobBytes);
        VQ_SIM_OK(mSim, setup);
        QTemporaryDir dir;
        CvqSeamScope<CvqLinkSeams> seams;
        seams->scanPause = quickSleep;
        CvqDoScan scan;
        scan.vqBounds = {pageBytes, 3, jobBytes};
        QString err;
#ifdef Q_OS_UNIX
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        if (out == "full") {
            signal(SIGXFSZ, SIG_IGN);
            rlimit small = old;
            small.rlim_cur = 1000;
            QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        }
#endif
        const int code = scan.vqDoScan(params(out == "gone" ? dir.filePath("gone") : dir.path()), err);
#ifdef Q_OS_UNIX
        setrlimit(RLIMIT_FSIZE, &old);
#endif
        QCOMPARE(code, 252);
        QCOMPARE(err, QStringLiteral("文件存储错误"));
        QTEST(int(QDir(dir.path()).entryList(QDir::Files).size()), "kept");
    }

    // The file sink refuses a write outside a page and a name that is a path.
    void fileSinkRefuses()
    {
        QTemporaryDir top;
        QVERIFY(QDir(top.path()).mkdir("out"));
        CvqScanOuterOfFile early(top.filePath("out"), "t1", "jpg");
        QVERIFY(early.vqBeginJob() && !early.vqWrite("A") && early.vqEndJob());
        CvqScanOuterOfFile escape(top.filePath("out"), "../x", "jpg");
        QVERIFY(escape.vqBeginJob() && escape.vqBeginPage(1) && !escape.vqWrite("A") && escape.vqEndJob());
        QCOMPARE(QDir(top.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"out"});
        QVERIFY(QDir(top.filePath("out")).isEmpty());
    }

    // Whole jobs against the emulator: the success and the fault counts over
    // both transports (the first row in real time), the job's other ends over one.
    void emulator_data()
    {
        // clang-format off
        QTest::addColumn<int>("hostTp");
        QTest::addColumn<QString>("setup");  // control lines, " | " between them
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("pages");
        const QString comm = "通信错误", jam = "扫描仪卡纸";
        auto row = [](int tp, const QString& name) -> QTestData& {
            return QTest::newRow(qPrintable((tp == 2 ? "USB: " : "HTTP: ") + name)) << tp;
        };
        for (int tp : {2, 1})
            row(tp, "two whole pages (real time)") << "scanjob pages=2 parts=0" << 0 << "" << 2;
        // Ten failures of a kind are borne, the eleventh ends the job.
        row(2, "ten failed checks, then success") << "linkfault truncated count=10 types=14" << 0 << "" << 1;
        row(1, "eleven failed checks") << "httpfault status count=11 path=/vqhas" << 249 << comm << 0;
        row(2, "a page that never comes") << "linkfault truncated count=0 types=11" << 249 << comm << 0;
        row(1, "ten failed fetches, then success") << "httpfault status count=10 path=/vqget" << 0 << "" << 1;
        row(2, "ten unreadable job states") << "scanjob pages=0 | jobstate fail=10 after=1" << 0 << "" << 0;
        row(1, "eleven unreadable job states") << "scanjob pages=0 | jobstate fail=11 after=1" << 249 << comm << 0;
        row(2, "format in capitals, parted pages") << "scanjob pages=2 parts=2" << 0 << "" << 2;
        // The scanner's own faults 1 to 7; any other code is 8.
        for (int code = 1; code <= 9; ++code)
            row(2, QString("result code %1").arg(code))
                << QString("scanjob pages=1 result=%1").arg(code) << qMin(code, 8)
                << CvqDoScan::vqResultText(qMin(code, 8)) << 1;
        row(2, "busy") << "scan pages=1 interval=60000" << 241 << "设备忙,请稍后重试" << 0;
        row(2, "scanner fails to start") << "scanner err" << 12 << "扫描仪初始化失败,请稍后重试,或重启设备再尝试" << 0;
        row(2, "parameters refused") << "scanjob try=err" << 254 << "参数错误" << 0;
        row(2, "parameter check answers something else") << "scanjob try=maybe" << 249 << comm << 0;
        row(2, "the last page appears as the job ends") << "scanjob pages=2 parts=0 last=state" << 0 << "" << 2;
        row(2, "the job ends inside a parted page") << "scanjob pages=1 parts=2 open=1" << 249 << comm << 1;
        row(1, "a paper jam inside a parted page") << "scanjob pages=1 parts=2 open=1 result=1" << 1 << jam << 1;
        row(2, "job state without wait flag")
            << "jobstate \"vqscanjob.vqjobrun: 0\\nvqscanjob.vqjobtp: 0\\nvqscanjob.vqjobrstcode: 0\"" << 249 << comm
            << 0;
        QTest::newRow("host type 3: nothing sent") << 3 << "" << -1 << "系统错误" << 0;
        // clang-format on
    }
    void emulator()
    {
        QFETCH(int, hostTp);
        QFETCH(QString, setup);
        QFETCH(int, pages);
        for (const QString& line : setup.split(" | ", Qt::SkipEmptyParts))
            VQ_SIM_OK(mSim, line);
        QTemporaryDir dir;
        CvqScanParams p = params(dir.path(), hostTp);
        const QByteArray tag = QTest::currentDataTag();
        p.saveToFileFormat = tag.contains("capitals") ? "JPG" : "jpg";
        CvqSeamScope<CvqLinkSeams> seams;
        if (!tag.contains("real time"))
            seams->scanPause = quickSleep;
        QString err;
        QTEST(CvqDoScan().vqDoScan(p, err), "code");
        QTEST(err, "err");
        const QStringList names = QDir(dir.path()).entryList(QDir::Files);
        QCOMPARE(names.size(), pages);
        for (int n = 1; n <= pages; ++n) {
            const QString page = QString("_%1.").arg(n, 4, 10, QChar('0')) + p.saveToFileFormat;
            QCOMPARE(names.value(n - 1), p.taskId + page);
            const QByteArray printed = vqReadFile(QString("%1/scans/p1/%2/pic").arg(mSimOut.path(), p.taskId) + page);
            QVERIFY(!printed.isEmpty());
            QCOMPARE(vqReadFile(dir.filePath(p.taskId + page)), printed);
        }
        if (hostTp == 3)
            QVERIFY(mSim.vqHistory().isEmpty());
    }
};

VQ_TEST_GUILESS_MAIN(TstScanJob)
#include "tst_scanjob.moc"
