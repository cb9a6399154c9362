// The LAN firmware upgrade on this test's own 127.N.M.0/24 (address list, checks,
// upload, "uprom1"; its one-shot stop last) and one-key print (the port loop on a
// scripted clock, the page's pixels, the monitor under Xvfb) against the emulator.
#include "cvqlanuprom.h"
#include "vqlanaddr.h"
#include "cvqonekeyprinttrd.h"
#include "vqmonitorseams.h"
#include "vqonekeypage.h"
#include "vqsimonhost.h"

#include <QPainter>
#include <QtNetwork>
#include <QtTest>

class TstOneKeyPrint : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;
    CvqSimOnHost mSim;
    QString mNet;  // "127.N.M."
    quint16 mPort = 0;
    QByteArray mImage;
    CvqSeamScope<CvqMonitorSeams> mSeams;
    QStringList mPending;  // a worker's list; vqRunOneIp leaves it alone
    QMutex mMutex;

    QString ip(int host) const { return mNet + QString::number(host); }
    void configure(int uploadMs, const QString& image = "1.RM", const QString& mask = "255.255.255.0")
    {
        CvqUpRomConfig c;
        c.port = mPort;
        c.uploadMs = uploadMs;
        c.firmwareFixed = mDir.filePath(image);
        c.interfaces = [list = vqParseIfList(ip(1) + "/" + mask)] { return list; };
        mSeams->upRom = [c] { return c; };
    }
    QStringList httpHistory() { return mSim.vqHistory().filter(QRegularExpression("^http ")); }
    void sim(const QStringList& lines)
    {
        for (const QString& line : lines)
            VQ_SIM_OK(mSim, line);
    }

