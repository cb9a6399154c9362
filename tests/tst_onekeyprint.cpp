// One-key print: the port loop's spacing and stop checks on a scripted clock,
// the page's geometry and pixels, and the whole monitor under Xvfb.
#include "cvqonekeyprinttrd.h"
#include "vqmonitorseams.h"
#include "vqonekeypage.h"
#include "vqportloop.h"

#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

namespace {
using StateMap = QMap<QString, CvqState>;

CvqState printer(const QString& port, bool connected = true)
{
    CvqState s;
    s.connected = connected;
    s.vqComName = port;
    return s;
}

// A loop on a scripted clock: each wait advances the tick; the loop is told
// to stop once the poll cycles run out.
struct CvqScriptedLoop
{
    QList<StateMap> cycles;
    quint32 now = 0;
    QStringList log;  // "pass PORT@tick" and "wait MS"

    void run()
    {
        CvqSeamScope<CvqMonitorSeams> seams;
        int polled = 0;
        seams->poll = [&] { return cycles.value(polled++); };
        seams->tick = [&] { return now; };
        seams->wait = [&](int ms) {
            if (ms > 0) {
                log << QStringLiteral("wait %1").arg(ms);
                now += quint32(ms);
            }
            return polled > cycles.size();
        };
        vqRunPortLoop([&](const CvqState& s) {
            log << QStringLiteral("pass %1@%2").arg(s.vqComName).arg(now);
            now += 100;  // a pass takes a while
        });
    }
};
}  // namespace

class TstOneKeyPrint : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;
    QTemporaryDir mOut;
    void cmd(const QString& line) { VQ_SIM_OK(mSim, line); }

    // Qt's own pipeline, as one would write it first.
    static QImage plainPicture(const QImage& grab)
    {
        QImage gray = grab.convertToFormat(QImage::Format_Grayscale8);
        if (gray.height() < gray.width())
            gray = gray.transformed(QTransform().rotate(90), Qt::FastTransformation);
        const QSize fit = vqPageFit(gray.width(), gray.height());
        return gray.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_Grayscale8);
    }

