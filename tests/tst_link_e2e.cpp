// The serial link and its operations against the printer emulator over a real pseudo-terminal: disturbed
// answers, chunked transfers and command output; the HTTP operations against its web server on 127.0.0.1, on a
// worker thread. Then the scan job: its checks, the file sink, and whole jobs over USB and HTTP; scan to PC: the
// request and the device's name as untrusted input, folders of the same second, and the thread fetching a panel
// scan, then ending on a stop (last: the stop is one-shot). One-key print and two printers: tst_services;
// statuses, short and late answers: tst_comm.
#include "cvqscantopctrd.h"
#include "printerlink/vqscanpages.h"
#include "vqmonitorseams.h"
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <thread>

const QString kStamp = QStringLiteral(" 2026-01-02 03-04-05");

class TstLinkE2e : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;
    QTemporaryDir mOut;
    QTemporaryDir mDesktop;
    CvqSeamScope<CvqMonitorSeams> mSeams;
    CvqSeamScope<CvqLinkSeams> mLinkSeams;
    CvqComLink mLink;
    quint8 mStatus = 99;
    QString mErr;

    // The chunks in the printer's history (its last 256 requests), as "type:offset+length".
    QString chunks()
    {
        static const QRegularExpression chunk("^serial type=(\\d+) id=\\d+ path=\\S* offset=(\\d+) length=(\\d+)$");
        return mSim.vqHistory().filter(chunk).replaceInStrings(chunk, "\\1:\\2+\\3").join(' ');
    }

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
                const bool page = bytes == vqReadFile(mOut.path() + "/scans/p1/vqstdscans/pic_" + f.mid(5));
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
        QVERIFY2(mSim.vqStartOnHost({"--out", mOut.path(), "--http", "127.0.0.1:0", "--quiet"}),
                 qPrintable(mSim.vqError()));
        mSeams->desktop = [this] { return mDesktop.path(); };
        mSeams->now = [] { return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)); };
        mLinkSeams->scanPause = [](int ms) { return vqWaitQuit(qMin(ms, 20)); };
        mLink.setPortName(mSim.vqPty());
        // Outside /tmp, which a command's output lists; too long for a control line.
        QVERIFY(mLink.open() && mLink.vqLinkPut("/var/big.txt", QByteArray(64 * 1024 + 1, 'B'), mStatus, mErr)
                && !mStatus);
        VQ_SIM_OK(mSim, "file put /var/long.txt " + QString(3000, 'L'));
    }
    void init()
    {
        mSim.vqCmd("scan stop");  // what an earlier row left running; refused when none runs
        for (const char* line : {"reset", "scanner ok", "scanjob pages=1 parts=0 interval=100 result=0",
                                 "history clear", "file put /tmp/present.txt hello"})
            VQ_SIM_OK(mSim, line);
        takeDesktop();
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
        QTest::newRow("# and % reach the printer") << "exe" << "echo a#b %41" << "1|a#b %41|/vqexe/echo?a%23b&%2541";
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
        VQ_SIM_OK(mSim, "linkfault " + fault);
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
        VQ_SIM_OK(mSim, setup);
        QString out;
        const bool ok = mLink.vqLinkExe(command, out, mStatus, mErr, 10);
        const QString got = ok ? QStringLiteral("1|%1|%2").arg(int(mStatus)).arg(out) : QStringLiteral("0");
        QTEST(got + "|" + QString::number(chunks().count("11:")), "expected");
        QVERIFY(!QFileInfo::exists(mSim.vqHostRoot() + "/ran"));
    }
    // The accepted formats and input modes, and the output directory's question; off the GUI thread
    // nobody is asked and No stands.
    void checkParams_data()
    {
        // clang-format off
        QTest::addColumn<QString>("params");    // format, input mode, and "thread" to check off the GUI thread
        QTest::addColumn<QString>("sub");       // below a fresh directory; empty: the directory itself
        QTest::addColumn<bool>("yes");          // the answer to the question
        QTest::addColumn<QString>("expected");  // the result, the error, "dir" when the directory exists; "?": asked
        QTest::newRow("format in capitals, mode 128") << "TIFF 128" << "" << true << "ok before dir";
        QTest::newRow("missing directory, Yes creates it") << "jpg 0" << "new/sub" << true << "ok before dir ?";
        QTest::newRow("missing directory, No") << "jpg 1" << "new/sub" << false << "no before ?";
        QTest::newRow("off the GUI thread") << "jpg 0 thread" << "new/sub" << true << "no before";
        QTest::newRow("directory cannot be made") << "jpg 1" << "file/sub" << true << "no 目录 %1/file/sub 创建错误 ?";
        QTest::newRow("format gif") << "gif 1" << "" << true << "no saveToFileFormat错误 dir";
        QTest::newRow("input mode 2") << "png 2" << "" << true << "no inputMode错误 dir";
        // clang-format on
    }
    void checkParams()
    {
        QFETCH(QString, params);
        QFETCH(QString, sub);
        QFETCH(bool, yes);
        QTemporaryDir dir;
        QFile(dir.filePath("file")).open(QIODevice::WriteOnly);
        CvqScanParams p = this->params(sub.isEmpty() ? dir.path() : dir.filePath(sub));
        p.saveToFileFormat = params.section(' ', 0, 0);
        p.inputMode = params.section(' ', 1, 1).toInt();
        QString got = "before", asked;
        bool ok = false;
        const CvqDoScan::Ask ask = [&](const QString& title, const QString& text) {
            asked += " " + title + "|" + text;
            return yes;
        };
        const auto check = [&] { ok = CvqDoScan().vqCheckParams(p, ask, got); };
        CvqWarningGuard warnings;  // off the GUI thread, the refusal is logged
        if (params.endsWith("thread"))
            std::thread(check).join();
        else
            check();
        QFETCH(QString, expected);
        QCOMPARE(QString(ok ? "ok " : "no ") + got + (QDir(p.vqOutDir).exists() ? " dir" : "") + asked,
                 expected.replace("%1", dir.path()).replace("?", "确认|目录 " + p.vqOutDir + " 不存在, 创建吗?"));
    }

    // The file sink refuses a name that is a path (the emulator, like the printer, refuses such a task id),
    // and a write before any page.
    void fileSinkRefuses()
    {
        QTemporaryDir top;
        QVERIFY(QDir(top.path()).mkdir("out"));
        CvqScanOuterOfFile escape(top.filePath("out"), "../x", "jpg");
        QVERIFY(escape.vqBeginJob() && escape.vqBeginPage(1) && !escape.vqWrite("A") && escape.vqEndJob());
        CvqScanOuterOfFile early(top.filePath("out"), "scan", "jpg");  // no page begun: nowhere to write
        QVERIFY(early.vqBeginJob() && !early.vqWrite("A") && QDir(top.filePath("out")).isEmpty());
        QCOMPARE(QDir(top.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"out"});
    }

    // The job-state reader's documented values (the emulator rows reach the finished codes);
    // an empty text stands for a command that fails.
    void jobState_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        const QString state = "vqscanjob.vqjobrun: %1\nvqscanjob.vqjobtp: %2\nvqscanjob.vqjobrstcode: %3\n"
                              "vqscanjob.vqjobwaitflag: 0";
        QTest::newRow("scan from the PC running") << state.arg("1", "1", "0") << 10;
        QTest::newRow("scan to PC running") << state.arg("1", "11", "0") << 11;
        QTest::newRow("other job running") << state.arg("2", "5", "0") << 12;
        QTest::newRow("a later line wins, trimmed") << state.arg("1", "1", "0") + "\n x.vqscanjob.vqjobrun : 0 " << 0;
        QTest::newRow("command fails") << QString() << -1;
    }
    void jobState()
    {
        QFETCH(QString, text);
        CvqCommOfUsb noPort(mOut.filePath("no-port"));
        QTEST(text.isEmpty() ? vqReadScanJobState(noPort) : vqParseScanJobState(text), "expected");
    }

    // Whole jobs against the emulator: the success and the fault counts over
    // both transports (the first row in real time), the job's other ends over one.
    void emulator_data()
    {
        // clang-format off
        QTest::addColumn<int>("hostTp");
        QTest::addColumn<QString>("setup");     // control lines, " | " between them; "sink" for the output
        QTest::addColumn<QString>("expected");  // the result, the pages stored (task id left out), the error
        const QString one = " _0001.jpg", two = one + " _0002.jpg", comm = " 通信错误";
        auto row = [](int tp, const QString& name) -> QTestData& {
            return QTest::newRow(qPrintable((tp == 2 ? "USB: " : "HTTP: ") + name)) << tp;
        };
        for (int tp : {2, 1})
            row(tp, "two whole pages (real time)") << "scanjob pages=2 parts=0" << "0" + two;
        // Ten failures of a kind are borne, the eleventh ends the job.
        row(2, "ten failed checks, then success") << "linkfault truncated count=10 types=14" << "0" + one;
        row(1, "eleven failed checks") << "httpfault status count=11 path=/vqhas" << "249" + comm;
        row(2, "a page that never comes") << "linkfault truncated count=0 types=11" << "249" + comm;
        row(1, "ten failed fetches, then success") << "httpfault status count=10 path=/vqget" << "0" + one;
        // A busy printer's state unreadable for 16 idle seconds: waited out, however long.
        for (int tp : {2, 1})
            row(tp, "state unreadable for 16 s, then done") << "scanjob pages=1 | jobstate fail=16 after=1" << "0" + one;
        row(2, "format in capitals, parted pages") << "scanjob pages=2 parts=2" << "0 _0001.JPG _0002.JPG";
        // The scanner's own faults 1 to 7; any other code, two digits too, is 8.
        for (int code = 1; code <= 12; ++code)
            row(2, QString("result code %1").arg(code)) << QString("scanjob pages=1 result=%1").arg(code)
                << QString("%1%2 ").arg(qMin(code, 8)).arg(one) + CvqDoScan::vqResultText(qMin(code, 8));
        row(2, "busy: a scan from the PC running") << "jobstate \"vqscanjob.vqjobrun: 1\\nvqscanjob.vqjobtp: 1\\nvqscanjob.vqjobrstcode: 0\\nvqscanjob.vqjobwaitflag: 0\"" << "241 设备忙,请稍后重试";
        row(2, "scanner fails to start") << "scanner err" << "12 扫描仪初始化失败,请稍后重试,或重启设备再尝试";
        row(2, "parameters refused") << "scanjob try=err" << "254 参数错误";
        row(2, "parameter check answers something else") << "scanjob try=maybe" << "249" + comm;
        row(2, "the last page appears as the job ends") << "scanjob pages=2 parts=0 last=state" << "0" + two;
        row(2, "the job ends inside a parted page") << "scanjob pages=1 parts=2 open=1" << "249" + one + comm;
        row(1, "a paper jam inside a parted page") << "scanjob pages=1 parts=2 open=1 result=1" << "1" + one + " 扫描仪卡纸";
        row(2, "job state without wait flag")
            << "jobstate \"vqscanjob.vqjobrun: 0\\nvqscanjob.vqjobtp: 0\\nvqscanjob.vqjobrstcode: 0\"" << "249" + comm;
        // A page the disk cannot hold is a storage error, never a short file reported as done;
        // so are pages beyond the job's bounds ("sink bounds": 3 pages, "page": 4000 bytes,
        // "job": 10000; an emulated page is 4013). The pages before them stay.
        const QString store = " 文件存储错误";
        row(2, "output directory gone") << "sink gone" << "252" + store;
#ifdef Q_OS_UNIX  // a full disk is played by a page file that leads to /dev/full
        row(2, "disk full inside a page") << "sink full" << "252" + one + store;
#endif
        row(2, "a fourth page") << "scanjob pages=4 parts=0 | sink bounds" << "252" + two + " _0003.jpg" + store;
        row(2, "a parted page past its bound") << "scanjob pages=1 parts=2 | sink page" << "252" + one + store;
        row(2, "a job past its bound") << "scanjob pages=3 parts=0 | sink job" << "252" + two + store;
        QTest::newRow("host type 3: nothing sent") << 3 << "" << "-1 系统错误";
        // clang-format on
    }
    void emulator()
    {
        mLink.close();  // the scan opens the port itself
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
        CvqSeamScope<CvqLinkSeams> seams;  // else the pauses of initTestCase
        if (tag.contains("real time"))
            seams->scanPause = nullptr;
        CvqDoScan scan;
        if (!sink.isEmpty())
            scan.vqBounds = {sink == "page" ? 4000 : 65536, 3, sink == "job" ? 10000 : 65536};
        if (sink == "full")
            QVERIFY(QFile::link("/dev/full", dir.filePath(p.taskId + "_0001.jpg")));
        QString err;
        const int code = scan.vqDoScan(p, err);
        QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::System);
        for (const QString& name : names)
            if (code != vqScanStoreError)  // the bound rows' last page never arrived whole
                QCOMPARE(vqReadFile(dir.filePath(name)),
                         vqReadFile(mOut.path() + "/scans/p1/" + p.taskId + "/pic" + name.mid(p.taskId.size())));
        QTEST(QString("%1 %2 %3").arg(code).arg(names.replaceInStrings(p.taskId, "").join(' '), err).simplified(),
              "expected");
        QVERIFY(hostTp != 3 || mSim.vqHistory().isEmpty());
    }

    // Whatever the request holds, nothing is written unless it is a plain extension; every request is
    // deleted (of a large one only the start is read) and refused with a quoted line.
    void hostileRequest_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("log");
        QTest::newRow("a program") << QByteArray("EXE") << "scan to pc: refused image format \"EXE\"";
        QTest::newRow("5000 bytes") << QByteArray(5000, 'a')
                                    << "scan to pc: refused request over 4096 bytes: \"" + QString(40, 'a') + "\"";
    }
    void hostileRequest()
    {
        QFETCH(QByteArray, request);
        // Through the link: a control line cannot carry 5000 bytes.
        QVERIFY(mLink.open() && mLink.vqLinkPut(vqScanToPcReqFile, request, mStatus, mErr) && mStatus == 0);
        mLink.close();  // the pass opens the port itself
        CvqDebugCapture debug;
        QCOMPARE(vqScanToPcPass(mSim.vqPty(), "P4120W"), CvqScanToPcEnd::BadRequest);
        QVERIFY(mSim.vqOk("wait gone /tmp/vqscantopc.req.txt timeout=1"));
        QFETCH(QString, log);
        QCOMPARE(debug.lines().filter("refused").join('|'), log);
        QCOMPARE(chunks().count("11:"), qMin(request.size() / 1024 + 1, 5));  // 4 KiB and one more chunk at most
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

        // Without a desktop (none, or a relative path) nothing lands in the working directory.
        QCOMPARE(vqScanToPcFolder(QString(), "P4120W") + vqScanToPcFolder(".", "P4120W"), QString());
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

VQ_TEST_GUILESS_MAIN(TstLinkE2e)
#include "tst_link_e2e.moc"
