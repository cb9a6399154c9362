// The scan job: its checks and job-state reading as plain functions, the file
// sink, what the emulator cannot stage against an in-memory printer (an empty
// page, a full disk), and whole jobs against the printer emulator over USB and HTTP.
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QDir>
#include <QDirIterator>
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

// A printer in memory: files, and a scan job that is always done.
class CvqMemComm final : public CvqComm
{
public:
    QMap<QString, QByteArray> files;

    bool vqGetFile(const QString& path, QByteArray& out) override
    {
        out = files.value(path);
        return files.contains(path);
    }
    bool vqHasFile(const QString& path, bool& exists) override
    {
        exists = files.contains(path);
        return true;
    }
    bool vqDelFile(const QString& path) override { return files.remove(path) > 0; }
    bool vqExe(const QString& cmd, QString& out, int) override
    {
        out = cmd == vqScanJobStateCmd ? state(0, "0", "0") : QStringLiteral("ok");
        return true;
    }
    bool vqExeAlong(const QString&) override { return true; }
};

// Pauses of a few milliseconds instead of seconds.
bool quickSleep(int ms)
{
    QThread::msleep(ulong(qMin(ms, 5)));
    return false;
}

const QString kBase = QStringLiteral("/tmp/vqkeltoscans/t1/pic");
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
        p.taskId = QStringLiteral("t1");
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

    void jobState_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("done") << state(0, "0", "0") << 0;
        QTest::newRow("paper jam") << state(0, "1", "1") << 1;
        QTest::newRow("unknown code") << state(0, "1", "12") << 8;
        QTest::newRow("scan from the PC running") << state(1, "1", "0") << 10;
        QTest::newRow("scan to PC running") << state(1, "11", "0") << 11;
        QTest::newRow("other job running") << state(2, "5", "0") << 12;
        QTest::newRow("a later line wins, pieces trimmed")
            << state(1, "1", "0") + "\n  x.vqscanjob.vqjobrun :  0 \n" << 0;
        QTest::newRow("no wait flag") << state(0, "0", "0").section('\n', 0, 2) << -1;
        // clang-format on
    }
    void jobState()
    {
        QFETCH(QString, text);
        QTEST(vqParseScanJobState(text), "expected");
    }

    void checkParams_data()
    {
        // clang-format off
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("answer");  // -1: no question expected
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("err");
        QTest::newRow("valid, directory exists") << "" << "" << -1 << true << "before";
        QTest::newRow("format in capitals") << "saveToFileFormat" << "TIFF" << -1 << true << "before";
        QTest::newRow("missing directory, Yes creates it") << "vqOutDir" << "new/sub" << 1 << true << "before";
        QTest::newRow("missing directory, No") << "vqOutDir" << "new/sub" << 0 << false << "before";
        QTest::newRow("directory cannot be made") << "vqOutDir" << "file/sub" << 1 << false
                                                  << "目录 %1/file/sub 创建错误";
        QTest::newRow("host type") << "vqScannerHostTp" << "3" << -1 << false << "vqScannerHostTp错误";
        QTest::newRow("host") << "vqScannerHost" << "" << -1 << false << "vqScannerHost错误";
        QTest::newRow("task") << "taskId" << "" << -1 << false << "taskId错误";
        QTest::newRow("input mode") << "inputMode" << "2" << -1 << false << "inputMode错误";
        QTest::newRow("format") << "saveToFileFormat" << "gif" << -1 << false << "saveToFileFormat错误";
        QTest::newRow("directory") << "vqOutDir" << "" << -1 << false << "需填写扫描图片输出目录";
        // clang-format on
    }
    void checkParams()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(int, answer);
        QTemporaryDir dir;
        QFile(dir.filePath("file")).open(QIODevice::WriteOnly);
        CvqScanParams p = params(dir.path());
        p.vqScannerHostTp = field == "vqScannerHostTp" ? value.toInt() : 2;
        p.vqScannerHost = field == "vqScannerHost" ? value : "COM3";
        p.taskId = field == "taskId" ? value : "t1";
        p.inputMode = field == "inputMode" ? value.toInt() : 128;
        p.colorMode = field == "colorMode" ? value.toInt() : 1;
        p.dpiMode = field == "dpiMode" ? value.toInt() : 0;
        if (field == "saveToFileFormat" || field == "scanPaperSizeTypeEngName")
            (field == "saveToFileFormat" ? p.saveToFileFormat : p.scanPaperSizeTypeEngName) = value;
        if (field == "vqOutDir")
            p.vqOutDir = value.isEmpty() ? value : dir.filePath(value);

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
        QCOMPARE(QDir(p.vqOutDir).exists(), answer != 0 && !p.vqOutDir.endsWith("file/sub"));

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

    // What the emulator cannot stage, on an in-memory printer through the whole
    // job: an empty page, a page the disk cannot hold (a storage error,
    // never a short file reported as done), and pages beyond the job's bounds
    // (here 64 KiB a page, 3 pages, 160 KiB a job; those before them stay).
    void memoryPrinter_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<int>("count");  // pages
        QTest::addColumn<int>("parts");  // 0: whole pages
        QTest::addColumn<QString>("out");  // the output directory: "dir", "gone", or "full" after 1000 bytes
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("kept");  // files
        const QByteArray k64(64 * 1024, 'x');
        QTest::newRow("an empty whole page") << QByteArray() << 1 << 0 << "dir" << 0 << "" << 1;
        QTest::newRow("three pages of 32 KiB in parts") << QByteArray(16 * 1024, 'x') << 3 << 2 << "dir" << 0 << "" << 3;
        QTest::newRow("output directory gone") << k64 << 1 << 0 << "gone" << 252 << "文件存储错误" << 0;
