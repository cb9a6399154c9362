// The LAN firmware upgrade against emulated web servers on this test's own
// 127.N.M.0/24 and port: the address list, each check of one address, the
// upload, the "uprom1" verb with every switch on, and the stop (last: one-shot).
#include "cvqlanuprom.h"
#include "vqmonitorseams.h"
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

class TstLanUpRom : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;
    CvqSimOnHost mSim;
    QString mNet;  // "127.N.M."
    quint16 mPort = 0;
    QByteArray mImage;
    CvqSeamScope<CvqMonitorSeams> mSeams;

    QString ip(int host) const { return mNet + QString::number(host); }
    void configure(const QString& ifs, int uploadMs = 150000, bool image = true)
    {
        CvqUpRomConfig c;
        c.port = mPort;
        c.uploadMs = uploadMs;
        c.firmwareFixed = mDir.filePath(image ? "fw/1.RM" : "fw/none.RM");
        const QList<CvqIfAddr> list = vqParseIfList(ifs);
        c.interfaces = [list] { return list; };
        mSeams->upRom = [c] { return c; };
    }
    QStringList httpHistory() { return mSim.vqHistory().filter(QRegularExpression("^http ")); }

private slots:
    void initTestCase()
    {
        qputenv("VQ_LOOPBACK_ONLY", "1");
        auto* rng = QRandomGenerator::global();
        mNet = QStringLiteral("127.%1.%2.").arg(rng->bounded(64, 250)).arg(rng->bounded(1, 250));
        QVERIFY(QDir(mDir.path()).mkpath("fw") && QDir(mDir.path()).mkpath("out"));
        QVERIFY2(mSim.vqStartOnHost({"--http", ip(2) + ":0", "--quiet", "--out", mDir.filePath("out")}),
                 qPrintable(mSim.vqError()));
        mPort = quint16(mSim.vqHttp().section(':', 1).toUInt());
        QVERIFY(mPort > 0);
        // A second printer: where the redirect points.
        VQ_SIM_OK(mSim, QStringLiteral("add p2 http=%1:%2").arg(ip(3)).arg(mPort));
        mImage.resize(300 * 1024);
        for (int i = 0; i < mImage.size(); ++i)
            mImage[i] = char(i * 7 + i / 251);
        QFile f(mDir.filePath("fw/1.RM"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(mImage) == mImage.size());
    }

    void addressList_data()
    {
        // clang-format off
        QTest::addColumn<QString>("ifs");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        const int live = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
        QTest::newRow("/24") << "198.51.100.7/255.255.255.0" << live << 253 << "198.51.100.1" << "198.51.100.254";
        QTest::newRow("/16: its own /24") << "198.51.7.9/255.255.0.0" << live << 253 << "198.51.7.1" << "198.51.7.254";
        QTest::newRow("/30: one") << "203.0.113.5/255.255.255.252" << live << 1 << "203.0.113.6" << "203.0.113.6";
        QTest::newRow("two on one /24: each once") << "198.51.100.7/255.255.255.0,198.51.100.8/255.255.255.0"
                                                   << live << 254 << "198.51.100.1" << "198.51.100.7";
        QTest::newRow("/31: none") << "203.0.113.4/255.255.255.254" << live << 0 << "" << "";
        QTest::newRow("IPv6 ignored") << "2001:db8::1/ffff:ffff:ffff:ffff::" << live << 0 << "" << "";
        QTest::newRow("down") << "198.51.100.7/255.255.255.0" << 0 << 0 << "" << "";
        // clang-format on
    }
    void addressList()
    {
        QFETCH(QString, ifs);
        QFETCH(int, flags);
        QFETCH(int, count);
        QList<CvqIfAddr> entries = vqParseIfList(ifs);
        QVERIFY(!entries.isEmpty());
        for (CvqIfAddr& e : entries)
            e.flags = QNetworkInterface::InterfaceFlags(flags);
        const QStringList list = vqUpRomAddressList(entries);
        QCOMPARE(list.size(), count);
        QCOMPARE(QSet<QString>(list.begin(), list.end()).size(), count);
        if (count) {
            QTEST(list.first(), "first");
            QTEST(list.last(), "last");
        }
        if (entries.size() == 1)
            QVERIFY(!list.contains(entries[0].ip.toString()));
    }

    void guards()
    {
        QVERIFY(vqUpRomMayContact(ip(9)));
        QVERIFY(!vqUpRomMayContact("203.0.113.5"));  // the safety net every test sets
        QVERIFY(!vqUpRomMayContact("::1"));
        QVERIFY(vqParseIfList("127.0.0.1/255.0.0.0,nonsense").isEmpty());
        // Firmware: the installed image first, then the one beside the program, else none.
        QTemporaryDir app;
        const QString fixed = mDir.filePath("fw/1.RM");
        QCOMPARE(vqUpRomFirmwarePath(fixed, app.path()), fixed);
        QCOMPARE(vqUpRomFirmwarePath(mDir.filePath("none"), app.path()), QString());
        QVERIFY(QFile::copy(fixed, app.filePath("1.RM")));
        QCOMPARE(vqUpRomFirmwarePath(mDir.filePath("none"), app.path()), app.filePath("1.RM"));
    }

    void oneAddress_data()
    {
        // clang-format off
        QTest::addColumn<QString>("setup");     // control lines, " | " between them
        QTest::addColumn<QStringList>("lines");  // after the header, progress lines aside; %1 = address
        QTest::addColumn<int>("requests");      // GETs before the POST
        QTest::addColumn<int>("upload");        // 0: none, 1: sent, 2: received whole, 3: stored
        const QStringList go{"need uprom#1 %1", "%1 need uprom#2"};
        QTest::newRow("at the target version") << "romver V1.3.6406" << go << 3 << 3;
        QTest::newRow("sleeping (pa 1), idle lines in another order")
            << "activity sleep | romver V1.3.6406 | jobstate vqscanjob.vqjobrun: 0\\nvqjob: 1\\nvqmainjob.vqjobrun: 0"
            << go << 3 << 3;
        QTest::newRow("redirect of the upload not followed")
            << QStringLiteral("romver V1.3.6406 | httpfault redirect path=/uprom to=") << go << 3 << 2;
        QTest::newRow("silent server, short time-out")
            << "romver V1.3.6406 | httpfault silence path=/uprom"
            << (go + QStringList{"Request timed out!", "upload FAILED: \"Operation canceled\""}) << 3 << 1;
        QTest::newRow("no image: no request") << "romver V1.3.6406" << go << 3 << 0;
        QTest::newRow("not ours") << "web id MFG:Other;CLS:SCANNER;" << QStringList{"not our printer %1"} << 1 << 0;
        QTest::newRow("no braces") << "web snap pa=0" << QStringList{} << 2 << 0;
        QTest::newRow("not an object") << "web snap x{\"pa\" 0}y" << QStringList{} << 2 << 0;
        QTest::newRow("model in the wrong case")
            << "web type p4120w" << QStringList{"not need uprom ProductType %1 \"p4120w\""} << 2 << 0;
        QTest::newRow("a model that forges a line") << "web type \"P\\nforged\""
            << QStringList{"not need uprom ProductType %1 \"P\\nforged\""} << 2 << 0;
        QTest::newRow("newer") << "romver V1.3.6500" << QStringList{"romver already high %1 \"V1.3.6500\""} << 2 << 0;
        QTest::newRow("warming up (pa 2)") << "activity warmup | romver V1.3.6406"
                                           << QStringList{"printer is buzy %1 2"} << 2 << 0;
        QTest::newRow("print job") << "romver V1.3.6406 | jobstate vqmainjob.vqjobrun: 1\\nvqscanjob.vqjobrun: 0"
                                   << QStringList{"need uprom#1 %1", "%1 equip is buzy"} << 3 << 0;
        QTest::newRow("scan job") << "romver V1.3.6406 | jobstate vqmainjob.vqjobrun: 0\\nvqscanjob.vqjobrun: 1"
                                  << QStringList{"need uprom#1 %1", "%1 scanner is buzy"} << 3 << 0;
        QTest::newRow("100 MB identification") << "httpfault huge path=/ajax_get1284 size=104857600" << QStringList{}
                                               << 1 << 0;
        // clang-format on
    }
    void oneAddress()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, lines);
        QFETCH(int, requests);
        QFETCH(int, upload);
        // A silent server is waited for briefly only.
        configure(ip(1) + "/255.255.255.0", setup.contains("silence") ? 1500 : 150000,
                  !QByteArray(QTest::currentDataTag()).startsWith("no image"));
        for (const char* p : {"p1", "p2"}) {
            VQ_SIM_OK(mSim, QStringLiteral("@%1 reset").arg(p));
            VQ_SIM_OK(mSim, QStringLiteral("@%1 history clear").arg(p));
        }
        for (QString line : setup.split(" | ", Qt::SkipEmptyParts))
            VQ_SIM_OK(mSim,
                      line.endsWith("to=") ? line + QStringLiteral("http://%1:%2/uprom").arg(ip(3)).arg(mPort) : line);
        const int uproms = mSim.vqStatus().value("uprom").toInt();

        CvqDebugCapture log;
        QStringList pending;
        QMutex mutex;
        CvqLanUpRomSlaveTrd(3, &pending, &mutex).vqRunOneIp(ip(2));
        QStringList got = log.take();
        QCOMPARE(got.value(0), QStringLiteral("------------------- vqRunOneIp %1 @ 3 -------------------").arg(ip(2)));
        got.removeFirst();
        QStringList progress;
        for (int i = got.size() - 1; i >= 0; --i)
            if (got[i].startsWith(QStringLiteral("upload progress：")))
                progress.prepend(got.takeAt(i));
        QCOMPARE(got, lines.replaceInStrings("%1", ip(2)));

        const QStringList history = httpHistory();
        QCOMPARE(history.filter("http GET").size(), requests);
        QCOMPARE(history.filter("http POST").size(), upload ? 1 : 0);
        QVERIFY2(mSim.vqHistory("p2").filter("http ").isEmpty(), "a redirect was followed");
        if (upload < 2)
            return;
        // One part, exactly as the printer expects it, carrying the image byte for byte.
        QVERIFY(history.contains(QStringLiteral("http part Content-Disposition: form-data; name=\"file1\"; "
                                                "filename=\"1.RM\" | Content-Type: application/octet-stream | bytes=%1")
                                     .arg(mImage.size())));
        QVERIFY(!progress.isEmpty());
        const QString total = progress.last().section(' ', -1);
        QCOMPARE(progress.last(), QStringLiteral("upload progress： %1  /  %1").arg(total));
        if (upload < 3)
            return;
        QCOMPARE(mSim.vqStatus().value("uprom").toInt(), uproms + 1);
        QFile up(mDir.filePath(QStringLiteral("out/uprom_p1_%1.RM").arg(uproms + 1, 4, 10, QLatin1Char('0'))));
        QVERIFY(up.open(QIODevice::ReadOnly));
        QVERIFY(up.readAll() == mImage);
    }

    void uploadResult_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("image");
        QTest::addColumn<bool>("sent");
        QTest::newRow("stored") << "romver V1.3.6406" << true << true;
        QTest::newRow("redirect") << "httpfault redirect path=/uprom to=http://127.0.0.1:1/uprom" << true << false;
        QTest::newRow("no image") << "romver V1.3.6406" << false << false;
    }
    // It used to say false whatever happened.
    void uploadResult()
    {
        QFETCH(QString, setup);
        QFETCH(bool, image);
        QFETCH(bool, sent);
        configure(ip(1) + "/255.255.255.0", 150000, image);
        VQ_SIM_OK(mSim, "@p1 reset");
        VQ_SIM_OK(mSim, setup);
        QCOMPARE(vqUpRomUpload(ip(2)), sent);
    }

    void port80()
    {
        QTcpServer server;
        if (!server.listen(QHostAddress(ip(9)), 80))
            QSKIP("cannot bind port 80 here (needs root or it is taken)");
        connect(&server, &QTcpServer::newConnection, &server, [&server] {
            QTcpSocket* s = server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [s] {
                s->readAll();
                static const char answer[] =
                    "HTTP/1.1 200 OK\r\nContent-Length: 8\r\nConnection: close\r\n\r\n ab\0cd \n";
                s->write(answer, sizeof answer - 1);
                s->disconnectFromHost();
            });
        });
        mSeams->upRom = [] { return CvqUpRomConfig(); };
        // Cut at the first 0 byte, nothing trimmed.
        QCOMPARE(vqUpRomGet(ip(9), "/ajax_get1284", 2000), QStringLiteral(" ab"));
    }

    void tick_data()
    {
        // clang-format off
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("pending");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("newMaximum");
        QTest::addColumn<int>("newValue");
        QTest::newRow("maximum first") << 253 << 245 << 100 << 0 << 253 << 0;
        QTest::newRow("then the value") << 253 << 200 << 253 << 0 << 253 << 53;
        QTest::newRow("no addresses") << 0 << 0 << 100 << 7 << 100 << 0;
        // clang-format on
    }
    void tick()
    {
        QFETCH(int, total);
        QFETCH(int, pending);
        QFETCH(int, maximum);
        QFETCH(int, value);
        vqUpRomTick(total, pending, maximum, value);
        QTEST(maximum, "newMaximum");
        QTEST(value, "newValue");
    }

    // The progress window's whole run: one pass, then the end (the shipped
    // switch's verb does nothing: tst_cli).
    void verbUpRom1()
    {
        VQ_SIM_OK(mSim, "reset");
        VQ_SIM_OK(mSim, "history clear");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VQ_LOOPBACK_ONLY", "1");
        env.insert("VQ_UPROM_IFACES", ip(1) + "/255.255.255.252");  // its one other host: the printer
        env.insert("VQ_UPROM_PORT", QString::number(mPort));
#ifdef Q_OS_WIN
        env.remove("QT_QPA_PLATFORM");  // the Windows program has its own platform only
#else
        env.insert("QT_QPA_PLATFORM", "offscreen");
#endif
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("VQ_BIN_DIR") + "/monitor_allon", {"uprom1"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(httpHistory().filter("http GET /ajax_get1284").size(), 1);
    }

    // Last: the stop signal cannot be lowered again. It ends the background
    // wait, and an upload the printer stalls, long before its own time-out.
    void stopDuringWaitAndUpload()
    {
        configure(ip(1) + "/255.255.255.0");
        VQ_SIM_OK(mSim, "reset");
        VQ_SIM_OK(mSim, "romver V1.3.6406");
        VQ_SIM_OK(mSim, "httpfault stall path=/uprom size=4096 count=0");
        VQ_SIM_OK(mSim, "history clear");
        CvqDebugCapture log;
        CvqLanUpRomTrd trd;
        trd.start();
        QStringList pending;
        QMutex mutex;
        std::unique_ptr<QThread> upload(
            QThread::create([&] { CvqLanUpRomSlaveTrd(0, &pending, &mutex).vqRunOneIp(ip(2)); }));
        upload->start();
        QTRY_VERIFY_WITH_TIMEOUT(!httpHistory().filter("http POST /uprom stalled").isEmpty(), 20000);
        vqQuitAll();
        QVERIFY(trd.wait(5000));  // well before the first pass is due
        QVERIFY(trd.vqFinished());
        const bool ended = upload->wait(10000);  // the upload's own time-out is 150 s
        if (!ended)
            (void)upload.release();  // still running: never destroy it
        QVERIFY(ended);
        QCOMPARE(log.take().filter("vqRunOneIp").size(), 1);
    }
};

VQ_TEST_MAIN(TstLanUpRom)
#include "tst_lanuprom.moc"
