// The LAN firmware upgrade against emulated web servers on this test's own
// 127.N.M.0/24 and port: the address list, each check of one address, the
// upload, the "uprom1" verb with every switch on, and the stop (last: one-shot).
#include "cvqlanuprom.h"
#include "vqmonitorseams.h"
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QtNetwork>
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
    QStringList mPending;  // a worker's list; vqRunOneIp leaves it alone
    QMutex mMutex;

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
    void sim(const QStringList& lines)
    {
        for (const QString& line : lines)
            VQ_SIM_OK(mSim, line);
    }

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
        const QSet<QString> distinct(list.begin(), list.end());
        QTEST(QStringLiteral("%1 %2..%3").arg(distinct.size()).arg(list.value(0), list.value(list.size() - 1)),
              "expected");
        QCOMPARE(list.size(), distinct.size());
        QVERIFY(entries.size() > 1 || !list.contains(entries[0].ip.toString()));
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
        QTest::addColumn<QString>("setup");  // control lines, " | " between them
        QTest::addColumn<int>("upload");     // 0: none, 1: sent, 2: received whole, 3: stored
        QTest::addColumn<QString>("log");    // GETs before the POST, the lines after the header (progress aside); %1: the address
        const QString go = "need uprom#1 %1; %1 need uprom#2", idle = "romver V1.3.6406",
                      to = QStringLiteral(" | httpfault redirect path=/uprom count=0 to=http://%1:%2/uprom").arg(ip(3)).arg(mPort);
        QTest::newRow("at the target version") << idle << 3 << "3 GETs; " + go;
        QTest::newRow("sleeping (pa 1), idle lines in another order")
            << "activity sleep | " + idle + " | jobstate vqscanjob.vqjobrun: 0\\nvqjob: 1\\nvqmainjob.vqjobrun: 0"
            << 3 << "3 GETs; " + go;
        QTest::newRow("redirect of the upload not followed") << idle + to << 2 << "3 GETs; " + go;
        QTest::newRow("silent server, short time-out") << idle + " | httpfault silence path=/uprom" << 1
            << "3 GETs; " + go + "; Request timed out!; upload FAILED: \"Operation canceled\"";
        QTest::newRow("no image: no request") << idle << 0 << "3 GETs; " + go;
        QTest::newRow("not ours") << "web id MFG:Other;CLS:SCANNER;" << 0 << "1 GETs; not our printer %1";
        QTest::newRow("no braces") << "web snap pa=0" << 0 << "2 GETs";
        QTest::newRow("not an object") << "web snap x{\"pa\" 0}y" << 0 << "2 GETs";
        QTest::newRow("model in the wrong case") << "web type p4120w" << 0 << "2 GETs; not need uprom ProductType %1 \"p4120w\"";
        QTest::newRow("a model that forges a line") << "web type \"P\\nforged\"" << 0
            << "2 GETs; not need uprom ProductType %1 \"P\\nforged\"";
        QTest::newRow("newer") << "romver V1.3.6500" << 0 << "2 GETs; romver already high %1 \"V1.3.6500\"";
        QTest::newRow("warming up (pa 2)") << "activity warmup | " + idle << 0 << "2 GETs; printer is buzy %1 2";
        QTest::newRow("print job") << idle + " | jobstate vqmainjob.vqjobrun: 1\\nvqscanjob.vqjobrun: 0" << 0
            << "3 GETs; need uprom#1 %1; %1 equip is buzy";
        QTest::newRow("scan job") << idle + " | jobstate vqmainjob.vqjobrun: 0\\nvqscanjob.vqjobrun: 1" << 0
            << "3 GETs; need uprom#1 %1; %1 scanner is buzy";
        QTest::newRow("100 MB identification") << "httpfault huge path=/ajax_get1284 size=104857600" << 0 << "1 GETs";
        // clang-format on
    }
    void oneAddress()
    {
        QFETCH(QString, setup);
        QFETCH(int, upload);
        QFETCH(QString, log);
        // A silent server is waited for briefly only.
        configure(ip(1) + "/255.255.255.0", setup.contains("silence") ? 1500 : 150000,
                  !QByteArray(QTest::currentDataTag()).startsWith("no image"));
        sim(QStringList{"@p1 reset", "@p2 reset", "@p1 history clear", "@p2 history clear"} + setup.split(" | "));
        const int uproms = mSim.vqStatus().value("uprom").toInt();

        CvqDebugCapture capture;
        CvqLanUpRomSlaveTrd(3, &mPending, &mMutex).vqRunOneIp(ip(2));
        QStringList got = capture.take();
        QCOMPARE(got.takeFirst(),
                 QStringLiteral("------------------- vqRunOneIp %1 @ 3 -------------------").arg(ip(2)));
        const QStringList progress = got.filter(QRegularExpression("^upload progress："));
        const QStringList history = httpHistory();
        got.prepend(QStringLiteral("%1 GETs").arg(history.filter("http GET").size()));
        QCOMPARE(got.filter(QRegularExpression("^(?!upload progress：)")).join("; "), log.replace("%1", ip(2)));
        QCOMPARE(history.filter("http POST").size(), upload ? 1 : 0);
        QVERIFY2(mSim.vqHistory("p2").filter("http ").isEmpty(), "a redirect was followed");
        if (upload >= 2) {  // one part, as the printer expects it, carrying the image byte for byte
            QVERIFY(history.contains("http part Content-Disposition: form-data; name=\"file1\"; filename=\"1.RM\" | "
                                     "Content-Type: application/octet-stream | bytes="
                                     + QString::number(mImage.size())));
            const QString total = progress.value(progress.size() - 1).section(' ', -1);
            QCOMPARE(progress.value(progress.size() - 1), QStringLiteral("upload progress： %1  /  %1").arg(total));
        }
        if (upload == 3) {
            QCOMPARE(mSim.vqStatus().value("uprom").toInt(), uproms + 1);
            QCOMPARE(vqReadFile(mDir.filePath(QStringLiteral("out/uprom_p1_%1.RM").arg(uproms + 1, 4, 10, QChar('0')))),
                     mImage);
        }
        // The upload says whether the printer took the image: it used to say false whatever happened.
        if (log.endsWith(" need uprom#2"))
            QCOMPARE(vqUpRomUpload(ip(2)), upload == 3);
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
                s->write(
                    QByteArrayLiteral("HTTP/1.1 200 OK\r\nContent-Length: 8\r\nConnection: close\r\n\r\n ab\0cd \n"));
                s->disconnectFromHost();
            });
        });
        mSeams->upRom = [] { return CvqUpRomConfig(); };
        // Cut at the first 0 byte, nothing trimmed.
        QCOMPARE(vqUpRomGet(ip(9), "/ajax_get1284", 2000), QStringLiteral(" ab"));
    }

    // The progress bar: its maximum first, the value on the next tick; no addresses, no progress.
    void tick()
    {
        const auto tick = [](int total, int pending, int maximum, int value) {
            vqUpRomTick(total, pending, maximum, value);
            return QStringLiteral("%1 %2").arg(maximum).arg(value);
        };
        QCOMPARE(tick(253, 245, 100, 0), "253 0");
        QCOMPARE(tick(253, 200, 253, 0), "253 53");
        QCOMPARE(tick(0, 0, 100, 7), "100 0");
    }

    // The progress window's whole run: one pass, then the end (the shipped
    // switch's verb does nothing: tst_cli).
    void verbUpRom1()
    {
        sim({"reset", "history clear"});
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
        sim({"reset", "romver V1.3.6406", "httpfault stall path=/uprom size=4096 count=0", "history clear"});
        CvqDebugCapture log;
        CvqLanUpRomTrd trd;
        trd.start();
        std::unique_ptr<QThread> upload(
            QThread::create([&] { CvqLanUpRomSlaveTrd(0, &mPending, &mMutex).vqRunOneIp(ip(2)); }));
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