private slots:
    void initTestCase()
    {
        qputenv("VQ_LOOPBACK_ONLY", "1");
        vqAllowWarnings({"no usable screen picture"});  // the degenerate screen's pass
        auto* rng = QRandomGenerator::global();
        mNet = QStringLiteral("127.%1.%2.").arg(rng->bounded(64, 250)).arg(rng->bounded(1, 250));
        QVERIFY2(mSim.vqStartOnHost({"--http", ip(2) + ":0", "--quiet", "--out", mDir.path()}),
                 qPrintable(mSim.vqError()));
        mPort = quint16(mSim.vqHttp().section(':', 1).toUInt());
        // A second printer: where the redirect points.
        VQ_SIM_OK(mSim, QStringLiteral("add p2 http=%1:%2").arg(ip(3)).arg(mPort));
        for (int i = 0; i < 300 * 1024; ++i)
            mImage += char(i * 7 + i / 251);
        QFile f(mDir.filePath("1.RM"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(mImage) == mImage.size());
    }

    void addressList_data()
    {
        // clang-format off
        QTest::addColumn<QString>("ifs");
        QTest::addColumn<QString>("expected");  // how many, the first and the last
        QTest::newRow("/24") << "198.51.100.7/255.255.255.0" << "253 198.51.100.1..198.51.100.254";
        QTest::newRow("/16: its own /24") << "198.51.7.9/255.255.0.0" << "253 198.51.7.1..198.51.7.254";
        QTest::newRow("/30: one") << "203.0.113.5/255.255.255.252" << "1 203.0.113.6..203.0.113.6";
        QTest::newRow("two on one /24: each once") << "198.51.100.7/255.255.255.0,198.51.100.8/255.255.255.0"
                                                   << "254 198.51.100.1..198.51.100.7";
        QTest::newRow("/31: none") << "203.0.113.4/255.255.255.254" << "0 ..";
        QTest::newRow("IPv6 ignored") << "2001:db8::1/ffff:ffff:ffff:ffff::" << "0 ..";
        QTest::newRow("up, not running") << "198.51.100.7/255.255.255.0" << "0 ..";
        // clang-format on
    }
    void addressList()
    {
        QFETCH(QString, ifs);
        QList<CvqIfAddr> entries = vqParseIfList(ifs);
        QVERIFY(!entries.isEmpty());
        if (QByteArray(QTest::currentDataTag()).startsWith("up,"))
            entries[0].flags = QNetworkInterface::IsUp;
        const QStringList list = vqUpRomAddressList(entries);
        QTEST(QStringLiteral("%1 %2..%3").arg(list.size()).arg(list.value(0), list.value(list.size() - 1)), "expected");
    }

    void guards()
    {
        QVERIFY(!vqUpRomMayContact("203.0.113.5"));  // the safety net every test sets
        QVERIFY(vqParseIfList("127.0.0.1/255.0.0.0,nonsense").isEmpty());
        // Firmware: the installed image first, then the one beside the program, else none.
        QTemporaryDir app;
        const QString fixed = mDir.filePath("1.RM");
        QCOMPARE(vqUpRomFirmwarePath(fixed, app.path()), fixed);
        QCOMPARE(vqUpRomFirmwarePath(mDir.filePath("none"), app.path()), QString());
        QVERIFY(QFile::copy(fixed, app.filePath("1.RM")));
        QCOMPARE(vqUpRomFirmwarePath(mDir.filePath("none"), app.path()), app.filePath("1.RM"));
    }

    void oneAddress_data()
    {
        // clang-format off
        QTest::addColumn<QString>("setup");  // control lines, " | " between them
        QTest::addColumn<QString>("log");    // GETs, the log after its header (progress aside), the other requests, the image stored; %1: the address
        const QString go = "3 GETs; need uprom#1 %1; %1 need uprom#2", idle = "romver V1.3.6406",
                      to = QStringLiteral(" | httpfault redirect path=/uprom count=0 to=http://%1:%2/uprom").arg(ip(3)).arg(mPort),
                      sent = "; http POST /uprom; http part Content-Disposition: form-data; name=\"file1\"; filename=\"1.RM\" | "
                             "Content-Type: application/octet-stream | bytes=307200; the image stored";
        QTest::newRow("at the target version") << idle << go + sent;
        QTest::newRow("sleeping (pa 1), idle lines in another order")
            << "activity sleep | " + idle + " | jobstate vqscanjob.vqjobrun: 0\\nvqjob: 1\\nvqmainjob.vqjobrun: 0" << go + sent;
        QTest::newRow("redirect of the upload not followed") << idle + to << go + sent;
        QTest::newRow("silent server, short time-out") << idle + " | httpfault silence path=/uprom"
            << go + "; Request timed out!; upload FAILED: \"Operation canceled\"" + sent;
        QTest::newRow("not ours") << "web id MFG:Other;CLS:SCANNER;" << "1 GETs; not our printer %1";
        QTest::newRow("model in the wrong case") << "web type p4120w" << "2 GETs; not need uprom ProductType %1 \"p4120w\"";
        QTest::newRow("a model that forges a line") << "web type \"P\\nforged\"" << "2 GETs; not need uprom ProductType %1 \"P\\nforged\"";
        QTest::newRow("newer") << "romver V1.3.6500" << "2 GETs; romver already high %1 \"V1.3.6500\"";
        QTest::newRow("warming up (pa 2)") << "activity warmup | " + idle << "2 GETs; printer is buzy %1 2";
        QTest::newRow("print job") << idle + " | jobstate vqmainjob.vqjobrun: 1\\nvqscanjob.vqjobrun: 0"
            << "3 GETs; need uprom#1 %1; %1 equip is buzy";
        QTest::newRow("scan job") << idle + " | jobstate vqmainjob.vqjobrun: 0\\nvqscanjob.vqjobrun: 1"
            << "3 GETs; need uprom#1 %1; %1 scanner is buzy";
        QTest::newRow("100 MB identification") << "httpfault huge path=/ajax_get1284 size=104857600" << "1 GETs";
        // clang-format on
    }
    void oneAddress()
    {
        QFETCH(QString, setup);
        QFETCH(QString, log);
        configure(setup.contains("silence") ? 1500 : 150000);  // a silent server is waited for briefly only
        sim(QStringList{"@p1 reset", "@p2 reset", "@p1 history clear", "@p2 history clear"} + setup.split(" | "));
        const int uproms = mSim.vqStatus().value("uprom").toInt();

        CvqDebugCapture capture;
        CvqLanUpRomSlaveTrd(3, &mPending, &mMutex).vqRunOneIp(ip(2));
        QStringList got = capture.take().filter(QRegularExpression("^(?!upload progress：|-+ vqRunOneIp )"));
        const QStringList history = httpHistory() + mSim.vqHistory("p2").filter("http ");  // and where a redirect led
        got.prepend(QStringLiteral("%1 GETs").arg(history.filter("http GET").size()));
        got << history.filter(QRegularExpression("^http (?!GET)"));
        if (vqReadFile(mDir.filePath(QStringLiteral("uprom_p1_%1.RM").arg(uproms + 1, 4, 10, QChar('0')))) == mImage)
            got << "the image stored";
        QCOMPARE(got.join("; "), log.replace("%1", ip(2)));
        // The upload says whether the printer took the image, true only when it did.
        if (log.contains(" need uprom#2; http POST"))
            QCOMPARE(vqUpRomUpload(ip(2)), !setup.contains("httpfault"));
    }

    // The image goes out once, however the connection ends: closed without a word (alone, or in a pass
    // whose workers share one manager for their reads), or refused as too large while it is sent.
    void uploadOnce_data()
    {
        QTest::addColumn<QString>("how");       // drop, pass or big
        QTest::addColumn<QString>("expected");  // the uploads the printer saw, then the failure logged
        const QString dropped = "http POST /uprom dropped|upload FAILED: \"Connection closed\"";
        QTest::newRow("closed unanswered") << "drop" << dropped;
        QTest::newRow("closed unanswered, in a pass") << "pass" << dropped;
        QTest::newRow("over 64 MiB: 413 while sent")
            << "big"
            << "http POST /uprom too large|upload FAILED: \"server replied: 413\"";
    }
    void uploadOnce()
    {
        QFETCH(QString, how);
        QFile big(mDir.filePath("big.RM"));  // sparse: nothing but its size
        QVERIFY(how != "big" || (big.open(QIODevice::WriteOnly) && big.resize((qint64(64) << 20) + 1)));
        configure(150000, how == "big" ? "big.RM" : "1.RM", "255.255.255.252");  // the printer the one other host
        sim({"@p1 reset", "romver V1.3.6406", how == "big" ? "httpfault clear" : "httpfault drop path=/uprom",
             "@p1 history clear"});
        CvqDebugCapture capture;
        if (how == "pass") {
            CvqLanUpRomTrd trd;
            trd.onePass = true;
            trd.start();
            QVERIFY(trd.wait(60000));
        } else {
            CvqLanUpRomSlaveTrd(3, &mPending, &mMutex).vqRunOneIp(ip(2));
        }
        big.remove();
        const QStringList got =
            httpHistory().filter(QRegularExpression("^http (?!GET)")) + capture.take().filter("FAILED");
        QTEST(got.join('|'), "expected");
    }

    // With no port set, the printer's own port 80; its answer ends at the first 0 byte, nothing trimmed.
    void port80()
    {
        QTcpServer server;
        if (!server.listen(QHostAddress(ip(9)), 80))
            QSKIP("cannot bind port 80 here (needs root or it is taken)");
        connect(&server, &QTcpServer::newConnection, &server, [&server] {
            QTcpSocket* s = server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [s] {
                s->readAll();
                s->write(QByteArrayLiteral("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n ab\0cd \n"));
                s->disconnectFromHost();
            });
        });
        mSeams->upRom = [] { return CvqUpRomConfig(); };
        QCOMPARE(vqUpRomGet(ip(9), "/ajax_get1284", 2000), QStringLiteral(" ab"));
    }

    // The progress window. Its bar: the maximum first, the value from the next tick on, back to 0 when
    // there are no addresses. Its whole run: one pass, then the end (the shipped switch's verb does
    // nothing: tst_singleton).
    void verbUpRom1()
    {
        int maximum = 100, value = 0;
        QStringList bar;
        for (const QPoint& totalPending : {QPoint(253, 245), QPoint(253, 200), QPoint(0, 0)}) {
            vqUpRomTick(totalPending.x(), totalPending.y(), maximum, value);
            bar << QStringLiteral("%1 %2").arg(maximum).arg(value);
        }
        QCOMPARE(bar.join(", "), "253 0, 253 53, 253 0");
        sim({"reset", "history clear"});
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VQ_UPROM_IFACES", ip(1) + "/255.255.255.252");  // its one other host: the printer
        env.insert("VQ_UPROM_PORT", QString::number(mPort));
#ifdef Q_OS_WIN
        env.remove("QT_QPA_PLATFORM");  // the Windows program has its own platform only (ctest sets offscreen)
#endif
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("VQ_BIN_DIR") + "/monitor_allon", {"uprom1"});
        QVERIFY(p.waitForFinished(60000));
        const int asked = httpHistory().filter("http GET /ajax_get1284").size();
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(p.exitStatus()).arg(p.exitCode()).arg(asked), "0 0 1");
    }

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
        QTest::newRow("degenerate screen") << L{"key"} << int(E::NoPage) << L{has, del};
        QTest::newRow("refused upload") << L{"key", "refuse put"} << int(E::NotSent) << L{has, del, put};
        // clang-format on
    }
    void pass()
    {
        QFETCH(QStringList, setup);
        QFETCH(int, end);
        QFETCH(QStringList, asked);
        mSim.vqCmd("file rm /tmp/vqonekeyprint.req.txt");  // left by an earlier row, or absent
        sim(QStringList("reset") + setup + QStringList("history clear"));
        const int printedBefore = mSim.vqStatus().value("printed").toInt();
        const bool printed = end == int(CvqOneKeyPrintEnd::Started);
        QImage shot(end == int(CvqOneKeyPrintEnd::NoPage) ? QSize(1, 100000) : QSize(1920, 1080), QImage::Format_RGB32);
        shot.fill(Qt::black);
        CvqSeamScope<CvqMonitorSeams> seams;  // grabbed elsewhere than on this (the GUI) thread: no picture
        seams->grab = [&] { return QThread::currentThread() == thread() ? shot : QImage(); };
        // On a worker, as the thread runs it.
        int got = -1, sent = 0;
        std::unique_ptr<QThread> worker(
            QThread::create([&] { got = int(vqOneKeyPrintPass(mSim.vqPty(), [&] { ++sent; })); }));
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 30000);
        QCOMPARE(got, end);
        QCOMPARE(sent, int(printed));  // the user's notice

        // Each request without its id; of the upload only its first chunk.
        QStringList seen = mSim.vqHistory().filter(QRegularExpression("^(?!.* offset=[1-9])"));
        seen.replaceInStrings(QRegularExpression("^serial | id=\\d+| length=\\d+| offset=0"), QString());
        if (mSim.vqCmd("file ls /tmp/vqonekeyprint.req.txt").size() == 2)
            seen << "request left";
        QCOMPARE(seen, asked);
        sim({QStringLiteral("wait printed %1 timeout=10000").arg(printedBefore + printed)});
        QCOMPARE(mSim.vqStatus().value("printed").toInt(), printedBefore + printed);
    }

    // The port loop on a scripted clock: each wait advances the tick; the loop
    // is told to stop once the poll cycles run out.
    void loop_data()
    {
        // clang-format off
        QTest::addColumn<QList<CvqStateMap>>("cycles");
        QTest::addColumn<quint32>("now");  // the tick at the start
        QTest::addColumn<QString>("log");
        const auto on = [](const QString& port, bool connected = true) {
            CvqState s;
            s.connected = connected;
            s.vqComName = port;
            return s;
        };
        QTest::newRow("one port named twice is still spaced")
            << QList<CvqStateMap>{{{"a", on("COM3")}, {"b", on("COM3")}}} << 0u << "pass COM3@0, wait 900, pass COM3@1000";
        QTest::newRow("no port or not connected: never served, the cycle waits")
            << QList<CvqStateMap>{{{"a", on("")}, {"b", on("COM5", false)}}, {}} << 0u << "wait 1000, wait 1000";
        QTest::newRow("the tick wraps: no wait")
            << QList<CvqStateMap>{{{"a", on("COM3")}}, {{"a", on("COM3")}}} << 0xFFFFFFF0u << "pass COM3@4294967280, pass COM3@84";
        // clang-format on
    }
    void loop()
    {
        QFETCH(QList<CvqStateMap>, cycles);
        QFETCH(quint32, now);
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

    // Where the picture sits (a portrait centred both ways, halves truncated), and Qt's pixels to the bit.
    void picture_data()
    {
        // clang-format off
        QTest::addColumn<QSize>("grab");
        QTest::addColumn<QRect>("at");  // on the page
        QTest::newRow("1920x1080, turned") << QSize(1920, 1080) << QRect(552, 80, 3855, 6854);
        QTest::newRow("odd portrait") << QSize(37, 53) << QRect(87, 80, 4785, 6854);
        QTest::newRow("portrait as wide as the box") << QSize(1080, 1200) << QRect(80, 840, 4800, 5333);
        QTest::newRow("larger than the box: shrunk") << QSize(9000, 5000) << QRect(576, 80, 3808, 6854);
        // clang-format on
    }
    void picture()
    {
        QFETCH(QSize, grab);
        QFETCH(QRect, at);
        QImage img(grab, QImage::Format_RGB32);
        QRandomGenerator(grab.width()).fillRange(reinterpret_cast<quint32*>(img.bits()), int(img.sizeInBytes() / 4));
        const QImage picture = vqPagePicture(img), ours = picture.convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(QImage::fromData(vqPagePng(picture, 1), "PNG").copy(at), ours);
        // Qt's own pipeline, as one would write it first.
        QImage gray = img.convertToFormat(QImage::Format_Grayscale8);
        if (gray.height() < gray.width())
            gray = gray.transformed(QTransform().rotate(90), Qt::FastTransformation);
        gray = gray.scaled(ours.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QCOMPARE(gray.convertToFormat(QImage::Format_Grayscale8), ours);
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
        mSim.vqCmd("file rm /tmp/vqonekeyprint.req.txt");
        sim({"reset", "add p3", "@p3 unplug serial", "add p4", "@p4 unplug queue"});
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
        QProcess m;
        m.setProcessEnvironment(env);
        m.start(monitor, {"hide"});
        QVERIFY(m.waitForStarted(10000));
        const auto printed = [this](const QString& p) { return mSim.vqStatus(p).value("printed").toInt(); };
        const int before = printed("p1");
        sim({"@p1 history clear", "@p2 history clear", "@p3 history clear", "@p4 history clear", "@p1 key", "@p2 key",
             "@p1 wait printed " + QString::number(before + 1) + " timeout=30000", "@p2 wait printed 1 timeout=30000",
             "sleep 2500"});  // then two more passes: still one page each
        QProcess::execute(monitor, {"exit"});
        QVERIFY(m.waitForFinished(30000));
        x.terminate();
        x.waitForFinished(10000);

        const QStringList rest = mSim.vqHistory("p3") + mSim.vqHistory("p4");  // never contacted
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(printed("p1") - before).arg(printed("p2")).arg(rest.join('|')), "1 1 ");
        QList<qint64> asked;
        for (const auto& h : mSim.vqHistoryTimed("p1"))
            if (h.second.startsWith("serial type=14 "))
                asked << h.first;
        QVERIFY(asked.size() >= 3);
        // Stamped on arrival, late on a loaded machine: the exact pacing is the loop table's; here, paced at all.
        for (int i = 1; i < asked.size(); ++i)
            QVERIFY2(asked[i] - asked[i - 1] >= 500, qPrintable(QString::number(asked[i] - asked[i - 1])));

        // An A4 page at 600 dpi in 8-bit gray: the black root window at (552, 80) in 3855 x 6854, white around it.
        QImage page(4960, 7014, QImage::Format_Grayscale8);
        page.fill(Qt::white);
        QPainter(&page).fillRect(552, 80, 3855, 6854, Qt::black);
        const QString png = mDir.filePath(QStringLiteral("printed_p1_%1.png").arg(before + 1, 4, 10, QChar('0')));
        QCOMPARE(QImage::fromData(vqReadFile(png), "PNG"), page);
    }
#endif

    // Last: the stop signal cannot be lowered again. It ends the background
    // wait, and an upload the printer stalls, long before its own time-out.
    void stopDuringWaitAndUpload()
    {
        configure(150000);
        sim({"reset", "romver V1.3.6406", "httpfault stall path=/uprom size=4096 count=0", "history clear"});
        CvqDebugCapture log;
        CvqLanUpRomTrd trd;
        trd.start();
        std::unique_ptr<QThread> upload(
            QThread::create([&] { CvqLanUpRomSlaveTrd(0, &mPending, &mMutex).vqRunOneIp(ip(2)); }));
        upload->start();
        QTRY_VERIFY_WITH_TIMEOUT(!httpHistory().filter("http POST /uprom stalled").isEmpty(), 20000);
        vqQuitAll();
        QVERIFY(trd.wait(5000) && trd.vqFinished());  // well before the first pass is due
        const bool ended = upload->wait(10000);       // the upload's own time-out is 150 s
        if (!ended)
            (void)upload.release();  // still running: never destroy it
        QVERIFY(ended);
        QCOMPARE(log.take().filter("vqRunOneIp").size(), 1);
    }
};

VQ_TEST_MAIN(TstOneKeyPrint)
#include "tst_services.moc"
