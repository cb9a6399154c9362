// The HTTP operations against the printer emulator's web server on
// 127.0.0.1: each slot's request as the server receives it (the command
// encoding among them) and the "yes"/"no"/"ok" answers; the operations run on
// a worker thread (statuses, short and late answers: tst_commhttp).
#include "vqsimonhost.h"
#include "vqtestsupport.h"

#include <QThread>
#include <QtTest>

#include <memory>

class TstHttpE2e : public QObject
{
    Q_OBJECT

    CvqSimOnHost mSim;

    void cmd(const QString& line) { VQ_SIM_OK(mSim, line); }

private slots:
    void initTestCase()
    {
        QVERIFY2(mSim.vqStartOnHost({"--http", "127.0.0.1:0", "--quiet"}), qPrintable(mSim.vqError()));
        QVERIFY(mSim.vqHttp().startsWith("127.0.0.1:"));
    }
    void init()
    {
        cmd("reset");
        cmd("history clear");
        cmd("file put /tmp/present.txt hello");
    }

    void operations_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("arg");
        QTest::addColumn<QString>("expected");  // result|output|the request as the server received it
        // clang-format off
        QTest::newRow("has: yes") << "has" << "/tmp/present.txt" << "1|yes|/vqhas/tmp/present.txt";
        QTest::newRow("get") << "get" << "/tmp/present.txt" << "1|hello|/vqget/tmp/present.txt";
        QTest::newRow("delete") << "del" << "/tmp/present.txt" << "1||/vqrm/tmp/present.txt";
        QTest::newRow("command with arguments") << "exe" << "ls -l /tmp" << "1|-rw-r--r-- 1 root root 5 present.txt|/vqexe/ls?-l&/tmp";
        QTest::newRow("command along") << "exea" << "/usr/local/bin/vqlcd.exe vqwbMain t" << "1||/vqexea/usr/local/bin/vqlcd.exe?vqwbMain&t";
        QTest::newRow("get: missing") << "get" << "/tmp/absent" << "0||/vqget/tmp/absent";
        QTest::newRow("command it does not have") << "exe" << "reboot now" << "0||/vqexe/reboot?now";
        QTest::newRow("empty command") << "exe" << "" << "0||";
        // clang-format on
    }
    void operations()
    {
        QFETCH(QString, op);
        QFETCH(QString, arg);
        const QString host = mSim.vqHttp();
        bool result = false;
        QString output = QStringLiteral("stale");
        // Worker threads have no event loop of their own: the request brings one.
        std::unique_ptr<QThread> worker(QThread::create([&] {
            CvqCommOfHttp http(host);
            bool exists = true;
            QByteArray bytes("stale");
            result = op == "has" ? http.vqHasFile(arg, exists)
                : op == "get"    ? http.vqGetFile(arg, bytes)
                : op == "exe"    ? http.vqExe(arg, output, 5)
                : op == "del"    ? http.vqDelFile(arg)
                                 : http.vqExeAlong(arg);
            if (op != "exe")
                output = op == "has" ? (exists ? "yes" : "no") : op == "get" ? QString::fromUtf8(bytes) : QString();
        }));
        worker->start();
        worker->wait();
        const QString request = mSim.vqHistory().join(',').remove(QStringLiteral("http GET "));
        QTEST(QStringLiteral("%1|%2|%3").arg(result).arg(output, request), "expected");
        if (op == "del" && result)
            QCOMPARE(mSim.vqCmd("file ls /tmp/present.txt").size(), 1);
    }
};

VQ_TEST_GUILESS_MAIN(TstHttpE2e)
#include "tst_http_e2e.moc"