#ifdef Q_OS_UNIX  // a full disk is played by the file size limit
        QTest::newRow("disk full in the middle of a page") << k64 << 1 << 0 << "full" << 252 << "文件存储错误" << 1;
#endif
        QTest::newRow("a fourth page") << QByteArray(1, 'x') << 4 << 0 << "dir" << 252 << "文件存储错误" << 3;
        QTest::newRow("a whole page past 64 KiB") << k64 + 'x' << 1 << 0 << "dir" << 252 << "文件存储错误" << 0;
        QTest::newRow("a parted page past 64 KiB") << k64 << 1 << 2 << "dir" << 252 << "文件存储错误" << 1;
        QTest::newRow("a job past 160 KiB") << k64 << 3 << 0 << "dir" << 252 << "文件存储错误" << 2;
        // clang-format on
    }
    void memoryPrinter()
    {
        QFETCH(QByteArray, page);
        QFETCH(int, count);
        QFETCH(int, parts);
        QFETCH(QString, out);
        CvqMemComm comm;
        for (int n = 1; n <= count; ++n) {
            for (int i = 0; i < parts; ++i)
                comm.files[vqScanPartName(kBase, n, i, "jpg")] = page;
            comm.files[parts ? vqScanPartName(kBase, n, parts, "jpg") : vqScanPageName(kBase, n, "jpg")] =
                parts ? QByteArray() : page;
        }
        QTemporaryDir dir;
        CvqSeamScope<CvqLinkSeams> seams;
        seams->scanPause = quickSleep;
        CvqDoScan scan;
        scan.vqBounds = {64 * 1024, 3, 160 * 1024};
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
        const int code = scan.vqScanOn(comm, params(out == "gone" ? dir.filePath("gone") : dir.path()), err);
#ifdef Q_OS_UNIX
        setrlimit(RLIMIT_FSIZE, &old);
#endif
        QTEST(code, "code");
        QTEST(err, "err");
        QTEST(int(QDir(dir.path()).entryList(QDir::Files).size()), "kept");
        if (code == 0)
            QCOMPARE(vqReadFile(dir.filePath("t1_0001.jpg")), parts ? page.repeated(parts) : page);
    }

    // The file sink on its own: names per input mode, and what it refuses.
    void fileSink_data()
    {
        // clang-format off
        QTest::addColumn<int>("inputMode");
        QTest::addColumn<QString>("taskId");
        QTest::addColumn<bool>("beginPage");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("local");  // of the output directory's parent, dir/ for the directory
        QTest::newRow("a file per page") << 1 << "t1" << true << true
                                         << QStringList{"out/", "out/t1_0001.jpg=A", "out/t1_0002.jpg=B"};
        QTest::newRow("input mode 0: a file per page too") << 0 << "t1" << true << true
                                                           << QStringList{"out/", "out/t1_0001.jpg=A", "out/t1_0002.jpg=B"};
        QTest::newRow("a write before any page") << 1 << "t1" << false << false << QStringList{"out/"};
        QTest::newRow("a task id that is a path") << 0 << "../x" << true << false << QStringList{"out/"};
        // clang-format on
    }
    void fileSink()
    {
        QFETCH(int, inputMode);
        QFETCH(QString, taskId);
        QFETCH(bool, beginPage);
        QTemporaryDir top;
        QVERIFY(QDir(top.path()).mkdir("out"));
        CvqScanParams p = params(top.filePath("out"));
        p.inputMode = inputMode;
        p.taskId = taskId;
        bool ok = true;
        {
            CvqScanOuterOfFile sink(p.vqOutDir, p.taskId, p.saveToFileFormat);
            ok = sink.vqBeginJob();
            for (const char* page : {"A", "B"}) {
                if (beginPage)
                    ok = sink.vqBeginPage(*page == 'A' ? 1 : 2) && ok;
                ok = sink.vqWrite(QByteArray(page)) && ok;
                ok = sink.vqEndPage() && ok;
            }
            ok = sink.vqEndJob() && ok;
        }
        QTEST(ok, "ok");
        QStringList got;
        QDirIterator it(top.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString rel = QDir(top.path()).relativeFilePath(path);
            got << (it.fileInfo().isDir() ? rel + "/" : rel + "=" + vqReadFile(path));
        }
        got.sort();
        QTEST(got, "local");
    }

    // Whole jobs against the emulator; the first row of each transport runs in real time.
    void emulator_data()
    {
        // clang-format off
        QTest::addColumn<int>("hostTp");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("paper");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("pages");
        for (int tp : {2, 1}) {
            const char* via = tp == 2 ? "USB: " : "HTTP: ";
            auto row = [&](const char* name) -> QTestData& { return QTest::newRow(qPrintable(via + QString(name))) << tp; };
            row("two whole pages (real time)") << QStringList{"scanjob pages=2 parts=0"} << "A4" << 0 << "" << 2;
            row("format in capitals, kept in every name") << QStringList{"scanjob pages=2 parts=1"} << "A4" << 0 << ""
                                                          << 2;
            row("input mode 0: two pages, two files") << QStringList{"scanjob pages=2 parts=0"} << "A4" << 0 << ""
                                                      << 2;
            row("a parted page joined in order") << QStringList{"scanjob pages=1 parts=2"} << "A4" << 0 << "" << 1;
            for (int code = 1; code <= 9; ++code)
                row(qPrintable(QString("result code %1").arg(code)))
                    << QStringList{QString("scanjob pages=1 result=%1").arg(code)} << "A4" << qMin(code, 8)
                    << CvqDoScan::vqResultText(qMin(code, 8)) << 1;
            row("busy") << QStringList{"scan pages=1 interval=60000"} << "A4" << 241 << "设备忙,请稍后重试" << 0;
            row("scanner fails to start") << QStringList{"scanner err"} << "A4" << 12
                                          << "扫描仪初始化失败,请稍后重试,或重启设备再尝试" << 0;
            row("parameters refused") << QStringList{} << "" << 254 << "参数错误" << 0;
            row("the last page appears as the job ends") << QStringList{"scanjob pages=2 parts=0 last=state"} << "A4"
                                                         << 0 << "" << 2;
            row("the job ends inside a parted page") << QStringList{"scanjob pages=1 parts=2 open=1"} << "A4" << 249
                                                     << "通信错误" << 1;
            row("a paper jam inside a parted page") << QStringList{"scanjob pages=1 parts=2 open=1 result=1"} << "A4"
                                                    << 1 << CvqDoScan::vqResultText(1) << 1;
            row("parameter check answers something else") << QStringList{"scanjob try=maybe"} << "A4" << 249
                                                           << "通信错误" << 0;
            row("ten unreadable job states, then done") << QStringList{"scanjob pages=0", "jobstate fail=10 after=1"}
                                                        << "A4" << 0 << "" << 0;
            row("eleven unreadable job states") << QStringList{"scanjob pages=0", "jobstate fail=11 after=1"}
                                                << "A4" << 249 << "通信错误" << 0;
            row("eleven failed checks") << QStringList{tp == 2 ? "linkfault truncated count=11 types=14"
                                                               : "httpfault status count=11 path=/vqhas"}
                                        << "A4" << 249 << "通信错误" << 0;
            row("ten failed checks, then success") << QStringList{tp == 2 ? "linkfault truncated count=10 types=14"
                                                                          : "httpfault status count=10 path=/vqhas"}
                                                   << "A4" << 0 << "" << 1;
            row("a page that never comes") << QStringList{tp == 2 ? "linkfault truncated count=0 types=11"
                                                                  : "httpfault status count=0 path=/vqget"}
                                           << "A4" << 249 << "通信错误" << 0;
            row("ten failed fetches, then success") << QStringList{tp == 2 ? "linkfault truncated count=10 types=11"
                                                                           : "httpfault status count=10 path=/vqget"}
                                                    << "A4" << 0 << "" << 1;
            row("job state without wait flag")
                << QStringList{"jobstate \"vqscanjob.vqjobrun: 0\\nvqscanjob.vqjobtp: 0\\nvqscanjob.vqjobrstcode: 0\""}
                << "A4" << 249 << "通信错误" << 0;
        }
        QTest::newRow("host type 3: nothing sent") << 3 << QStringList{} << "A4" << -1 << "系统错误" << 0;
        // clang-format on
    }
    void emulator()
    {
        QFETCH(int, hostTp);
        QFETCH(QStringList, setup);
        QFETCH(QString, paper);
        QFETCH(int, pages);
        VQ_SIM_OK(mSim, "reset");
        VQ_SIM_OK(mSim, "scanner ok");
        VQ_SIM_OK(mSim, "scanjob pages=1 parts=0 interval=100 result=0");
        VQ_SIM_OK(mSim, "history clear");
        for (const QString& line : setup)
            VQ_SIM_OK(mSim, line);
        QTemporaryDir dir;
        CvqScanParams p = params(dir.path(), hostTp);
        p.taskId = "t" + QString::number(QDateTime::currentMSecsSinceEpoch());
        p.scanPaperSizeTypeEngName = paper;
        p.inputMode = QByteArray(QTest::currentDataTag()).contains("input mode 0") ? 0 : 1;
        p.saveToFileFormat = QByteArray(QTest::currentDataTag()).contains("capitals") ? "JPG" : "jpg";
        CvqSeamScope<CvqLinkSeams> seams;
        if (!QByteArray(QTest::currentDataTag()).contains("real time"))
            seams->scanPause = quickSleep;
        QString err;
        QTEST(CvqDoScan().vqDoScan(p, err), "code");
        QTEST(err, "err");
        mSim.vqCmd("scan stop");  // a busy row's panel scan; refused when none runs
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
