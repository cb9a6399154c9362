// The library's HTTP operations against the printer emulator's web server on
// 127.0.0.1: the "yes"/"no"/"ok" rules, the command encoding as the server
// receives it, error statuses and the abort on time-out.
#include "vqsimclient.h"
#include "vqtestsupport.h"

#include <QElapsedTimer>
#include <QtTest>

class TstHttpE2e : public QObject
{
    Q_OBJECT

    CvqTempSimHost* mHost = nullptr;
    CvqSimClient mSim;

    void cmd(const QString& line)
    {
        const QStringList r = mSim.vqCmd(line);
        QVERIFY2(!r.isEmpty() && r.last().startsWith(QLatin1String("ok")), qPrintable(line + ": " + r.join('|')));
    }

private slots:
    void initTestCase()
    {
        mHost = new CvqTempSimHost;
        QVERIFY2(mSim.vqStart(mHost->root(), {"--http", "127.0.0.1:0", "--quiet"}), qPrintable(mSim.vqError()));
        QVERIFY(mSim.vqHttp().startsWith("127.0.0.1:"));
    }
    void cleanupTestCase()
    {
        mSim.vqStop();
        delete mHost;
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
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("request");  // as the server received it; empty: none

        QTest::newRow("has: yes") << "has" << "/tmp/present.txt" << true << "yes" << "/vqhas/tmp/present.txt";
        QTest::newRow("has: no") << "has" << "/tmp/absent" << true << "no" << "/vqhas/tmp/absent";
        QTest::newRow("get") << "get" << "/tmp/present.txt" << true << "hello" << "/vqget/tmp/present.txt";
        QTest::newRow("delete") << "del" << "/tmp/present.txt" << true << "" << "/vqrm/tmp/present.txt";
        QTest::newRow("command with arguments") << "exe" << "ls -l /tmp" << true
                                                << "-rw-r--r-- 1 root root 5 present.txt" << "/vqexe/ls?-l&/tmp";
        QTest::newRow("command without a space") << "exe" << "true" << true << "" << "/vqexe/true";
        QTest::newRow("absolute program") << "exe" << "/usr/local/bin/vqm.out o" << true
                                          << "vqmainjob.vqjobrun: 0\nvqmainjob.vqjobtp: 0\nvqscanjob.vqjobrun: 0\n"
                                             "vqscanjob.vqjobtp: 0\nvqscanjob.vqjobrstcode: 0\nvqscanjob.vqjobwaitflag: 0"
                                          << "/vqexe/usr/local/bin/vqm.out?o";
        QTest::newRow("command along") << "exea" << "/usr/local/bin/vqlcd.exe vqwbMain t" << true << ""
                                       << "/vqexea/usr/local/bin/vqlcd.exe?vqwbMain&t";
        QTest::newRow("get: missing") << "get" << "/tmp/absent" << false << "" << "/vqget/tmp/absent";
        QTest::newRow("delete: missing") << "del" << "/tmp/absent" << false << "" << "/vqrm/tmp/absent";
        QTest::newRow("command it does not have") << "exe" << "reboot now" << false << "" << "/vqexe/reboot?now";
        QTest::newRow("along, command it does not have") << "exea" << "reboot" << false << "" << "/vqexea/reboot";
        QTest::newRow("empty command") << "exe" << "" << false << "" << "";
    }
    void operations()
    {
        QFETCH(QString, op);
        QFETCH(QString, arg);
        QFETCH(QString, request);
        CvqCommOfHttp http(mSim.vqHttp());
        bool result = false;
        QString output;
        if (op == QLatin1String("has")) {
            bool exists = false;
            result = http.vqHasFile(arg, exists);
            output = result ? (exists ? "yes" : "no") : QString();
        } else if (op == QLatin1String("get")) {
            QByteArray bytes;
            result = http.vqGetFile(arg, bytes);
            output = QString::fromUtf8(bytes);
        } else if (op == QLatin1String("del")) {
            result = http.vqDelFile(arg);
        } else if (op == QLatin1String("exe")) {
            result = http.vqExe(arg, output, 5);
        } else {
            result = http.vqExeAlong(arg);
        }
        QTEST(result, "result");
        QTEST(output, "output");
        const QStringList h = mSim.vqHistory();
        if (request.isEmpty())
            QVERIFY2(h.isEmpty(), qPrintable(h.join('|')));
        else
            QCOMPARE(h, QStringList{"http GET " + request});
        if (op == QLatin1String("del") && result)
            QCOMPARE(mSim.vqCmd("file ls /tmp/present.txt").size(), 1);
    }

    // A server that never answers: the request is aborted after its time-out
    // and the next one works.
    void abortOnTimeout()
    {
        cmd("httpfault silence count=1");
        CvqCommOfHttp http(mSim.vqHttp());
        QString out = "stale";
        QVERIFY(!http.vqExe("echo hi", out, 1));
        QVERIFY(out.isEmpty());
        QVERIFY(http.vqExe("echo hi", out, 5));
        QCOMPARE(out, QStringLiteral("hi"));
    }

    void errorStatus_data()
    {
        QTest::addColumn<int>("code");
        QTest::newRow("500") << 500;
        QTest::newRow("503") << 503;
        QTest::newRow("404") << 404;
    }
    void errorStatus()
    {
        QFETCH(int, code);
        cmd(QStringLiteral("httpfault status code=%1 count=3").arg(code));
        CvqCommOfHttp http(mSim.vqHttp());
        bool exists = true;
        QVERIFY(!http.vqHasFile("/tmp/present.txt", exists));
        QVERIFY(!exists);
        QByteArray bytes;
        QVERIFY(!http.vqGetFile("/tmp/present.txt", bytes));
        QVERIFY(bytes.isEmpty());
        QVERIFY(!http.vqDelFile("/tmp/present.txt"));
    }

    // A late answer still counts when it comes within the time-out.
    void lateAnswer()
    {
        cmd("httpfault late delay=1000");
        CvqCommOfHttp http(mSim.vqHttp());
        bool exists = false;
        QVERIFY(http.vqHasFile("/tmp/present.txt", exists));
        QVERIFY(exists);
    }

    // The scan programs answer the same over HTTP.
    void scanProbe()
    {
        CvqCommOfHttp http(mSim.vqHttp());
        QString out;
        cmd("scanner ok");
        QVERIFY(http.vqExe("/usr/local/bin/vqlcd.exe vqwbMain t", out, 5));
        QCOMPARE(out, QStringLiteral("ok"));
        cmd("scanner err");
        QVERIFY(http.vqExe("/usr/local/bin/vqlcd.exe vqwbMain t", out, 5));
        QCOMPARE(out, QStringLiteral("err"));
    }
};

QTEST_GUILESS_MAIN(TstHttpE2e)
#include "tst_http_e2e.moc"
