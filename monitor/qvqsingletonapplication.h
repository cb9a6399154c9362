#pragma once
// The application object of the monitor: at most one interactive instance per
// executable path, reached over a local socket named after that path.

#include <QApplication>
#include <QPointer>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

class QvqSingletonApplication : public QApplication
{
    Q_OBJECT
public:
    enum LaunchMode { vqModeShow = 0, vqModePing = 1, vqModeExit = 2 };

    QvqSingletonApplication(int& argc, char** argv, int launchMode);
    ~QvqSingletonApplication() override;

    bool isRunning() const { return running; }
    void activateMainWidget();

    // The local server name for an absolute executable path. On Windows the path
    // itself (a pipe name); elsewhere a socket file derived from a hash of it and
    // the user id, in vqSocketDir(). Empty when there is no safe place for it.
    static QString vqLocalName(const QString& executablePath);
    // A path as the system compares it: absolute; on Windows also long (no 8.3
    // names), with backslashes and case-folded, so every spelling of one file agrees.
    static QString vqComparablePath(const QString& path);
#ifdef Q_OS_WIN
    // The account (SID text) of the program serving a connected pipe; empty when unknown.
    static QString vqPipeServerUser(QLocalSocket* socket);
    // The account of this process.
    static QString vqUserSid();
#endif

    // The user's private directory for the socket: runtimeDir when it is a
    // directory of the user's that nobody else can write, else fallbackDir,
    // created with mode 0700 and accepted only as a real directory of the user's.
    // Empty when neither will do. Defaults: /run/user/<uid>, /tmp/vqmonitor-<uid>.
    // The lock file held by the running instance, derived from the local name:
    // beside the socket, or on Windows in the user's temporary folder.
    static QString vqLockName(const QString& localName);
    // Takes the lock, also from a dead instance whose process id is now ours. Held:
    // a live process has it; failed: it cannot be made (no folder, no right).
    enum LockResult { vqLockTaken, vqLockHeld, vqLockFailed };
    static LockResult takeLock(QLockFile* lockFile);

    static QString vqSocketDir(const QString& runtimeDir = QString(), const QString& fallbackDir = QString());

    // What a client's first bytes ask for: only the first 100 count, "exit"
    // anywhere in them wins over "show".
    enum ClientCommand { vqClientNone, vqClientShow, vqClientExit };
    static ClientCommand vqClientCommand(const QByteArray& data);

    // Clients read at the same time; more are dropped at once.
    static const int vqMaxPendingClients = 16;
    // How long a client may take to say its word.
    static const int vqClientTimeoutMs = 2000;

    QWidget* mainWidget = nullptr;  // not owned

private slots:
    void _newLocalConnection();

private:
    void checkRunning();
    void startServer(const QString& name, bool locked);
    void readClient(QLocalSocket* socket);

    int launchMode;
    bool running = false;
    QLocalServer* server = nullptr;
    std::unique_ptr<QLockFile> lock;
    int pendingClients = 0;
    QString serverName;
};
