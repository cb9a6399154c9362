// The running instance's side of the local socket: what each kind of client gets.
#include "vqtestsupport.h"
#include "qvqsingletonapplication.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

class TstSingleton : public QObject
{
    Q_OBJECT

    QvqSingletonApplication* mApp;
    QWidget mWidget;

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
        QTest::newRow("exit wins over show") << true << QByteArray("show\nexit\n") << false;
        QTest::newRow("exit beyond 100 bytes ignored") << true << QByteArray(100, 'x') + "exit\n" << true;
        QTest::newRow("large flood") << false << QByteArray(1 << 20, 's') << false;
        // clang-format on
    }
    void messages()
    {
        QFETCH(bool, shownBefore);
        QFETCH(QByteArray, message);
        QFETCH(bool, shownAfter);
        mWidget.setVisible(shownBefore);
        QLocalSocket s;
        s.connectToServer(QvqSingletonApplication::vqLocalName(
            QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath()));
        QVERIFY(s.waitForConnected(5000));
        s.write(message);
        // The server reads in this thread: wait with the event loop running (a Windows
        // pipe's write completes only once the other end reads).
        QTRY_VERIFY_WITH_TIMEOUT(s.bytesToWrite() < message.size(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(mWidget.isVisible(), shownAfter, 5000);
        QTest::qWait(100);
        QCOMPARE(mWidget.isVisible(), shownAfter);
    }

    // What a dead instance leaves when its process id is ours now: a lock naming us.
    void staleLockUnderOurPid()
    {
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
        QVERIFY(QvqSingletonApplication::takeLock(&lock) && lock.isLocked());
    }

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
#ifdef Q_OS_WIN
        QSKIP("Windows names a pipe, not a socket in a directory");
#else
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