private slots:
    void initTestCase() { QVERIFY2(mSim.vqStartOnHost({"--out", mOut.path(), "--quiet"}), qPrintable(mSim.vqError())); }

    // One pass against the emulated printer: what it asks, in order, and how it ends.
    void pass_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<bool>("screen");
        QTest::addColumn<int>("end");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<bool>("printed");
        using E = CvqOneKeyPrintEnd;
        using L = QStringList;
        const QString has = "type=14 path=/tmp/vqonekeyprint.req.txt", del = "type=13 path=/tmp/vqonekeyprint.req.txt",
                      put = "type=10 path=vqonekeyprint.rst.png", exea = "type=16 cmd=" + vqOneKeyPrintCommand;
        QTest::newRow("key pressed: printed") << L{"key"} << true << int(E::Started) << L{has, del, put, exea} << true;
        QTest::newRow("no request") << L{} << true << int(E::NoRequest) << L{has} << false;
        QTest::newRow("refused delete") << L{"key", "refuse del"} << true << int(E::NotDeleted) << L{has, del} << false;
        // The request is consumed, but no blank page is printed.
        QTest::newRow("no screen picture") << L{"key"} << false << int(E::NoPage) << L{has, del} << false;
        QTest::newRow("refused upload") << L{"key", "refuse put"} << true << int(E::NotSent) << L{has, del, put}
                                        << false;
        // clang-format on
    }
    void pass()
    {
        QFETCH(QStringList, setup);
        QFETCH(bool, screen);
        QFETCH(QStringList, asked);
        cmd("reset");
        mSim.vqCmd("file rm /tmp/vqonekeyprint.req.txt");  // left by an earlier row, or absent
        for (const QString& line : setup)
            cmd(line);
        cmd("history clear");
        const int printedBefore = mSim.vqStatus().value("printed").toInt();
        QThread* grabbedOn = nullptr;
        CvqSeamScope<CvqMonitorSeams> seams;
        seams->grab = [screen, &grabbedOn] {
            grabbedOn = QThread::currentThread();
            QImage shot(1920, 1080, QImage::Format_RGB32);
            shot.fill(Qt::black);
            return screen ? shot : QImage();
        };
        CvqWarningGuard warnings;
        // On a worker, as the thread runs it: the screen is grabbed on this (the GUI) thread.
        int end = -1, sent = 0;
        std::unique_ptr<QThread> worker(
            QThread::create([&] { end = int(vqOneKeyPrintPass(mSim.vqPty(), [&] { ++sent; })); }));
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 30000);
        QTEST(end, "end");
        QVERIFY(!grabbedOn || grabbedOn == thread());
        QFETCH(bool, printed);
        QCOMPARE(sent, printed ? 1 : 0);  // the user's notice
        VQ_VERIFY_NO_MESSAGES(warnings, "no usable screen picture");

        // Each request without its id; of the upload only its first chunk.
        QStringList seen;
        for (QString h : mSim.vqHistory()) {
            h.remove(QRegularExpression("^serial | id=\\d+| length=\\d+"));
            if (h.contains(" offset=") && !h.endsWith(" offset=0"))
                continue;
            seen << h.remove(" offset=0");
        }
        QCOMPARE(seen, asked);
        const bool pending = setup.contains("key") && (asked.size() < 2 || setup.contains("refuse del"));
        QCOMPARE(mSim.vqCmd("file ls /tmp/vqonekeyprint.req.txt").size(), pending ? 2 : 1);
        if (printed)
            cmd("wait printed " + QString::number(printedBefore + 1) + " timeout=10000");
        QCOMPARE(mSim.vqStatus().value("printed").toInt(), printedBefore + (printed ? 1 : 0));
    }

    void loop_data()
    {
        // clang-format off
        QTest::addColumn<QList<StateMap>>("cycles");
        QTest::addColumn<quint32>("start");
        QTest::addColumn<QStringList>("log");
        const StateMap shared{{"a", printer("COM3")}, {"b", printer("COM3")}};
        QTest::newRow("one port named twice is still spaced")
            << QList<StateMap>{shared} << 0u << QStringList{"pass COM3@0", "wait 900", "pass COM3@1000"};
        const StateMap idle{{"a", printer("")}, {"b", printer("COM5", false)}};
        QTest::newRow("no port or not connected: never served, the cycle waits")
            << QList<StateMap>{idle, StateMap()} << 0u << QStringList{"wait 1000", "wait 1000"};
        QTest::newRow("the tick wraps: no wait")
            << QList<StateMap>{StateMap{{"a", printer("COM3")}}, StateMap{{"a", printer("COM3")}}} << 0xFFFFFFF0u
            << QStringList{"pass COM3@4294967280", "pass COM3@84"};
        // clang-format on
    }
    void loop()
    {
        QFETCH(QList<StateMap>, cycles);
        QFETCH(quint32, start);
        CvqScriptedLoop l;
        l.cycles = cycles;
        l.now = start;
        l.run();
        QTEST(l.log, "log");
    }

    // The fitted size, and Qt's pixels to the bit, enlarging or not.
    void picture_data()
    {
        // clang-format off
        QTest::addColumn<QSize>("grab");
        QTest::addColumn<QSize>("fit");
        QTest::newRow("1920x1080, turned") << QSize(1920, 1080) << QSize(3855, 6854);
        QTest::newRow("odd portrait") << QSize(37, 53) << QSize(4785, 6854);
        QTest::newRow("larger than the box: shrunk") << QSize(9000, 5000) << QSize(3808, 6854);
        // clang-format on
    }
    void picture()
    {
        QFETCH(QSize, grab);
        QImage img(grab, QImage::Format_RGB32);
        QRandomGenerator rng(grab.width());
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                img.setPixel(x, y, 0xff000000u | (rng.generate() & 0xffffffu));
        const QImage ours = vqPagePicture(img).convertToFormat(QImage::Format_Grayscale8);
        QTEST(ours.size(), "fit");
        QVERIFY(ours == plainPicture(img));
    }

    // Against marked pictures, not the code's own arithmetic: a landscape
    // screen turns clockwise (its top-left mark lands top-right); a portrait
    // one is centred both ways (4800 x 5333: 80 px each side, 840 above, 841 below).
    void placement()
    {
        QImage land(200, 100, QImage::Format_RGB32);
        land.fill(Qt::white);
        QPainter(&land).fillRect(0, 0, 20, 20, Qt::black);
        const QImage up = vqPagePicture(land).convertToFormat(QImage::Format_Grayscale8);
        QVERIFY(up.height() > up.width());
        QCOMPARE(qGray(up.pixel(up.width() - 1, 0)), 0);
        QCOMPARE(qGray(up.pixel(0, 0)), 255);
        QCOMPARE(qGray(up.pixel(up.width() - 1, up.height() - 1)), 255);

        QImage portrait(1080, 1200, QImage::Format_RGB32);
        portrait.fill(Qt::black);
        const QImage page = QImage::fromData(vqPagePng(vqPagePicture(portrait)), "PNG");
        QCOMPARE(page.size(), QSize(vqPageWidth, vqPageHeight));
        for (const QPoint& p : {QPoint(2480, 839), QPoint(2480, 6173), QPoint(79, 3500), QPoint(4880, 3500)})
            QCOMPARE(qGray(page.pixel(p)), 255);
        for (const QPoint& p : {QPoint(2480, 840), QPoint(2480, 6172), QPoint(80, 3500), QPoint(4879, 3500)})
            QCOMPARE(qGray(page.pixel(p)), 0);
    }

    void noPicture()
    {
        QCOMPARE(vqPageFit(0, 0), QSize());
        QVERIFY(vqPagePng(vqPagePicture(QImage())).isEmpty());
        QVERIFY(vqPagePicture(QImage(1, 100000, QImage::Format_RGB32)).isNull());
    }

    // The real monitor on its own X server: one key press on each of two
    // printers gives one page each; printers without a port or not connected
    // are never contacted; one port is not asked twice within a second.
