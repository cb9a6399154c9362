// The single instance from inside (what each kind of client gets, where the socket goes) and
// the monitor program from outside: verbs, exit codes and its instances.
#include "vqtestsupport.h"
#include "qvqsingletonapplication.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#ifndef Q_OS_WIN
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

class TstSingleton : public QObject
{
    Q_OBJECT

    QvqSingletonApplication* mApp;
    QWidget mWidget;
#ifndef Q_OS_WIN  // the program from outside: POSIX processes and signals (kill)
    QString mMonitor;

    // -> "exit code|stdout|stderr"; a hang or a crash: code -2.
    QString run(const QStringList& args, const QString& program = QString(), bool gui = false)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // No display and no platform: a verb that built a GUI application would abort here.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        if (gui)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(program.isEmpty() ? mMonitor : program, args);
        const bool ended = p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit;
        p.kill();
        p.waitForFinished();
        return QString::number(ended ? p.exitCode() : -2) + '|' + p.readAllStandardOutput() + '|'
            + p.readAllStandardError();
    }
    // Starts the monitor in the tray ("hide") and waits until it answers.
    bool startMonitor(QProcess& p, const QString& runtimeDir)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtimeDir);
        p.setProcessEnvironment(env);
        p.start(mMonitor, {"hide"});
        return p.waitForStarted(20000) && QTest::qWaitFor([&] { return run({"isrun"}).startsWith("1|"); }, 20000);
    }
#endif

public:
    explicit TstSingleton(QvqSingletonApplication* app) : mApp(app)
    {
        mWidget.setAttribute(Qt::WA_QuitOnClose, false);
        mApp->mainWidget = &mWidget;
    }
    ~TstSingleton() override { mApp->mainWidget = nullptr; }

