#include "qvqsingletonapplication.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#include <cstdio>
#include <memory>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

QvqSingletonApplication::QvqSingletonApplication(int& argc, char** argv, int mode)
    : QApplication(argc, argv), launchMode(mode)
{
    serverName = QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath();
    checkRunning();
}

QString QvqSingletonApplication::vqLocalName(const QString& executablePath)
{
#ifdef Q_OS_WIN
    return executablePath;
#else
    // A path holds separators and may exceed the socket name limit: hash it, and
    // keep the user in the name so users never meet each other's instances.
    const QByteArray hash = QCryptographicHash::hash(executablePath.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    QString dir = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/vqmonitor-") + QString::number(getuid()) + '-' + QString::fromLatin1(hash);
#endif
}

void QvqSingletonApplication::checkRunning()
{
    std::unique_ptr<QLocalSocket> socket(new QLocalSocket);
    socket->connectToServer(vqLocalName(serverName), QIODevice::ReadWrite);
    if (!socket->waitForConnected(1000)) {
        if (launchMode == vqModeShow)
            startServer();
        return;
    }
    std::fprintf(stderr, "%s already running.\n", serverName.toLocal8Bit().constData());
    std::fflush(stderr);
    running = true;
    const char* msg = launchMode == vqModeExit ? "exit\n" : launchMode == vqModePing ? "ping\n" : "show\n";
    if (socket->write(msg, 5) > 0)
        socket->waitForBytesWritten(1000);
}

void QvqSingletonApplication::startServer()
{
    const QString name = vqLocalName(serverName);
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, &QvqSingletonApplication::_newLocalConnection);
    if (!server->listen(name) && server->serverError() == QAbstractSocket::AddressInUseError) {
        // A stale name left by a crashed instance.
        QLocalServer::removeServer(name);
        server->listen(name);
    }
}

void QvqSingletonApplication::_newLocalConnection()
{
    QLocalSocket* socket = server->nextPendingConnection();
    if (!socket)
        return;
    if (socket->bytesAvailable() == 0 && !socket->waitForReadyRead(2000)) {
        delete socket;
        return;
    }
    const QByteArray data = socket->read(100);
    delete socket;
    if (data.isEmpty())
        return;
    if (data.contains("exit")) {
        if (mainWidget)
            mainWidget->close();
        return;
    }
    if (data.contains("show"))
        activateMainWidget();
}

void QvqSingletonApplication::activateMainWidget()
{
    if (!mainWidget)
        return;
    mainWidget->show();
    mainWidget->raise();
    mainWidget->activateWindow();
}
