// The running instance's side of the local socket: what each kind of client gets.
#include "vqtestsupport.h"
#include "qvqsingletonapplication.h"

#include <QLocalSocket>
#include <QLockFile>
#include <QWidget>
#include <QtTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

class TstSingleton : public QObject
{
    Q_OBJECT

    QvqSingletonApplication* mApp;
    QWidget mWidget;

    void send(const QByteArray& bytes)
    {
        QLocalSocket s;
        s.connectToServer(QvqSingletonApplication::vqLocalName(
            QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath()));
        QVERIFY(s.waitForConnected(5000));
        if (!bytes.isEmpty()) {
            s.write(bytes);
            // The server reads in this thread: wait with the event loop running (a Windows
            // pipe's write completes only once the other end reads).
            QTRY_VERIFY_WITH_TIMEOUT(s.bytesToWrite() < bytes.size(), 5000);
        }
        QTest::qWait(50);
        s.disconnectFromServer();
    }

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
        QTest::addColumn<bool>("shownBefore");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("shownAfter");
        QTest::newRow("show") << false << QByteArray("\x01xxshowyy") << true;
        QTest::newRow("exit") << true << QByteArray("exit\n") << false;
        QTest::newRow("exit wins over show") << true << QByteArray("show\nexit\n") << false;
        QTest::newRow("exit beyond 100 bytes ignored") << true << QByteArray(100, 'x') + "exit\n" << true;
        QTest::newRow("large flood") << false << QByteArray(1 << 20, 's') << false;
        // clang-format on
    }

    void messages()
    {
        QFETCH(bool, shownBefore);
        QFETCH(QByteArray, message);
        mWidget.setVisible(shownBefore);
        send(message);
        QFETCH(bool, shownAfter);
        QTRY_COMPARE_WITH_TIMEOUT(mWidget.isVisible(), shownAfter, 5000);
        QTest::qWait(100);
        QCOMPARE(mWidget.isVisible(), shownAfter);
    }

    void silentClient()
    {
        // A client that sends nothing is dropped after its grace period; the next one is served.
        mWidget.hide();
        send(QByteArray());
        send("show\n");
        QTRY_VERIFY_WITH_TIMEOUT(mWidget.isVisible(), 10000);
    }

    void staleLockUnderOurPid()
    {
        // What a dead instance leaves when its process id is ours now: a lock naming us.
        QTemporaryDir dir;
        const QString left = dir.filePath("left.lock");
        {
            QLockFile first(dir.filePath("first.lock"));
            QVERIFY(first.tryLock(0));
            QVERIFY(QFile::copy(dir.filePath("first.lock"), left));
        }
        QLockFile lock(left);
        lock.setStaleLockTime(0);
        QVERIFY(!lock.tryLock(0));
        QVERIFY(QvqSingletonApplication::takeLock(&lock));
        QVERIFY(lock.isLocked());
    }

    void socketDir_data()
    {
        // clang-format off
        QTest::addColumn<QString>("runtime");   // what the runtime directory is: ok, missing, open, link
        QTest::addColumn<QString>("fallback");  // what the fallback is: missing, ok, open, link, foreign
        QTest::addColumn<QString>("chosen");    // runtime, fallback or "" (refused)
        QTest::newRow("runtime directory") << "ok" << "missing" << "runtime";
        QTest::newRow("no runtime directory") << "missing" << "missing" << "fallback";
        QTest::newRow("fallback of ours made private") << "missing" << "open" << "fallback";
        QTest::newRow("runtime writable by others") << "open" << "missing" << "fallback";
        QTest::newRow("runtime a link") << "link" << "missing" << "fallback";
        QTest::newRow("fallback a link") << "missing" << "link" << "";
        QTest::newRow("fallback of another user") << "missing" << "foreign" << "";
        // clang-format on
    }

    void socketDir()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows names a pipe, not a socket in a directory");
#else
        QFETCH(QString, runtime);
        QFETCH(QString, fallback);
        QFETCH(QString, chosen);
        QTemporaryDir base;
        QTemporaryDir elsewhere;
        const auto make = [&](const QString& path, const QString& kind) {
            const QByteArray p = QFile::encodeName(path);
            if (kind == "link")
                return ::symlink(QFile::encodeName(elsewhere.path()).constData(), p.constData()) == 0;
            if (kind == "missing")
                return true;
            const bool made =
                ::mkdir(p.constData(), 0700) == 0 && ::chmod(p.constData(), kind == "open" ? 0777 : 0700) == 0;
            return made && (kind != "foreign" || ::chown(p.constData(), getuid() + 1, getgid()) == 0);
        };
        const QString r = base.path() + "/run";
        const QString f = base.path() + "/fallback";
        QVERIFY(make(r, runtime));
        if (fallback == "foreign" && getuid() != 0)
            QSKIP("handing a directory to another user needs root");
        QVERIFY(make(f, fallback));
        const QString dir = QvqSingletonApplication::vqSocketDir(r, f);
        QCOMPARE(dir, chosen == "runtime" ? r : chosen == "fallback" ? f : QString());
        struct stat st;
        if (dir == f) {
            QCOMPARE(::lstat(QFile::encodeName(f).constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, mode_t(0700));
        }
#endif
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QvqSingletonApplication app(argc, argv, QvqSingletonApplication::vqModeShow);
    if (app.isRunning())
        return 2;
    TstSingleton t(&app);
    return QTest::qExec(&t, argc, argv);
}

#include "tst_singleton.moc"
