#pragma once
// The control port: connections on 127.0.0.1, each a session of its own once
// its first line is this run's token.

#include "vqsimsession.h"

class QTcpServer;
class QTcpSocket;

class CvqSimControlPort : public QObject
{
public:
    CvqSimControlPort(CvqSimSession::Runner run, QObject* parent);
    // Listens on 127.0.0.1:port (0: a free one); the line naming it ("127.0.0.1:PORT TOKEN"), empty on failure.
    QString vqListen(quint16 port, QString* error);

private:
    void accept(QTcpSocket* sock);

    CvqSimSession::Runner mRun;
    QTcpServer* mServer;
    QString mToken;
};
