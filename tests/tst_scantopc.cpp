// Scan to PC against the emulator: the request and the device's name as
// untrusted input, folders of the same second, and the thread fetching a panel
// scan, then ending on a stop (last: the stop signal is one-shot).
#include "cvqscantopctrd.h"
#include "vqmonitorseams.h"
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QtTest>

namespace {
const QString kStamp = QStringLiteral(" 2026-01-02 03-04-05");
}  // namespace

class TstScanToPc : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;
    QTemporaryDir mSimOut;
    QTemporaryDir mDesktop;
    CvqSeamScope<CvqMonitorSeams> mSeams;
    CvqSeamScope<CvqLinkSeams> mLinkSeams;

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
        QVERIFY2(mSim.vqStartOnHost({"--out", mSimOut.path(), "--quiet"}), qPrintable(mSim.vqError()));
        mSeams->desktop = [this] { return mDesktop.path(); };
        mSeams->now = [] { return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)); };
        mLinkSeams->scanPause = [](int ms) { return vqWaitQuit(qMin(ms, 20)); };
    }
    void init()
    {
        VQ_SIM_OK(mSim, "reset");
        VQ_SIM_OK(mSim, "history clear");
        takeDesktop();
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

VQ_TEST_GUILESS_MAIN(TstScanToPc)
#include "tst_scantopc.moc"
