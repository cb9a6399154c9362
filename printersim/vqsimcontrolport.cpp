#include "vqsimcontrolport.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

static const qint64 kMaxUnread = 4 * 1024 * 1024;
// A control client that has not sent the token by then is closed.
static const int kTokenMs = 10000;

CvqSimControlPort::CvqSimControlPort(CvqSimSession::Runner run, QObject* parent)
    : QObject(parent), mRun(std::move(run)), mServer(new QTcpServer(this))
{
    connect(mServer, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* sock = mServer->nextPendingConnection())
            accept(sock);
    });
}

// The complete lines taken out of buf; a line too long comes out cut (and is refused).
static QStringList takeLines(QByteArray* buf)
{
    QStringList lines;
    for (int nl; (nl = buf->indexOf('\n')) >= 0; buf->remove(0, nl + 1))
        lines << QString::fromUtf8(buf->left(qMin(nl, CvqSimSession::kMaxLine + 1))).remove('\r');
    if (buf->size() > CvqSimSession::kMaxLine) {
        lines << QString::fromUtf8(buf->left(CvqSimSession::kMaxLine + 1));
        buf->clear();
    }
    return lines;
}

QString CvqSimControlPort::vqListen(quint16 port, QString* error)
{
    if (!mServer->listen(QHostAddress::LocalHost, port)) {
        *error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(mServer->errorString());
        return QString();
    }
    // Any local user can reach a loopback port: a client's first line must be
    // this run's token, which only the starter sees.
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    mToken = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(random), 16).toHex());
    return QStringLiteral("127.0.0.1:%1 %2").arg(mServer->serverPort()).arg(mToken);
}

void CvqSimControlPort::accept(QTcpSocket* sock)
{
    sock->setReadBufferSize(64 * 1024);
    auto* session = new CvqSimSession(
        mRun,
        [sock](const QString& l) {
            // A client that does not read its replies is let go.
            if (sock->bytesToWrite() > kMaxUnread)
                return sock->abort();
            sock->write(l.toUtf8() + '\n');
        },
        QString(), sock);
    const auto buf = std::make_shared<QByteArray>();
    QTimer::singleShot(kTokenMs, sock, [sock, session] {
        if (!session->property("known").toBool())
            sock->abort();
    });
    connect(sock, &QTcpSocket::readyRead, session, [sock, session, buf, token = mToken] {
        *buf += sock->readAll();
        if (sock->state() != QAbstractSocket::ConnectedState)
            return;
        QStringList lines = takeLines(buf.get());
        if (!session->property("known").toBool() && !lines.isEmpty()) {
            if (lines.takeFirst() != token) {
                sock->write("err bad token\n");
                return sock->disconnectFromHost();
            }
            session->setProperty("known", true);
        }
        session->vqFeed(lines);
    });
    connect(sock, &QTcpSocket::disconnected, sock, &QObject::deleteLater);
}
