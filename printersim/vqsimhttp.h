#pragma once
// The web server on a loopback address: the file and command paths, the
// identification and state pages, and the firmware upload. It serves the
// monitor's client and the tests, no more.

#include "vqsimfault.h"

#include <QHash>
#include <QObject>

class CvqSimRequests;
class QHostAddress;
class QTcpServer;
class QTcpSocket;

class CvqSimHttp : public QObject
{
public:
    explicit CvqSimHttp(CvqSimRequests* printer);
    // "ADDR:PORT"; only IPv4 loopback addresses are accepted.
    bool vqListen(const QString& addressPort, QString* error);
    QString vqAddress() const;
    static bool vqParseLoopback(const QString& text, QHostAddress* addr, quint16* port, QString* error);
    // "KIND key=value…" or "clear"; the reason it was refused, empty: set.
    QString vqSetFault(const QStringList& args);

private:
    // What one connection has received so far.
    struct Conn
    {
        QByteArray buf, method, target, contentType;
        qint64 length = -1;   // of the body; -1 while the header is incomplete
        qint64 stallAt = -1;  // a stalled upload: the body bytes read at most
        bool answered = false;
    };
    bool faultTakes(const QByteArray& target, const char* kind);
    void onReadyRead(QTcpSocket* s);
    // Takes the request line and the headers we use; false when the request is answered already.
    bool readHead(QTcpSocket* s, Conn& c, int end);
    void handle(QTcpSocket* s, const Conn& c, const QByteArray& body);
    void upload(QTcpSocket* s, const Conn& c, const QByteArray& body);
    void reply(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type = "text/plain; charset=utf-8");
    void send(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type);
    void sendHuge(QTcpSocket* s, const QByteArray& start, qint64 size);
    void lingerThenClose(QTcpSocket* s);

    CvqSimRequests* mPrinter;
    QTcpServer* mServer;
    CvqSimFault mFault;
    QHash<QTcpSocket*, Conn> mConns;
};
