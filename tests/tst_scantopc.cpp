// Scan to PC against the printer emulator: the request's format and the
// device's name as untrusted input, folders of the same second, and the
// thread itself fetching a panel scan and ending on a stop (last: the stop
// signal is one-shot per process).
#include "cvqscantopctrd.h"
#include "vqportloop.h"
#include "vqsimclient.h"
#include "vqtestsupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {
const QDateTime kWhen(QDate(2026, 1, 2), QTime(3, 4, 5));
const QString kStamp = QStringLiteral(" 2026-01-02 03-04-05");
}  // namespace

class TstScanToPc : public QObject
{
    Q_OBJECT

    CvqTempSimHost* mHost = nullptr;
    CvqSimClient mSim;
    QTemporaryDir mSimOut;
    QTemporaryDir mDesktop;

    // Everything under the desktop, as relative paths.
    QStringList desktopFiles()
    {
        QStringList out;
        const QDir top(mDesktop.path());
        for (const QString& d : top.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
            out << d + "/";
            for (const QString& f : QDir(top.filePath(d)).entryList(QDir::Files | QDir::Hidden))
                out << d + "/" + f;
        }
        return out;
    }
    void clearDesktop()
    {
        QDir(mDesktop.path()).removeRecursively();
        QDir().mkpath(mDesktop.path());
    }
    QByteArray simPage(int n)
    {
        return vqReadFile(QString("%1/scans/p1/vqstdscans/pic_%2.jpg").arg(mSimOut.path()).arg(n, 4, 10, QChar('0')));
    }

private slots:
    void initTestCase()
    {
        mHost = new CvqTempSimHost;
        QVERIFY2(mSim.vqStart(mHost->root(), {"--out", mSimOut.path(), "--quiet"}), qPrintable(mSim.vqError()));
        CvqScanToPcSeams& seams = vqScanToPcSeams();
        seams.desktop = [this] { return mDesktop.path(); };
        seams.now = [] { return kWhen; };
        seams.sleep = [](int ms) { return vqWaitQuit(qMin(ms, 20)); };
    }
    void cleanupTestCase()
    {
        mSim.vqStop();
        delete mHost;
    }
    void init()
    {
        VQ_SIM_OK(mSim, "reset");
        VQ_SIM_OK(mSim, "history clear");
        clearDesktop();
    }

    // The loop every printer-button service runs: who is served, the
    // per-port second, the tick's wrap, and no spinning without printers.
    void portLoop_data()
    {
        QTest::addColumn<QStringList>("ports");  // "!NAME": not connected
        QTest::addColumn<quint32>("start");
        QTest::addColumn<QString>("log");
        QTest::newRow("two ports, each at most once a second")
            << QStringList{"COM1", "COM2"} << 0u << "w0 COM1@0 COM2@300 w0 w400 COM1@1000 COM2@1300 w0";
        QTest::newRow("tick wrapped: no wait") << QStringList{"COM1"} << 0xFFFFFF00u
                                               << "w0 COM1@4294967040 w0 COM1@44 w0";
        QTest::newRow("no printer: a second between cycles") << QStringList{} << 0u << "w0 w1000 w0 w1000 w0";
        QTest::newRow("no port, or not connected: never served") << QStringList{"", "!COM2"} << 0u
                                                                  << "w0 w1000 w0 w1000 w0";
    }
    void portLoop()
    {
        QFETCH(QStringList, ports);
        QFETCH(quint32, start);
        quint32 tick = start;
        int cycles = 0;
        QStringList log;
        CvqPortLoopSeams seams;
        seams.poll = [&] {
            QMap<QString, CvqState> states;
            for (const QString& p : ports) {
                CvqState& s = states[QString::number(states.size())];
                s.connected = !p.startsWith('!');
                s.vqComName = p.mid(p.startsWith('!') ? 1 : 0);
            }
            return states;
        };
        seams.tick = [&] { return tick; };
        seams.wait = [&](int ms) {
            log << QString("w%1").arg(ms);
            tick += quint32(ms);
            return ms == 0 && ++cycles == 3;
        };
        vqRunPortLoop(
            [&](const CvqState& s) {
                log << QString("%1@%2").arg(s.vqComName).arg(tick);
                tick += 300;
            },
            seams);
        QTEST(log.join(' '), "log");
    }

