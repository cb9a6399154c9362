#include "vqsimprinter.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <memory>

// The part named "file1" of a multipart form body (as our client sends it) and its header lines; false when
// there is none.
static bool formFile(const QByteArray& contentType, const QByteArray& body, QByteArray* file, QByteArray* head)
{
    const int b = contentType.indexOf("boundary=");
    const QByteArray delim = "\r\n--" + contentType.mid(b + 9).split(';').value(0).replace('"', "").trimmed();
    const QByteArray all = "\r\n" + body;
    const int name = all.indexOf("name=\"file1\""), start = all.lastIndexOf(delim, name);
    const int split = all.indexOf("\r\n\r\n", name), end = all.indexOf(delim, split);
    if (b < 0 || name < 0 || start < 0 || split < 0 || end < 0)
        return false;
    *head = all.mid(start + delim.size(), split - start - delim.size()).trimmed();
    *file = all.mid(split + 4, end - split - 4);
    return true;
}

// "/ls?-l&/tmp" is the command line "ls -l /tmp".
static QString decodeCommand(const QByteArray& target)
{
    const int q = target.indexOf('?');
    QString cmd = QUrl::fromPercentEncoding(target.left(q));
    for (const QByteArray& item : q < 0 ? QList<QByteArray>() : target.mid(q + 1).split('&'))
        cmd += ' ' + QUrl::fromPercentEncoding(item);
    return cmd;
}

CvqSimHttp::CvqSimHttp(CvqSimPrinter* printer) : mPrinter(printer), mServer(new QTcpServer(this))
{
    connect(mServer, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = mServer->nextPendingConnection()) {
            mConns.insert(s, Conn());
            connect(s, &QTcpSocket::readyRead, this, [this, s] { onReadyRead(s); });
            connect(s, &QTcpSocket::disconnected, this, [this, s] {
                mConns.remove(s);
                s->deleteLater();
            });
        }
    });
}

bool CvqSimHttp::vqParseLoopback(const QString& text, QHostAddress* addr, quint16* port, QString* error)
{
    const int colon = text.lastIndexOf(':');
    bool ok = false;
    *port = quint16(text.mid(colon + 1).toUInt(&ok));
    if (colon <= 0 || !ok || text.mid(colon + 1).toUInt() > 65535)
        *error = QStringLiteral("expected ADDR:PORT, got ") + text;
    else if (!addr->setAddress(text.left(colon)) || addr->protocol() != QAbstractSocket::IPv4Protocol
             || (addr->toIPv4Address() >> 24) != 127)
        *error = QStringLiteral("refusing to listen on %1: only 127.0.0.0/8 is allowed").arg(text.left(colon));
    return error->isEmpty();
}

bool CvqSimHttp::vqListen(const QString& addressPort, QString* error)
{
    QHostAddress addr;
    quint16 port = 0;
    if (vqParseLoopback(addressPort, &addr, &port, error) && !mServer->listen(addr, port))
        *error = QStringLiteral("cannot listen on %1: %2").arg(addressPort, mServer->errorString());
    return error->isEmpty();
}

QString CvqSimHttp::vqAddress() const
{
    return QStringLiteral("%1:%2").arg(mServer->serverAddress().toString()).arg(mServer->serverPort());
}

// True when the fault is of this kind and takes this request (and counts it).
bool CvqSimHttp::faultTakes(const QByteArray& target, const char* kind)
{
    return mFault.vqHas(kind) && target.startsWith(mFault.vqText("path").toUtf8()) && mFault.vqTakes();
}

void CvqSimHttp::onReadyRead(QTcpSocket* s)
{
    auto it = mConns.find(s);
    if (it == mConns.end() || it->answered) {
        s->readAll();
        return;
    }
    Conn& c = *it;
    // A stalled upload: no more than stallAt bytes of the body are taken.
    if (c.stallAt >= 0) {
        c.buf += s->read(qMax<qint64>(0, c.stallAt - c.buf.size()));
        return;
    }
    c.buf += s->readAll();
    const int end = c.buf.indexOf("\r\n\r\n");
    if (c.length < 0 && end < 0)
        return;
    if (c.length < 0) {
        // The request line and the headers we use.
        const QList<QByteArray> lines = c.buf.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        c.method = first.value(0);
        c.target = first.value(1);
        c.length = 0;
        for (const QByteArray& line : lines.mid(1)) {
            const int colon = line.indexOf(':');
            const QByteArray key = line.left(colon).trimmed().toLower(), value = line.mid(colon + 1).trimmed();
            if (key == "content-length")
                c.length = qMax(0LL, value.toLongLong());
            else if (key == "content-type")
                c.contentType = value;
        }
        c.buf.remove(0, end + 4);
        if (c.length > qint64(64) * 1024 * 1024) {
            c.answered = true;  // what still comes is read and dropped
            mPrinter->vqNoteRequest(QStringLiteral("http %1 %2 too large")
                                        .arg(QString::fromLatin1(c.method), QString::fromLatin1(c.target)));
            s->write("HTTP/1.1 413 -\r\nContent-Type: text/plain\r\nContent-Length: 10\r\nConnection: close\r\n\r\n"
                     "too large\n");
            return lingerThenClose(s);
        }
        if (faultTakes(c.target, "stall")) {
            mPrinter->vqNoteRequest(
                QStringLiteral("http %1 %2 stalled").arg(QString::fromLatin1(c.method), QString::fromLatin1(c.target)));
            c.stallAt = mFault.vqNumber("size", 100 << 20);
            s->setReadBufferSize(64 * 1024);
            c.buf.truncate(int(qMin<qint64>(c.buf.size(), c.stallAt)));
            return;
        }
    }
    if (c.buf.size() < c.length)
        return;
    c.answered = true;
    if (faultTakes(c.target, "drop")) {
        mPrinter->vqNoteRequest(
            QStringLiteral("http %1 %2 dropped").arg(QString::fromLatin1(c.method), QString::fromLatin1(c.target)));
        s->disconnectFromHost();
        return;
    }
    handle(s, c, c.buf.left(int(c.length)));
}

