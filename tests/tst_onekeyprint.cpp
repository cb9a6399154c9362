// One-key print: the port loop's spacing and stop checks on a scripted clock,
// the page's geometry and pixels, and the whole monitor under Xvfb.
#include "cvqonekeyprinttrd.h"
#include "vqmonitorseams.h"
#include "vqonekeypage.h"
#include "vqportloop.h"

#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QtTest>

class TstOneKeyPrint : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;
    QTemporaryDir mOut;
    void cmd(const QString& line) { VQ_SIM_OK(mSim, line); }
    static QString grays(const QImage& image, const QList<QPoint>& points)
    {
        QStringList out;
        for (const QPoint& p : points)
            out << QString::number(qGray(image.pixel(p)));
        return out.join(' ');
    }

private slots:
    void initTestCase() { QVERIFY2(mSim.vqStartOnHost({"--out", mOut.path(), "--quiet"}), qPrintable(mSim.vqError())); }

    // One pass against the emulated printer: what it asks, in order, and how it ends.
    void pass_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<int>("end");
        QTest::addColumn<QStringList>("asked");  // and whether the request is left on the printer
        using E = CvqOneKeyPrintEnd;
        using L = QStringList;
        const QString has = "type=14 path=/tmp/vqonekeyprint.req.txt", del = "type=13 path=/tmp/vqonekeyprint.req.txt",
                      put = "type=10 path=vqonekeyprint.rst.png", exea = "type=16 cmd=" + vqOneKeyPrintCommand;
        QTest::newRow("key pressed: printed") << L{"key"} << int(E::Started) << L{has, del, put, exea};
        QTest::newRow("no request") << L{} << int(E::NoRequest) << L{has};
        QTest::newRow("refused delete") << L{"key", "refuse del"} << int(E::NotDeleted) << L{has, del, "request left"};
        // The request is consumed, but no blank page is printed.
        QTest::newRow("no screen picture") << L{"key"} << int(E::NoPage) << L{has, del};
        QTest::newRow("refused upload") << L{"key", "refuse put"} << int(E::NotSent) << L{has, del, put};
        // clang-format on
    }
    void pass()
    {
        QFETCH(QStringList, setup);
        QFETCH(int, end);
        QFETCH(QStringList, asked);
        cmd("reset");
        mSim.vqCmd("file rm /tmp/vqonekeyprint.req.txt");  // left by an earlier row, or absent
        for (const QString& line : setup + QStringList("history clear"))
            cmd(line);
        const int printedBefore = mSim.vqStatus().value("printed").toInt();
        const bool printed = end == int(CvqOneKeyPrintEnd::Started);
        QImage shot(QTest::currentDataTag() == QByteArray("no screen picture") ? QSize() : QSize(1920, 1080),
                    QImage::Format_RGB32);
        shot.fill(Qt::black);
        CvqSeamScope<CvqMonitorSeams> seams;  // grabbed elsewhere than on this (the GUI) thread: no picture
        seams->grab = [&] { return QThread::currentThread() == thread() ? shot : QImage(); };
        CvqWarningGuard warnings;
        // On a worker, as the thread runs it.
        int got = -1, sent = 0;
        std::unique_ptr<QThread> worker(
            QThread::create([&] { got = int(vqOneKeyPrintPass(mSim.vqPty(), [&] { ++sent; })); }));
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 30000);
        QCOMPARE(got, end);
        QCOMPARE(sent, int(printed));  // the user's notice
        VQ_VERIFY_NO_MESSAGES(warnings, "no usable screen picture");

        // Each request without its id; of the upload only its first chunk.
        QStringList seen;
        for (QString h : mSim.vqHistory())
            if (!h.contains(QRegularExpression(" offset=[1-9]")))
                seen << h.remove(QRegularExpression("^serial | id=\\d+| length=\\d+| offset=0"));
        if (mSim.vqCmd("file ls /tmp/vqonekeyprint.req.txt").size() == 2)
            seen << "request left";
        QCOMPARE(seen, asked);
        if (printed)
            cmd("wait printed " + QString::number(printedBefore + 1) + " timeout=10000");
        QCOMPARE(mSim.vqStatus().value("printed").toInt(), printedBefore + printed);
    }

    // The port loop on a scripted clock: each wait advances the tick; the loop
    // is told to stop once the poll cycles run out.
    void loop_data()
    {
        // clang-format off
        QTest::addColumn<QList<CvqStateMap>>("cycles");
        QTest::addColumn<quint32>("start");
        QTest::addColumn<QString>("log");
        const auto on = [](const QString& port, bool connected = true) {
            CvqState s;
            s.connected = connected;
            s.vqComName = port;
            return s;
        };
        const CvqStateMap com3{{"a", on("COM3")}};
        QTest::newRow("one port named twice is still spaced")
            << QList<CvqStateMap>{{{"a", on("COM3")}, {"b", on("COM3")}}} << 0u << "pass COM3@0, wait 900, pass COM3@1000";
        QTest::newRow("no port or not connected: never served, the cycle waits")
            << QList<CvqStateMap>{{{"a", on("")}, {"b", on("COM5", false)}}, {}} << 0u << "wait 1000, wait 1000";
        QTest::newRow("the tick wraps: no wait") << QList<CvqStateMap>{com3, com3} << 0xFFFFFFF0u
                                                 << "pass COM3@4294967280, pass COM3@84";
        // clang-format on
    }
    void loop()
    {
        QFETCH(QList<CvqStateMap>, cycles);
        QFETCH(quint32, start);
        quint32 now = start;
        QStringList log;
        int polled = 0;
        CvqSeamScope<CvqMonitorSeams> seams;
        seams->poll = [&] { return cycles.value(polled++); };
        seams->tick = [&] { return now; };
        seams->wait = [&](int ms) {
            if (ms > 0)
                log << QStringLiteral("wait %1").arg(ms);
            now += quint32(qMax(ms, 0));
            return polled > cycles.size();
        };
        vqRunPortLoop([&](const CvqState& s) {
            log << QStringLiteral("pass %1@%2").arg(s.vqComName).arg(now);
            now += 100;  // a pass takes a while
        });
        QTEST(log.join(", "), "log");
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
        // Qt's own pipeline, as one would write it first.
        QImage gray = img.convertToFormat(QImage::Format_Grayscale8);
        if (gray.height() < gray.width())
            gray = gray.transformed(QTransform().rotate(90), Qt::FastTransformation);
        QVERIFY(ours
                == gray.scaled(ours.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_Grayscale8));
    }

    // Against a marked picture, not the code's own arithmetic: a portrait screen is
    // centred both ways (4800 x 5333: 80 px each side, 840 above, 841 below). The
    // turn of a landscape one is the picture rows' (Qt turns +90 degrees clockwise).
    void placement()
    {
        QImage portrait(1080, 1200, QImage::Format_RGB32);
        portrait.fill(Qt::black);
        const QImage page = QImage::fromData(vqPagePng(vqPagePicture(portrait)), "PNG");
        QCOMPARE(page.size(), QSize(vqPageWidth, vqPageHeight));
        QCOMPARE(grays(page, {{2480, 839}, {2480, 6173}, {79, 3500}, {4880, 3500}}), "255 255 255 255");
        QCOMPARE(grays(page, {{2480, 840}, {2480, 6172}, {80, 3500}, {4879, 3500}}), "0 0 0 0");
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
        QVERIFY2(QRegularExpression("^\\d+\n$").match(display).hasMatch(), display.constData());

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
        const auto printed = [this](const QString& p) { return mSim.vqStatus(p).value("printed").toInt(); };
        const int before = printed("p1");
        for (const char* line :
             {"@p1 history clear", "@p2 history clear", "@p3 history clear", "@p4 history clear", "@p1 key", "@p2 key"})
            cmd(line);
        cmd("@p1 wait printed " + QString::number(before + 1) + " timeout=30000");
        cmd("@p2 wait printed 1 timeout=30000");
        cmd("sleep 2500");  // two more passes: still one page each
        QProcess::execute(monitor, {"exit"});
        QVERIFY(m.waitForFinished(30000));
        x.terminate();
        x.waitForFinished(10000);

        QCOMPARE(printed("p1") - before, 1);
        QCOMPARE(printed("p2"), 1);
        QCOMPARE(mSim.vqHistory("p3") + mSim.vqHistory("p4"), QStringList());  // never contacted
        QList<qint64> asked;
        for (const auto& h : mSim.vqHistoryTimed("p1"))
            if (h.second.startsWith("serial type=14 "))
                asked << h.first;
        QVERIFY(asked.size() >= 3);
        // Stamped on arrival, late on a loaded machine: the exact pacing is the loop table's; here, paced at all.
        for (int i = 1; i < asked.size(); ++i)
            QVERIFY2(asked[i] - asked[i - 1] >= 500, qPrintable(QString::number(asked[i] - asked[i - 1])));

        const QByteArray png =
            vqReadFile(mOut.filePath(QStringLiteral("printed_p1_%1.png").arg(before + 1, 4, 10, QChar('0'))));
        QCOMPARE(png.mid(24, 2), QByteArray("\x08\x00", 2));  // 8-bit depth, gray
        const QImage page = QImage::fromData(png, "PNG");
        QCOMPARE(page.size(), QSize(vqPageWidth, vqPageHeight));
        // The black root window, drawn at (552, 80) in 3855 x 6854, white around it.
        QCOMPARE(grays(page, {{551, 80}, {552, 79}, {4407, 6933}, {552, 6934}, {552, 80}, {4406, 6933}}),
                 "255 255 255 255 0 0");
    }
#endif
};

VQ_TEST_MAIN(TstOneKeyPrint)
#include "tst_onekeyprint.moc"