private slots:
    void messages_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("window");  // before -> after
        QTest::newRow("show") << QByteArray("\x01xxshowyy") << "hidden -> shown";
        QTest::newRow("exit wins over show") << QByteArray("show\nexit\n") << "shown -> hidden";
        QTest::newRow("exit beyond 100 bytes ignored") << QByteArray(100, 'x') + "exit\n" << "shown -> shown";
        QTest::newRow("large flood") << QByteArray(1 << 20, 's') << "hidden -> hidden";
        QTest::newRow("ping changes nothing") << QByteArray("ping\n") << "hidden -> hidden";
        // clang-format on
    }
    void messages()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, window);
        mWidget.setVisible(window.startsWith("shown"));
        QLocalSocket s;
        s.connectToServer(QvqSingletonApplication::vqLocalName(QCoreApplication::applicationFilePath()));
        QVERIFY(s.waitForConnected(5000));
        s.write(message);
        // The server reads in this thread: wait with the event loop running (a Windows
        // pipe's write completes only once the other end reads).
        QTRY_VERIFY_WITH_TIMEOUT(s.bytesToWrite() < message.size(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(mWidget.isVisible(), window.endsWith("> shown"), 5000);
        QTest::qWait(100);
        QCOMPARE(mWidget.isVisible(), window.endsWith("> shown"));
    }

    // What a dead instance leaves when its process id is ours now: a lock naming us.
    void staleLockUnderOurPid()
    {
        QTemporaryDir dir;
        QLockFile first(dir.filePath("first.lock"));
        QVERIFY(first.tryLock(0) && QFile::copy(dir.filePath("first.lock"), dir.filePath("left.lock")));
        first.unlock();
        QLockFile lock(dir.filePath("left.lock"));
        lock.setStaleLockTime(0);
        QVERIFY(!lock.tryLock(0) && QvqSingletonApplication::takeLock(&lock) && lock.isLocked());
    }

#ifndef Q_OS_WIN  // POSIX: a socket in a directory, processes and signals (kill)
    // What the runtime directory and the fallback are -> the one chosen and its mode ("" refused).
    void socketDir_data()
    {
        // clang-format off
        QTest::addColumn<QString>("kinds");  // runtime: ok, missing, open, link; fallback: also foreign
        QTest::addColumn<QString>("chosen");
        QTest::newRow("runtime directory") << "ok missing" << "run 700";
        QTest::newRow("no runtime directory") << "missing missing" << "fallback 700";
        QTest::newRow("fallback of ours made private") << "missing open" << "fallback 700";
        QTest::newRow("runtime writable by others") << "open missing" << "fallback 700";
        QTest::newRow("runtime a link") << "link missing" << "fallback 700";
        QTest::newRow("fallback a link") << "missing link" << "";
        QTest::newRow("fallback of another user") << "missing foreign" << "";
        // clang-format on
    }
    void socketDir()
    {
        QFETCH(QString, kinds);
        if (kinds.endsWith("foreign") && getuid() != 0)
            QSKIP("handing a directory to another user needs root");
        QTemporaryDir base, elsewhere;
        const auto make = [&](const QString& name, const QString& kind) {
            const QByteArray p = QFile::encodeName(base.filePath(name));
            if (kind == "link")
                return ::symlink(QFile::encodeName(elsewhere.path()).constData(), p.constData()) == 0;
            const bool made = kind == "missing"
                || (::mkdir(p.constData(), 0700) == 0 && ::chmod(p.constData(), kind == "open" ? 0777 : 0700) == 0);
            return made && (kind != "foreign" || ::chown(p.constData(), getuid() + 1, getgid()) == 0);
        };
        QVERIFY(make("run", kinds.section(' ', 0, 0)) && make("fallback", kinds.section(' ', 1)));
        const QString dir = QvqSingletonApplication::vqSocketDir(base.filePath("run"), base.filePath("fallback"));
        struct stat st;
        const bool found = ::lstat(QFile::encodeName(dir).constData(), &st) == 0;
        QTEST(found ? QFileInfo(dir).fileName() + ' ' + QString::number(st.st_mode & 0777, 8) : dir, "chosen");
    }

    void initTestCase()
    {
        mMonitor = QDir(qEnvironmentVariable("VQ_BIN_DIR", QCoreApplication::applicationDirPath() + "/../bin"))
                       .absoluteFilePath("monitor");
        QVERIFY2(QFileInfo(mMonitor).isExecutable(), qPrintable(mMonitor));
    }

    // Arguments -> "exit code|stdout|stderr": nothing attached; then printers (#90 counted without a
    // queue) and jobs; then 256 more printers (the count stays at 254 rather than wrapping to 0).
    void verbs()
    {
        CvqTempSimHost sim;
        CvqSimTree& t = sim.tree();
        const QString q199(199, 'q');
        QStringList seen;
        const auto runAll = [&](const QList<QStringList>& runs) {
            for (const QStringList& args : runs)
                seen << run(args);
        };
        runAll({{"ver"}, {"hasdev"}, {"VER"}, {"ver", "x"}, {"hasjob", "a", "b"}});
        for (int index : {1, 40, 90})
            sim.addPrinter(index);
        QVERIFY(t.vqRemoveQueue(vqProducts.at(90).name + " #90") && t.vqAddDevice("USB\\VID_04B8&PID_0101\\X", "MDL:Y;")
                && t.vqAddDevice("USB\\VID_1A2B&PID_FFFF\\X", "MDL:Y;"));
        QVERIFY(t.vqAddJob("Busy", "7") && t.vqAddSpoolerQueue("Idle") && t.vqAddJob(q199, "1"));
        // clang-format off
        runAll({{"getdevct"}, {"hasdev"}, {"hasjob", "Busy"}, {"hasjob", "Idle"}, {"hasjob", q199}, {"hasjob", q199 + 'q'}, {"hasjob", "../spooler/Busy"}, {"hasjob", ""}});
        // clang-format on
        for (int i = 0; i < 256; ++i)
            QVERIFY(t.vqAddDevice(QStringLiteral("USB\\VID_1A2B&PID_0101\\M%1").arg(i), "MDL:Y;"));
        runAll({{"getdevct"}});
        QCOMPARE(seen.join(' '),
                 "0|ver: " VQ_VERSION "\n| 0|| 255|| 255|| 255|| 3|| 1|| 1|| 0|| 1|| 0|| 0|| 0|| 254||");
    }

    // What a verb tells a running monitor, as read at its socket; with none running, "exit" and the
    // shipped switch's "uprom1" give 0 at once.
    void verbsToRunning_data()
    {
        QTest::addColumn<QString>("verb");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("expected");  // exit code|what the running one received
        QTest::newRow("hide shows the running one") << "hide" << true << "1|show\n";
        QTest::newRow("isrun pings") << "isrun" << true << "1|ping\n";
        QTest::newRow("exit") << "exit" << true << "1|exit\n";
        QTest::newRow("exit, none running") << "exit" << false << "0|";
        QTest::newRow("uprom1, switch off") << "uprom1" << false << "0|";
    }
    void verbsToRunning()
    {
        QFETCH(QString, verb);
        QFETCH(bool, running);
        QLocalServer monitor;
        QVERIFY2(!running || monitor.listen(QvqSingletonApplication::vqLocalName(mMonitor)),
                 qPrintable(monitor.errorString()));
        const QString code = run({verb}, QString(), verb == "hide").section('|', 0, 0);
        QByteArray got;
        if (running && monitor.waitForNewConnection(5000)) {
            QLocalSocket* s = monitor.nextPendingConnection();
            got = s->bytesAvailable() || s->waitForReadyRead(2000) ? s->readAll() : QByteArray();
        }
        QTEST(code + '|' + got, "expected");
    }

    // A crashed monitor's socket is taken over. The monitors are started with XDG_RUNTIME_DIR, the
    // clients without: all meet at the same socket.
    void singleInstance()
    {
        CvqTempSimHost sim;
        sim.addPrinter(3);
        const QString socket = QvqSingletonApplication::vqLocalName(mMonitor);
        const QString running = mMonitor + " already running.\n";
        qunsetenv("XDG_RUNTIME_DIR");
        QTemporaryDir runtime;
        QProcess crashed, first;
        QVERIFY(startMonitor(crashed, runtime.path()));
        ::kill(pid_t(crashed.processId()), SIGKILL);
        QVERIFY(crashed.waitForFinished(20000) && QFileInfo::exists(socket));  // left by the crash
        QCOMPARE(run({"isrun"}), "0||");
        QVERIFY(startMonitor(first, runtime.path()));
        QVERIFY(QFileInfo::exists(socket) && !(QFileInfo(socket).permissions() & 0x0077));  // owner only

        const QString second = run({}, QString(), true);  // the platform plugin may add notes before our line
        QVERIFY2(second.startsWith("1||") && second.endsWith(running), qPrintable(second));
        QCOMPARE(run({"isrun"}), "1||" + running);

        // A copy at another path is another program.
        QTemporaryDir other;
        QVERIFY(QFile::copy(mMonitor, other.path() + "/monitor"));
        QCOMPARE(run({"isrun"}, other.path() + "/monitor"), "0||");

        // Silent clients beyond the listen backlog neither stall the running monitor
        // nor let a second one take its socket. Clients still connecting take each
        // place the monitor frees, so the backlog is full when the next one starts.
        std::vector<QLocalSocket> silent(80);
        for (QLocalSocket& client : silent)
            client.connectToServer(socket);
        QTest::qWait(300);
        QVERIFY(run({}, QString(), true).startsWith("1||"));
        silent.clear();

        QCOMPARE(run({"exit"}), "1||" + running);
        QVERIFY(first.waitForFinished(20000) && first.exitStatus() == QProcess::NormalExit && first.exitCode() == 0);
        QCOMPARE(run({"isrun"}), "0||");
        QVERIFY(!QFileInfo::exists(socket) && !QFileInfo::exists(socket + ".lock"));
    }
#endif
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QvqSingletonApplication app(argc, argv, QvqSingletonApplication::vqModeShow);
    if (app.isRunning())
        return 2;
    TstSingleton t(&app);
    vqAllowWarnings({"does not support"});  // the offscreen platform cannot raise windows
    return vqRunTests(&t, argc, argv);
}

#include "tst_singleton.moc"
