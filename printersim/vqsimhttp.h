#pragma once
// The printer's web server on a loopback address: the file and command paths,
// the identification and state pages, and the firmware upload. It serves the
// monitor's client and the tests, no more.

#include "vqsimprinter.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>

class QTcpServer;
class QTcpSocket;

class CvqSimHttp : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kMaxBodyBytes = qint64(64) * 1024 * 1024;

    explicit CvqSimHttp(CvqSimPrinter* printer);

    // "ADDR:PORT"; only IPv4 loopback addresses are accepted.
    bool vqListen(const QString& addressPort, QString* error);
    QString vqAddress() const;
    // Parses "ADDR:PORT" and checks that ADDR is in 127.0.0.0/8.
    static bool vqParseLoopback(const QString& text, QHostAddress* addr, quint16* port, QString* error);

    // The identification and state pages as the printer shows them now.
    void vqSetPages(const QByteArray& id, const QByteArray& snap)
    {
        mId = id;
        mSnap = snap;
    }
    // "httpfault" arguments; empty result = ok.
    QString vqSetFault(const QStringList& args);
    void vqClearFault() { mFault = CvqSimFault(); }

private:
    // What one connection has received so far.
    struct Conn
    {
        QByteArray buf;
        QByteArray method, target, contentType;
        qint64 length = -1;   // of the body; -1 while the header is incomplete
        qint64 stallAt = -1;  // a stalled upload: the body bytes read at most
        bool answered = false;
    };

    bool faultTakes(const QByteArray& target, const char* kind);
    void onReadyRead(QTcpSocket* s);
    void handle(QTcpSocket* s, const Conn& c, const QByteArray& body);
    void reply(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type = "text/plain; charset=utf-8");
    void send(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type);
    void sendHuge(QTcpSocket* s, const QByteArray& start, qint64 size);

    CvqSimPrinter* mPrinter;
    QTcpServer* mServer;
    QHash<QTcpSocket*, Conn> mConns;
    QByteArray mId, mSnap;
    CvqSimFault mFault;
};