    void folderName_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "P4120W" << "P4120W";
        QTest::newRow("separators and reserved characters") << "..\\../a:b*c?\"<d>|" << ".._.._a_b_c___d__";
        QTest::newRow("control characters") << QString("a\x01\x1f\x7f") + QChar(0) << "a____";
        QTest::newRow("non-ASCII kept") << "打印机 Ünï" << "打印机 Ünï";
    }
    void folderName()
    {
        QFETCH(QString, display);
        QFETCH(QString, folder);
        QCOMPARE(vqScanToPcFolderName(display, kWhen), folder + kStamp);
    }

    // Whatever the request holds, nothing is written unless it is a plain extension.
    void hostileRequest_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("read");  // false: too large to read, left on the printer
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("blanks only") << QByteArray(" \n\t") << true;
        QTest::newRow("parent path") << QByteArray("../x") << true;
        QTest::newRow("subdirectory") << QByteArray("a/b") << true;
        QTest::newRow("drive") << QByteArray("C:x") << true;
        QTest::newRow("control character") << QByteArray("jp\x01g") << true;
        QTest::newRow("NUL first") << QByteArray("\0jpg", 4) << true;
        QTest::newRow("nine characters") << QByteArray("abcdefghi") << true;
        QTest::newRow("300 characters") << QByteArray(300, 'a') << true;
        QTest::newRow("non-ASCII letters") << QByteArray("jpé") << true;
        QTest::newRow("5000 bytes: not read") << QByteArray(5000, 'a') << false;
    }
    void hostileRequest()
    {
        QFETCH(QByteArray, request);
        {
            CvqComLink link(mSim.vqPty());
            quint8 status = 9;
            QString err;
            QVERIFY(link.open() && link.vqLinkPut(vqScanToPcReqFile, request, status, err) && status == 0);
        }
        QFETCH(bool, read);
        QCOMPARE(vqScanToPcPass(mSim.vqPty(), "P4120W"), read ? CvqScanToPcEnd::BadRequest : CvqScanToPcEnd::NoRequest);
        QCOMPARE(mSim.vqOk("wait gone /tmp/vqscantopc.req.txt timeout=1"), read);
        QCOMPARE(desktopFiles(), QStringList());
        QCOMPARE(mSim.vqHistory().filter("vqstdscans"), QStringList());
        mSim.vqCmd("file rm /tmp/vqscantopc.req.txt");
    }

    // A hostile device name stays one folder below the desktop; a second job
    // of the same second gets its own folder.
    void folders()
    {
        const QString name = "../..\\x:y";
        for (int job = 1; job <= 2; ++job) {
            VQ_SIM_OK(mSim, "scan pages=1 parts=0 interval=10");
            VQ_SIM_OK(mSim, "wait scan idle timeout=10000");
            QCOMPARE(vqScanToPcPass(mSim.vqPty(), name), CvqScanToPcEnd::JobEnded);
        }
        const QString first = ".._.._x_y" + kStamp;
        QCOMPARE(desktopFiles(), QStringList({first + "/", first + "/scan_0001.jpg", first + " (2)/",
                                              first + " (2)/scan_0001.jpg"}));
        QCOMPARE(vqReadFile(mDesktop.filePath(first + "/scan_0001.jpg")), simPage(1));

        // An empty folder of that second is taken as it is.
        clearDesktop();
        QVERIFY(QDir(mDesktop.path()).mkdir("P4120W" + kStamp));
        VQ_SIM_OK(mSim, "scan pages=1 parts=0 interval=10");
        QCOMPARE(vqScanToPcPass(mSim.vqPty(), "P4120W"), CvqScanToPcEnd::JobEnded);
        QCOMPARE(desktopFiles(), QStringList({"P4120W" + kStamp + "/", "P4120W" + kStamp + "/scan_0001.jpg"}));

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
        const QString folder = "P4120W" + kStamp + "/";
        QTRY_COMPARE_WITH_TIMEOUT(debug.lines().filter("job ended").size(), 1, 30000);
        QCOMPARE(desktopFiles(), QStringList({folder, folder + "scan_0001.jpg", folder + "scan_0002.jpg"}));
        QCOMPARE(vqReadFile(mDesktop.filePath(folder + "scan_0001.jpg")), simPage(1));
        QCOMPARE(vqReadFile(mDesktop.filePath(folder + "scan_0002.jpg")), simPage(2));

        clearDesktop();
        VQ_SIM_OK(mSim, "scan pages=2 parts=0 interval=600000");
        QVERIFY(mSim.vqOk("wait gone /tmp/vqscantopc.req.txt timeout=10000"));
        vqQuitAll();
        QVERIFY(trd.wait(3000));
        QCOMPARE(desktopFiles(), QStringList{folder});
    }
};

VQ_TEST_GUILESS_MAIN(TstScanToPc)
#include "tst_scantopc.moc"
