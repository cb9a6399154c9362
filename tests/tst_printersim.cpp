// The printer emulator where the demo and the Windows tests lean on it: the
// demo's states as the library's poll cycle reads them, its refusals and its
// COM links under Wine (that nothing it receives runs on this
// machine: tst_link_e2e).
#include "vqsimonhost.h"

class TstPrinterSim : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;

private slots:
    void initTestCase()
    {
        QVERIFY2(mSim.vqStartOnHost({"--printers", "2", "--load", VQ_SOURCE_DIR "/printersim/scenarios/demo.scn"}),
                 qPrintable(mSim.vqError()));
        QVERIFY(CvqSimTree::vqWriteFileAtomic(mSim.vqHostRoot() + "/n.scn", "step s\n fault motor\n state idle80\n"));
    }

    // Per printer, "-": not connected, else pex, pa, toner, paper fault source, has a port; then how many printers
    // the poll found. A line after "!" is refused and leaves the printers as they were (a
    // scenario that would nest states plays no line).
    void pollCycle_data()
    {
        // clang-format off
        QTest::addColumn<QString>("lines"); QTest::addColumn<QString>("seen");
        QTest::newRow("demo jam-cover") << "state jam-cover" << "c00 0 60 14 1|-|1";
        QTest::newRow("demo no-printer") << "state no-printer" << "-|-|0";
        QTest::newRow("demo two-printers") << "state two-printers" << "0 0 55 0 1|0 4 30 0 1|2";
        QTest::newRow("refused") << "!fault lsu,melted|!@p9 key|!add p5 http=0.0.0.0:0|!status " + QString(5000, 'x') + "|!play " + mSim.vqHostRoot() + "/n.scn" << "0 0 80 0 1|0 0 80 0 1|2";
        // clang-format on
    }
    void pollCycle()
    {
        QFETCH(QString, lines);
        for (const QString& l : ("@p1 reset|@p2 reset|" + lines).split('|')) {
            const QString r = mSim.vqCmd(l.mid(l.startsWith('!'))).join(' ');
            QVERIFY2(l.startsWith('!') ? r.startsWith("err ") : r.endsWith("ok"), qPrintable(l.left(99) + ": " + r));
        }
        const QMap<QString, CvqState> all = vqPollCycle();
        QStringList seen;
        for (const char* p : {"p1", "p2"}) {
            const CvqState s = all.value(mSim.vqInstanceId(p));
            const bool pty = !s.vqComName.isEmpty() && s.vqComName == mSim.vqStatus(p).value("pty");
            seen << (!s.connected ? QString("-")
                                  : QString::asprintf("%x %d %d %x %d", unsigned(s.pex), s.pa, s.tonerPercent,
                                                      unsigned(s.peGuZhangSource), pty));
        }
        QTEST(seen.join('|') + '|' + QString::number(all.size()), "seen");
    }

    // The tree holds the reply a standard printer sends, its length field first; --bare-id's holds the text alone.
    // Either reads as the printer.
    void idReply_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>(
            "seen");  // whether the first two bytes are the reply's length, the serial number read
        QTest::newRow("standard printer") << QStringList() << "length field, QV0001";
        QTest::newRow("--bare-id") << QStringList{"--bare-id"} << "text, QV0001";
    }
    void idReply()
    {
        QFETCH(QStringList, args);
        CvqSimOnHost sim;
        QVERIFY2(sim.vqStartOnHost(args), qPrintable(sim.vqError()));
        const QString id = sim.vqInstanceId();
        const QByteArray tree = vqReadFile(sim.vqHostRoot() + "/usb/" + CvqSimTree::vqEntryName(id) + "/ieee1284_id");
        const int length = quint8(tree[0]) << 8 | quint8(tree[1]);
        QTEST((length == tree.size() ? "length field, " : "text, ") + vqParseDeviceId(vqReadDeviceId(id), 1).sn,
              "seen");
    }

    // Under Wine printer n's serial port is COM<4 + n>: a link in the prefix to its terminal, that name in the
    // tree, both gone with the port and at the end; a stale link (a prefix used before) is replaced.
    void comLinks()
    {
        QTemporaryDir dir;
        const QString dos = dir.path() + "/dosdevices", host = dir.path() + "/host";
        QVERIFY(QDir().mkpath(dos) && QFile::link("/dev/pts/999999", dos + "/com5"));
        CvqSimClient sim;
        QVERIFY2(sim.vqStart(host, {"--printers", "2", "--wine-prefix", dir.path()}), qPrintable(sim.vqError()));
        QVERIFY(sim.vqOk("@p2 unplug port") && sim.vqOk("@p2 plug port") && sim.vqOk("@p1 unplug port"));
        QCOMPARE(vqReadFile(host + "/serial/p2/port_name") + QFileInfo(dos + "/com6").symLinkTarget(),
                 "COM6\n" + sim.vqStatus("p2").value("pty"));
        QVERIFY(!QFileInfo(dos + "/com5").isSymLink() && !QFileInfo::exists(host + "/serial/p1"));
        sim.vqStop();
        QVERIFY(!QFileInfo(dos + "/com6").isSymLink() && QDir(host + "/serial").isEmpty());
    }
};

VQ_TEST_GUILESS_MAIN(TstPrinterSim)
#include "tst_printersim.moc"
