#include "qvqsingletonapplication.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

QvqSingletonApplication::QvqSingletonApplication(int& argc, char** argv, int mode)
    : QApplication(argc, argv), launchMode(mode)
{
    serverName = QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath();
    checkRunning();
}

QvqSingletonApplication::~QvqSingletonApplication() = default;

QString QvqSingletonApplication::vqSocketDir(const QString& runtimeDir, const QString& fallbackDir)
{
#ifdef Q_OS_WIN
    Q_UNUSED(runtimeDir)
    Q_UNUSED(fallbackDir)
    return QString();
#else
    const uid_t uid = getuid();
    const QString runtime = runtimeDir.isEmpty() ? QStringLiteral("/run/user/%1").arg(uid) : runtimeDir;
    struct stat st;
    // lstat: a symbolic link is never taken for the directory it points to.
    if (::lstat(QFile::encodeName(runtime).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid
        && (st.st_mode & 022) == 0)
        return runtime;
    const QString fallback = fallbackDir.isEmpty() ? QStringLiteral("/tmp/vqmonitor-%1").arg(uid) : fallbackDir;
    const QByteArray path = QFile::encodeName(fallback);
    ::mkdir(path.constData(), 0700);
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid)
        return QString();
    if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0)
        return QString();
    return fallback;
#endif
}

#ifdef Q_OS_WIN
// The account a process runs as, as SID text: pipes are one namespace for every
// account on the machine.
static QString processUserSid(HANDLE process)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return QString();
    QString sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::unique_ptr<char[]> buf(new char[size ? size : 1]);
    wchar_t* text = nullptr;
    if (size && GetTokenInformation(token, TokenUser, buf.get(), size, &size)
        && ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf.get())->User.Sid, &text)) {
        sid = QString::fromWCharArray(text);
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

QString QvqSingletonApplication::vqUserSid() { return processUserSid(GetCurrentProcess()); }

QString QvqSingletonApplication::vqPipeServerUser(QLocalSocket* socket)
{
    const HANDLE pipe = reinterpret_cast<HANDLE>(socket->socketDescriptor());
    ULONG pid = 0;
    if (pipe == nullptr || pipe == INVALID_HANDLE_VALUE || !GetNamedPipeServerProcessId(pipe, &pid))
        return QString();
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return QString();
    const QString sid = processUserSid(process);
    CloseHandle(process);
    return sid;
}

// A Win32 call that fills a wide buffer and answers the length it needs: 0 on failure.
template <class Call> static QString wideResult(Call call)
{
    QString out(MAX_PATH, Qt::Uninitialized);
    for (int round = 0; round < 2; ++round) {
        const int n = call(reinterpret_cast<wchar_t*>(out.data()), out.size());
        if (n <= 0)
            return QString();
        if (n < out.size()) {
            out.truncate(n);
            return out;
        }
        out.resize(n + 1);
    }
    return QString();
}
#endif

QString QvqSingletonApplication::vqComparablePath(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
#ifdef Q_OS_WIN
    // Windows hands a program its own path as it was typed: "MONITOR.EXE", an 8.3
    // name or another case all name the one file.
    const QString native = QDir::toNativeSeparators(absolute);
    QString full = wideResult([&](wchar_t* buf, int size) {
        return int(GetFullPathNameW(reinterpret_cast<const wchar_t*>(native.utf16()), DWORD(size), buf, nullptr));
    });
    if (full.isEmpty())
        full = native;
    QString longer = wideResult([&](wchar_t* buf, int size) {
        return int(GetLongPathNameW(reinterpret_cast<const wchar_t*>(full.utf16()), buf, DWORD(size)));
    });
    if (longer.isEmpty())  // a file that is not there has no long form
        longer = full;
    // Upper case without a locale, as the file system folds names.
    QString folded(longer.size(), Qt::Uninitialized);
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, reinterpret_cast<const wchar_t*>(longer.utf16()),
                      longer.size(), reinterpret_cast<wchar_t*>(folded.data()), folded.size(), nullptr, nullptr, 0)
        != folded.size())
        return longer.toUpper();
    return folded;
#else
    return absolute;
#endif
}

