// The scan job: its checks and job-state reading, the file sink, and whole
// jobs against the emulator over USB and HTTP. Scan to PC: the request and the
// device's name as untrusted input, folders of the same second, and the thread
// fetching a panel scan, then ending on a stop (last: the stop is one-shot).
#include "cvqscantopctrd.h"
#include "vqmonitorseams.h"
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QtTest>

#include <csignal>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {
const QString kStamp = QStringLiteral(" 2026-01-02 03-04-05");
}  // namespace

class TstScanJob : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;
    QTemporaryDir mSimOut;
    QTemporaryDir mDesktop;
    CvqSeamScope<CvqMonitorSeams> mSeams;
    CvqSeamScope<CvqLinkSeams> mLinkSeams;

    CvqScanParams params(const QString& dir, int hostTp = 2)
    {
        const QString id = "t" + QString::number(QDateTime::currentMSecsSinceEpoch());
        return {hostTp, hostTp == 1 ? mSim.vqHttp() : mSim.vqPty(), id, 1, 0, 0, "jpg", "A4", dir};
    }

    // Everything under the desktop as relative paths (the time stamp as "@", a file's size
    // unless it is the emulator's page of its number); then an empty desktop.
    QString takeDesktop()
    {
        QStringList out;
        const QDir top(mDesktop.path());
        for (const QString& d : top.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
            out << d + "/";
            for (const QString& f : QDir(top.filePath(d)).entryList(QDir::Files | QDir::Hidden)) {
                const QByteArray bytes = vqReadFile(top.filePath(d + "/" + f));
                const bool page = bytes == vqReadFile(mSimOut.path() + "/scans/p1/vqstdscans/pic_" + f.mid(5));
                out << d + "/" + f + (page ? QString() : QStringLiteral(" (%1 bytes)").arg(bytes.size()));
            }
        }
        QDir(mDesktop.path()).removeRecursively();
        QDir().mkpath(mDesktop.path());
        return out.join(", ").replace(kStamp, "@");
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(mSim.vqStartOnHost({"--http", "127.0.0.1:0", "--out", mSimOut.path(), "--quiet"}),
                 qPrintable(mSim.vqError()));
        mSeams->desktop = [this] { return mDesktop.path(); };
        mSeams->now = [] { return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)); };
        mLinkSeams->scanPause = [](int ms) { return vqWaitQuit(qMin(ms, 20)); };
    }
    void init()
    {
        mSim.vqCmd("scan stop");  // what an earlier row left running; refused when none runs
        for (const char* line :
             {"reset", "scanner ok", "scanjob pages=1 parts=0 interval=100 result=0", "history clear"})
            VQ_SIM_OK(mSim, line);
        takeDesktop();
    }

    // Running jobs, and a reply's layout; the finished codes come through the emulator below.
    void jobState_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        const auto state = [](const char* run, const char* tp, const char* code) {
            return QStringLiteral("vqscanjob.vqjobrun: %1\nvqscanjob.vqjobtp: %2\nvqscanjob.vqjobrstcode: %3\n"
                                  "vqscanjob.vqjobwaitflag: 0").arg(run, tp, code);
        };
        QTest::newRow("scan from the PC running") << state("1", "1", "0") << 10;
        QTest::newRow("scan to PC running") << state("1", "11", "0") << 11;
        QTest::newRow("other job running") << state("2", "5", "0") << 12;
        QTest::newRow("unknown code") << state("0", "1", "12") << 8;
        QTest::newRow("a later line wins, pieces trimmed") << state("1", "1", "0") + "\n  x.vqscanjob.vqjobrun :  0 \n" << 0;
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
        QTest::addColumn<QString>("params");   // format and input mode
        QTest::addColumn<QString>("sub");      // below a fresh directory; empty: the directory itself
        QTest::addColumn<int>("answer");       // -1: no question expected
        QTest::addColumn<QString>("expected");  // the result, the error, and "dir" when the directory exists
        QTest::newRow("format in capitals, mode 128") << "TIFF 128" << "" << -1 << "ok before dir";
        QTest::newRow("missing directory, Yes creates it") << "jpg 0" << "new/sub" << 1 << "ok before dir";
        QTest::newRow("missing directory, No") << "jpg 1" << "new/sub" << 0 << "no before";
        QTest::newRow("directory cannot be made") << "jpg 1" << "file/sub" << 1 << "no 目录 %1/file/sub 创建错误";
        QTest::newRow("format gif") << "gif 1" << "" << -1 << "no saveToFileFormat错误 dir";
        QTest::newRow("input mode 2") << "png 2" << "" << -1 << "no inputMode错误 dir";
        // clang-format on
    }
    void checkParams()
    {
        QFETCH(QString, params);
        QFETCH(QString, sub);
        QFETCH(int, answer);
        QTemporaryDir dir;
        QFile(dir.filePath("file")).open(QIODevice::WriteOnly);
        CvqScanParams p = this->params(sub.isEmpty() ? dir.path() : dir.filePath(sub));
        p.saveToFileFormat = params.section(' ', 0, 0);
        p.inputMode = params.section(' ', 1).toInt();
        CvqDoScan scan;
        QStringList asked;
        const CvqDoScan::Ask ask = [&](const QString& title, const QString& text) {
            asked << title + "|" + text;
            return answer == 1;
        };
        QString got = "before";
        bool ok = scan.vqCheckParams(p, ask, got);
        QFETCH(QString, expected);
        QCOMPARE(QString(ok ? "ok " : "no ") + got + (QDir(p.vqOutDir).exists() ? " dir" : ""),
                 expected.replace("%1", dir.path()));
        QCOMPARE(asked, answer < 0 ? QStringList() : QStringList("确认|目录 " + p.vqOutDir + " 不存在, 创建吗?"));

        // Off the GUI thread nobody is asked, and No stands.
        if (answer == 1 && QDir(p.vqOutDir).removeRecursively()) {
            CvqWarningGuard warnings;
            std::unique_ptr<QThread> t(QThread::create([&] { ok = scan.vqCheckParams(p, ask, got); }));
            t->start();
            QVERIFY(t->wait(10000));
            QCOMPARE(QStringLiteral("%1 %2 %3").arg(ok).arg(asked.size()).arg(QDir(p.vqOutDir).exists()), "0 1 0");
            QCOMPARE(warnings.take().size(), 1);
        }
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
        QTest::addColumn<QString>("setup");     // control lines, " | " between them; "sink" for the output
        QTest::addColumn<QString>("expected");  // the result, the pages stored, the error
        const QString comm = " 0 通信错误";
        auto row = [](int tp, const QString& name) -> QTestData& {
            return QTest::newRow(qPrintable((tp == 2 ? "USB: " : "HTTP: ") + name)) << tp;
        };
        for (int tp : {2, 1})
            row(tp, "two whole pages (real time)") << "scanjob pages=2 parts=0" << "0 2";
        // Ten failures of a kind are borne, the eleventh ends the job.
        row(2, "ten failed checks, then success") << "linkfault truncated count=10 types=14" << "0 1";
        row(1, "eleven failed checks") << "httpfault status count=11 path=/vqhas" << "249" + comm;
        row(2, "a page that never comes") << "linkfault truncated count=0 types=11" << "249" + comm;
        row(1, "ten failed fetches, then success") << "httpfault status count=10 path=/vqget" << "0 1";
        row(2, "ten unreadable job states") << "scanjob pages=0 | jobstate fail=10 after=1" << "0 0";
        row(1, "eleven unreadable job states") << "scanjob pages=0 | jobstate fail=11 after=1" << "249" + comm;
        row(2, "format in capitals, parted pages") << "scanjob pages=2 parts=2" << "0 2";
        // The scanner's own faults 1 to 7; any other code is 8.
        for (int code = 1; code <= 9; ++code)
            row(2, QString("result code %1").arg(code)) << QString("scanjob pages=1 result=%1").arg(code)
                << QString("%1 1 ").arg(qMin(code, 8)) + CvqDoScan::vqResultText(qMin(code, 8));
        row(2, "busy") << "scan pages=1 interval=60000" << "241 0 设备忙,请稍后重试";
        row(2, "scanner fails to start") << "scanner err" << "12 0 扫描仪初始化失败,请稍后重试,或重启设备再尝试";
        row(2, "parameters refused") << "scanjob try=err" << "254 0 参数错误";
        row(2, "parameter check answers something else") << "scanjob try=maybe" << "249" + comm;
        row(2, "the last page appears as the job ends") << "scanjob pages=2 parts=0 last=state" << "0 2";
        row(2, "the job ends inside a parted page") << "scanjob pages=1 parts=2 open=1" << "249 1 通信错误";
        row(1, "a paper jam inside a parted page") << "scanjob pages=1 parts=2 open=1 result=1" << "1 1 扫描仪卡纸";
        row(2, "job state without wait flag")
            << "jobstate \"vqscanjob.vqjobrun: 0\\nvqscanjob.vqjobtp: 0\\nvqscanjob.vqjobrstcode: 0\"" << "249" + comm;
        // A page the disk cannot hold is a storage error, never a short file reported as done;
        // so are pages beyond the job's bounds ("sink bounds": 3 pages, "page": 4000 bytes,
        // "job": 10000; an emulated page is 4013). The pages before them stay.
        const QString store = " 文件存储错误";
        row(2, "output directory gone") << "sink gone" << "252 0" + store;
#ifdef Q_OS_UNIX  // a full disk is played by the file size limit
        row(2, "disk full inside a page") << "sink full" << "252 1" + store;
#endif
        row(2, "a fourth page") << "scanjob pages=4 parts=0 | sink bounds" << "252 3" + store;
        row(2, "a parted page past its bound") << "scanjob pages=1 parts=2 | sink page" << "252 1" + store;
        row(2, "a job past its bound") << "scanjob pages=3 parts=0 | sink job" << "252 2" + store;
        QTest::newRow("host type 3: nothing sent") << 3 << "" << "-1 0 系统错误";
        // clang-format on
    }
    void emulator()
    {
        QFETCH(int, hostTp);
        QFETCH(QString, setup);
        const QString sink = setup.section("sink ", 1);
        for (const QString& line : setup.split(" | ", Qt::SkipEmptyParts))
            if (!line.startsWith("sink "))
                VQ_SIM_OK(mSim, line);
        QTemporaryDir dir;
        CvqScanParams p = params(sink == "gone" ? dir.filePath("gone") : dir.path(), hostTp);
        const QByteArray tag = QTest::currentDataTag();
        p.saveToFileFormat = tag.contains("capitals") ? "JPG" : "jpg";
        CvqSeamScope<CvqLinkSeams> seams;
        seams->scanPause = nullptr;
        if (!tag.contains("real time"))  // pauses of a few milliseconds instead of seconds
            seams->scanPause = [](int ms) {
                QThread::msleep(ulong(qMin(ms, 5)));
                return false;
            };
        CvqDoScan scan;
        if (!sink.isEmpty())
            scan.vqBounds = {sink == "page" ? 4000 : 65536, 3, sink == "job" ? 10000 : 65536};
#ifdef Q_OS_UNIX
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit limit{sink == "full" ? rlim_t(1000) : old.rlim_cur, old.rlim_max};
        signal(SIGXFSZ, SIG_IGN);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
#endif
        QString err;
        const int code = scan.vqDoScan(p, err);
#ifdef Q_OS_UNIX
        setrlimit(RLIMIT_FSIZE, &old);
#endif
        const QStringList names = QDir(dir.path()).entryList(QDir::Files);
        QTEST(QStringLiteral("%1 %2 %3").arg(code).arg(names.size()).arg(err).trimmed(), "expected");
        for (int n = 1; n <= names.size(); ++n) {
            const QString page = QString("_%1.").arg(n, 4, 10, QChar('0')) + p.saveToFileFormat;
            QCOMPARE(names.value(n - 1), p.taskId + page);
            const QByteArray printed = vqReadFile(QString("%1/scans/p1/%2/pic").arg(mSimOut.path(), p.taskId) + page);
            QVERIFY(!printed.isEmpty());
            if (code != vqScanStoreError)  // the bound rows' last page never arrived whole
                QCOMPARE(vqReadFile(dir.filePath(p.taskId + page)), printed);
        }
        if (hostTp == 3)
            QVERIFY(mSim.vqHistory().isEmpty());
    }

    // Whatever the request holds, nothing is written unless it is a plain extension.
    void hostileRequest_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("read");  // false: too large to read, left on the printer
        QTest::newRow("parent path") << QByteArray("../x") << true;
        QTest::newRow("a program") << QByteArray("EXE") << true;
        QTest::newRow("5000 bytes: not read") << QByteArray(5000, 'a') << false;
    }
    void hostileRequest()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, read);
        CvqComLink link(mSim.vqPty());  // a control line cannot carry 5000 bytes
        quint8 status = 9;
        QString err;
        QVERIFY(link.open() && link.vqLinkPut(vqScanToPcReqFile, request, status, err) && status == 0);
        link.close();  // the pass opens the port itself
        QCOMPARE(vqScanToPcPass(mSim.vqPty(), "P4120W"), read ? CvqScanToPcEnd::BadRequest : CvqScanToPcEnd::NoRequest);
        QCOMPARE(mSim.vqOk("wait gone /tmp/vqscantopc.req.txt timeout=1"), read);
        QCOMPARE(takeDesktop() + mSim.vqHistory().filter("vqstdscans").join(", "), QString());  // nothing fetched
        mSim.vqCmd("file rm /tmp/vqscantopc.req.txt");
    }

    // A hostile device name stays one folder below the desktop (reserved and
    // control characters become "_", others stay); a second job of the same
    // second gets its own folder. An empty folder of that second is taken as
    // it is; a link planted under its name is never followed.
    void folders()
    {
        const auto job = [this](const QString& name) {
            VQ_SIM_OK(mSim, "scan pages=1 parts=0 interval=10");
            VQ_SIM_OK(mSim, "wait scan idle timeout=10000");
            QCOMPARE(vqScanToPcPass(mSim.vqPty(), name), CvqScanToPcEnd::JobEnded);
        };
        for (int i = 0; i < 2; ++i)
            job(QString("../..\\x:y\x01\x7f") + QChar(0) + "打印机");
        QCOMPARE(takeDesktop(),
                 QString("%1/, %1/scan_0001.jpg, %1 (2)/, %1 (2)/scan_0001.jpg").arg(".._.._x_y___打印机@"));

        QVERIFY(QDir(mDesktop.path()).mkdir("P4120W" + kStamp));
        job("P4120W");
        QCOMPARE(takeDesktop(), "P4120W@/, P4120W@/scan_0001.jpg");
#ifdef Q_OS_UNIX  // on Windows QFile::link makes a shortcut file, which no path goes through
        QTemporaryDir elsewhere;
        QVERIFY(QFile::link(elsewhere.path(), mDesktop.filePath("P4120W" + kStamp)));
        job("P4120W");
        QCOMPARE(takeDesktop(), "P4120W@/, P4120W@ (2)/, P4120W@ (2)/scan_0001.jpg");
#endif

        // An empty whole page: an empty file.
        VQ_SIM_OK(mSim, "file put /tmp/vqscantopc.req.txt jpg");
        VQ_SIM_OK(mSim, "file put /tmp/vqstdscans/pic_0001.jpg");
        QCOMPARE(vqScanToPcPass(mSim.vqPty(), "P4120W"), CvqScanToPcEnd::JobEnded);
        QCOMPARE(takeDesktop(), "P4120W@/, P4120W@/scan_0001.jpg (0 bytes)");

        // Without a desktop nothing lands in the working directory.
        QCOMPARE(vqScanToPcFolder(QString(), "P4120W" + kStamp), QString());
        QCOMPARE(vqScanToPcFolder("Desktop", "P4120W" + kStamp), QString());
    }

    // The thread as the window starts it: a panel scan of two pages, then a
    // stop during a long scan ends the pass at once.
    void threadScansThenStops()
    {
        CvqDebugCapture debug;
        CvqScanToPcTrd trd;
        trd.start();
        VQ_SIM_OK(mSim, "scan pages=2 parts=3 format=jpg interval=100");
        QTRY_COMPARE_WITH_TIMEOUT(debug.lines().filter("job ended").size(), 1, 30000);
        QCOMPARE(takeDesktop(), "P4120W@/, P4120W@/scan_0001.jpg, P4120W@/scan_0002.jpg");

        VQ_SIM_OK(mSim, "scan pages=2 parts=0 interval=600000");
        QVERIFY(mSim.vqOk("wait gone /tmp/vqscantopc.req.txt timeout=10000"));
        vqQuitAll();
        QVERIFY(trd.wait(3000));
        QCOMPARE(takeDesktop(), QString());  // no page, no folder
    }
};

VQ_TEST_GUILESS_MAIN(TstScanJob)
#include "tst_scanjob.moc"