void CvqSimHttp::handle(QTcpSocket* s, const Conn& c, const QByteArray& body)
{
    const QByteArray& target = c.target;
    mPrinter->vqNoteRequest(
        QStringLiteral("http %1 %2").arg(QString::fromLatin1(c.method), QString::fromLatin1(target)));
    if (c.method == "POST" && target == "/uprom") {
        QByteArray image, head;
        if (!formFile(c.contentType, body, &image, &head))
            return reply(s, 400, "no file1 part\n");
        // The part's headers as sent, so callers can check each byte of them.
        mPrinter->vqNoteRequest(QStringLiteral("http part %1 | bytes=%2")
                                    .arg(QString::fromUtf8(head).replace(QLatin1String("\r\n"), QLatin1String(" | ")))
                                    .arg(image.size()));
        mPrinter->vqFirmwareUploaded(image);
        return reply(s, 200, "ok\n");
    }
    if (c.method != "GET")
        return reply(s, 405, "method not allowed\n");
    const QString path = QUrl::fromPercentEncoding(target.mid(target.indexOf('/', 1)));
    QByteArray data;
    if (target == "/ajax_get1284" || target == "/ajax_getsnapstate") {
        const bool snap = target == "/ajax_getsnapstate";
        reply(s, 200, mPrinter->vqWebPage(snap), snap ? "application/json" : "text/plain; charset=utf-8");
    } else if (target.startsWith("/vqget/")) {
        const quint8 r = mPrinter->mFs.vqGet(path, &data);
        reply(s, r == 0 ? 200 : 404, r == 0 ? data : vqsimstatus::vqText(r).toUtf8() + '\n',
              r == 0 ? "application/octet-stream" : "text/plain");
    } else if (target.startsWith("/vqhas/")) {
        reply(s, 200, mPrinter->mFs.vqHas(path) ? "yes" : "no");
    } else if (target.startsWith("/vqrm/")) {
        const quint8 r = mPrinter->vqRemove(path);
        reply(s, 200, r == 0 ? QByteArray("ok") : vqsimstatus::vqText(r).toUtf8());
    } else if (target.startsWith("/vqexe/") || target.startsWith("/vqexea/")) {
        const bool along = target.startsWith("/vqexea/");
        const CvqSimExeResult r = mPrinter->vqExecute(decodeCommand(target.mid(along ? 7 : 6)));
        if (r.status == vqsimstatus::Unsupported)
            reply(s, 404, r.err.toUtf8() + '\n');
        else
            reply(s, 200, r.status != 0 ? r.err.toUtf8() : along ? QByteArray("ok") : r.output.toUtf8());
    } else {
        reply(s, 404, "not found\n");
    }
}

void CvqSimHttp::reply(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type)
{
    const QByteArray target = mConns.value(s).target;
    if (faultTakes(target, "status")) {
        send(s, int(mFault.vqNumber("code", 500)), "fault\n", "text/plain");
    } else if (faultTakes(target, "huge")) {
        sendHuge(s, body, mFault.vqNumber("size", 100 << 20));
    } else if (faultTakes(target, "redirect")) {
        const QString to = mFault.vqText("to");
        s->write("HTTP/1.1 302 Found\r\nLocation: " + (to.isEmpty() ? QStringLiteral("/redirected") : to).toUtf8()
                 + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        s->disconnectFromHost();
    } else if (faultTakes(target, "late")) {
        QTimer::singleShot(int(mFault.vqNumber("delay", 6000)), s, [=] { send(s, code, body, type); });
    } else if (!faultTakes(target, "silence")) {
        send(s, code, body, type);
    }
    // silence: the connection stays open until the client gives up.
}

// The real answer first, then filler up to size bytes, written as the client takes it.
void CvqSimHttp::sendHuge(QTcpSocket* s, const QByteArray& start, qint64 size)
{
    s->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(size)
             + "\r\nConnection: close\r\n\r\n");
    const QByteArray first = start.left(int(qMin<qint64>(size, start.size())));
    s->write(first);
    auto left = std::make_shared<qint64>(size - first.size());
    auto pump = [s, left] {
        static const QByteArray chunk(64 * 1024, 'x');
        while (*left > 0 && s->bytesToWrite() < 4 * chunk.size()) {
            const qint64 n = qMin<qint64>(*left, chunk.size());
            s->write(chunk.constData(), n);
            *left -= n;
        }
        if (*left == 0)
            s->disconnectFromHost();
    };
    connect(s, &QTcpSocket::bytesWritten, s, pump);
    pump();
}

// Closing with unread bytes would reset the connection, and the client could lose the answer: read
// and drop what the client still sends until it stops for 2 s, closes, or 30 s have passed.
void CvqSimHttp::lingerThenClose(QTcpSocket* s)
{
    auto* quiet = new QTimer(s);
    quiet->setSingleShot(true);
    connect(quiet, &QTimer::timeout, s, &QTcpSocket::disconnectFromHost);
    connect(s, &QTcpSocket::readyRead, quiet, [quiet] { quiet->start(2000); });
    quiet->start(2000);
    QTimer::singleShot(30000, s, &QTcpSocket::disconnectFromHost);
}

void CvqSimHttp::send(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type)
{
    s->write("HTTP/1.1 " + QByteArray::number(code) + " -\r\nContent-Type: " + type
             + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    s->disconnectFromHost();
}