QString QvqSingletonApplication::vqLocalName(const QString& executablePath)
{
    // A path holds separators and may exceed the name limit: hash it, and keep the user in
    // the name so users never meet, or hold, each other's instances.
    const QByteArray hash =
        QCryptographicHash::hash(vqComparablePath(executablePath).toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(32);
#ifdef Q_OS_WIN
    const QString sid = vqUserSid();
    if (sid.isEmpty())
        return QString();
    return QStringLiteral("vqmonitor-") + sid + '-' + QString::fromLatin1(hash);
#else
    const QString dir = vqSocketDir();
    if (dir.isEmpty())
        return QString();
    return dir + QStringLiteral("/vqmonitor-") + QString::number(getuid()) + '-' + QString::fromLatin1(hash);
#endif
}

void QvqSingletonApplication::checkRunning()
{
    const QString name = vqLocalName(serverName);
    if (name.isEmpty()) {
        std::fputs("No private directory for the local socket: running without single-instance check.\n", stderr);
        return;
    }
    std::unique_ptr<QLocalSocket> socket(new QLocalSocket);
    socket->connectToServer(name, QIODevice::ReadWrite);
    bool connected = socket->waitForConnected(1000);
#ifdef Q_OS_WIN
    if (connected) {
        // Anyone may create a pipe of any name first: only a server of our own
        // account is our monitor.
        const QString owner = vqPipeServerUser(socket.get());
        if (owner != vqUserSid()) {
            std::fprintf(stderr, "The local pipe is served by another account (%s): not our monitor.\n",
                         owner.isEmpty() ? "unknown" : owner.toLocal8Bit().constData());
            socket->abort();
            connected = false;
        }
    }
#endif
    if (!connected && launchMode == vqModeShow) {
        // The lock decides whether an instance lives; one that did not answer in
        // time keeps its socket.
        const QString lockName = vqLockName(name);
        lock.reset(new QLockFile(lockName));
        lock->setStaleLockTime(0);
        switch (takeLock(lock.get())) {
        case vqLockTaken: startServer(name, true); return;
        case vqLockFailed:
            // No lock can be made (no temporary folder, no right to it): that says
            // nothing about another monitor.
            std::fprintf(stderr, "Cannot make the lock file %s (error %d): running without single-instance check.\n",
                         QDir::toNativeSeparators(lockName).toLocal8Bit().constData(), int(lock->error()));
            lock.reset();
            startServer(name, false);
            return;
        case vqLockHeld: lock.reset(); break;
        }
    } else if (!connected) {
        return;
    }
    std::fprintf(stderr, "%s already running.\n", serverName.toLocal8Bit().constData());
    std::fflush(stderr);
    running = true;
    if (!connected)
        return;
    const char* msg = launchMode == vqModeExit ? "exit\n" : launchMode == vqModePing ? "ping\n" : "show\n";
    if (socket->write(msg, 5) > 0)
        socket->waitForBytesWritten(1000);
}

QString QvqSingletonApplication::vqLockName(const QString& localName)
{
#ifdef Q_OS_WIN
    // The pipe is named after the program's path, whose folder users may not write
    // (Program Files): the lock goes to the user's own temporary folder instead.
    const QByteArray hash =
        QCryptographicHash::hash(localName.toLower().toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return QDir::tempPath() + QStringLiteral("/vqmonitor-") + QString::fromLatin1(hash) + QStringLiteral(".lock");
#else
    return localName + QStringLiteral(".lock");
#endif
}

QvqSingletonApplication::LockResult QvqSingletonApplication::takeLock(QLockFile* lockFile)
{
    if (lockFile->tryLock(0))
        return vqLockTaken;
    if (lockFile->error() != QLockFile::LockFailedError)
        return vqLockFailed;
    // A lock left by an instance that ended, under the process id that is ours now
    // (Wine hands out the same first ids every session, Windows reuses them early):
    // QLockFile sees a live owner in us, but we do not hold it.
    qint64 pid = 0;
    QString host, app;
    if (lockFile->getLockInfo(&pid, &host, &app) && pid == QCoreApplication::applicationPid()) {
        lockFile->removeStaleLockFile();
        if (lockFile->tryLock(0))
            return vqLockTaken;
    }
    return vqLockHeld;
}

void QvqSingletonApplication::startServer(const QString& name, bool locked)
{
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, &QvqSingletonApplication::_newLocalConnection);
    bool listening = server->listen(name);
    if (!listening && locked && server->serverError() == QAbstractSocket::AddressInUseError) {
        // We hold the lock, so the name was left by an instance that ended.
        QLocalServer::removeServer(name);
        listening = server->listen(name);
    }
    if (!listening)
        std::fprintf(stderr, "Cannot listen on %s (%s): running without single-instance check.\n",
                     name.toLocal8Bit().constData(), server->errorString().toLocal8Bit().constData());
}

void QvqSingletonApplication::_newLocalConnection()
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        if (pendingClients >= vqMaxPendingClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++pendingClients;
        connect(socket, &QObject::destroyed, this, [this] { --pendingClients; });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readClient(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(vqClientTimeoutMs, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            readClient(socket);
    }
}

QvqSingletonApplication::ClientCommand QvqSingletonApplication::vqClientCommand(const QByteArray& data)
{
    const QByteArray head = data.left(100);
    if (head.contains("exit"))
        return vqClientExit;
    return head.contains("show") ? vqClientShow : vqClientNone;
}

// Whatever the client sent first is its one message.
void QvqSingletonApplication::readClient(QLocalSocket* socket)
{
    const QByteArray data = socket->read(100);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    --pendingClients;  // counted out now; its destruction no longer counts
    switch (vqClientCommand(data)) {
    case vqClientExit:
        if (mainWidget)
            mainWidget->close();
        break;
    case vqClientShow: activateMainWidget(); break;
    case vqClientNone: break;
    }
}

void QvqSingletonApplication::activateMainWidget()
{
    if (!mainWidget)
        return;
    mainWidget->show();
    mainWidget->raise();
    mainWidget->activateWindow();
}
