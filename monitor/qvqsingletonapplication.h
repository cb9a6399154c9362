#pragma once
// The application object of the monitor: at most one interactive instance per
// executable path, reached over a local socket named after that path.

#include <QApplication>
#include <QPointer>

class QLocalServer;

class QvqSingletonApplication : public QApplication
{
    Q_OBJECT
public:
    enum LaunchMode { vqModeShow = 0, vqModePing = 1, vqModeExit = 2 };

    QvqSingletonApplication(int& argc, char** argv, int launchMode);

    bool isRunning() const { return running; }
    void activateMainWidget();

    // The local server name for an absolute executable path. On Windows the path
    // itself (a pipe name); elsewhere a socket file derived from a hash of it,
    // unique per path and per user, in a private directory when there is one.
    static QString vqLocalName(const QString& executablePath);

    QWidget* mainWidget = nullptr;  // not owned

private slots:
    void _newLocalConnection();

private:
    void checkRunning();
    void startServer();

    int launchMode;
    bool running = false;
    QLocalServer* server = nullptr;
    QString serverName;
};