#ifndef Q_OS_WIN  // starts its own Xvfb; under Wine monitor_sim_wine drives monitor.exe
    void endToEnd()
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty())
            QSKIP("Xvfb is not installed (scripts/deps.sh installs it)");
        cmd("reset");
        mSim.vqCmd("file rm /tmp/vqonekeyprint.req.txt");
        for (const char* line : {"add p2", "add p3", "@p3 unplug serial", "add p4", "@p4 unplug queue"})
            cmd(line);
        QProcess x;
        x.start(xvfb, {"-displayfd", "1", "-screen", "0", "1920x1080x24", "-br", "-nolisten", "tcp"});
        QVERIFY(x.waitForStarted(10000));
        QByteArray display;
        while (!display.endsWith('\n') && x.waitForReadyRead(15000))
            display += x.readAllStandardOutput();
        bool numbered = false;
        display.trimmed().toInt(&numbered);
        QVERIFY2(numbered, display.constData());

        QTemporaryDir bin;  // a path of its own: its own single instance
        const QString monitor = bin.path() + "/monitor";
        QVERIFY(QFile::copy(qEnvironmentVariable("VQ_BIN_DIR") + "/monitor", monitor));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", ":" + display.trimmed());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("VQ_SIM_HOST", mSim.vqHostRoot());
        QProcess m;
        m.setProcessEnvironment(env);
        m.start(monitor, {"hide"});
        QVERIFY(m.waitForStarted(10000));
        const int before = mSim.vqStatus("p1").value("printed").toInt();
        for (const char* p : {"p1", "p2", "p3", "p4"})
            cmd(QStringLiteral("@%1 history clear").arg(p));
        cmd("@p1 key");
        cmd("@p2 key");
        cmd("@p1 wait printed " + QString::number(before + 1) + " timeout=30000");
        cmd("@p2 wait printed 1 timeout=30000");
        cmd("sleep 2500");  // two more passes: still one page each
        QProcess::execute(monitor, {"exit"});
        QVERIFY(m.waitForFinished(30000));
        x.terminate();
        x.waitForFinished(10000);

        QCOMPARE(mSim.vqStatus("p1").value("printed").toInt(), before + 1);
        QCOMPARE(mSim.vqStatus("p2").value("printed").toInt(), 1);
        QCOMPARE(mSim.vqHistory("p3"), QStringList());
        QCOMPARE(mSim.vqHistory("p4"), QStringList());
        QList<qint64> asked;
        for (const auto& h : mSim.vqHistoryTimed("p1"))
            if (h.second.startsWith("serial type=14 "))
                asked << h.first;
        QVERIFY(asked.size() >= 3);
        for (int i = 1; i < asked.size(); ++i)  // stamped on arrival: allow for the link's own delay
            QVERIFY2(asked[i] - asked[i - 1] >= 900, qPrintable(QString::number(asked[i] - asked[i - 1])));

        QFile file(mOut.path() + QStringLiteral("/printed_p1_%1.png").arg(before + 1, 4, 10, QLatin1Char('0')));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray png = file.readAll();
        QCOMPARE(png.mid(24, 2), QByteArray("\x08\x00", 2));  // 8-bit depth, gray
        const QImage page = QImage::fromData(png, "PNG");
        QCOMPARE(page.size(), QSize(vqPageWidth, vqPageHeight));
        // The black root window, drawn at (552, 80) in 3855 x 6854, white around it.
        for (const QPoint& p : {QPoint(551, 80), QPoint(552, 79), QPoint(4407, 6933), QPoint(552, 6934)})
            QCOMPARE(qGray(page.pixel(p)), 255);
        for (const QPoint& p : {QPoint(552, 80), QPoint(4406, 6933)})
            QCOMPARE(qGray(page.pixel(p)), 0);
    }
#endif
};

VQ_TEST_MAIN(TstOneKeyPrint)
#include "tst_onekeyprint.moc"
