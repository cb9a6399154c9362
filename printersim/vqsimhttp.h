#pragma once
// The printer's web server on a loopback address: the file and command paths,
// the identification and state pages, and the firmware upload.

#include <QHostAddress>
#include <QObject>
#include <QPointer>

class CvqSimPrinter;
class QTcpServer;
class QTcpSocket;

class CvqSimHttp : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxHeaderBytes = 16 * 1024;
    static constexpr qint64 kMaxBodyBytes = qint64(64) * 1024 * 1024;
    static constexpr int kMaxConnections = 64;
    static constexpr int kIdleMs = 30000;

    explicit CvqSimHttp(CvqSimPrinter* printer);
    ~CvqSimHttp() override;

    // "ADDR:PORT"; only IPv4 loopback addresses are accepted.
    bool vqListen(const QString& addressPort, QString* error);
    QString vqAddress() const;

    // "httpfault" arguments; empty result = ok.
    QString vqSetFault(const QStringList& args);
    void vqClearFault() { mFault = Fault(); }

    // Parses "ADDR:PORT" and checks that ADDR is in 127.0.0.0/8.
    static bool vqParseLoopback(const QString& text, QHostAddress* addr, quint16* port, QString* error);

private:
    struct Fault
    {
        QString kind;  // silence, late, status, huge, stall, redirect
        int count = 1;
        int delay = 6000;
        int code = 500;
        QByteArray path;                  // only requests whose target starts with it
        int after = 0;                    // matching requests served normally first
        qint64 size = 100 * 1024 * 1024;  // huge: body bytes; stall: request body bytes read first
        QByteArray location;              // redirect: where to
        bool active = false;
    };

    // True when the fault takes this request (and counts it).
    bool faultTakes(const QByteArray& target);
    void sendHuge(QTcpSocket* s, const QByteArray& start, qint64 size);

    void onNewConnection();
    void onReadyRead(QTcpSocket* s);
    void handle(QTcpSocket* s, const QByteArray& method, const QByteArray& target, const QByteArray& contentType,
                const QByteArray& body);
    void reply(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type = "text/plain; charset=utf-8");
    void send(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type);

    CvqSimPrinter* mPrinter;
    QTcpServer* mServer;
    Fault mFault;
};
