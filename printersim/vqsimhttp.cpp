#include "vqsimhttp.h"
#include "vqsimoptions.h"
#include "vqsimprinter.h"

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {
// What one connection has received so far.
struct Conn
{
    QByteArray buf;
    bool headerDone = false;
    QByteArray method, target, contentType;
    qint64 length = 0;
    bool answered = false;
    bool stalled = false;  // the client's body is read only up to stallAt
    qint64 stallAt = 0;
    quint64 seq = 0;
};
quint64 gSeq = 0;
// Keyed by socket; the sockets are children of the server.
QHash<QTcpSocket*, Conn> gConns;

QByteArray reason(int code)
{
    switch (code) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    }
    return "Status";
}

// The part named "file1" of a multipart form body and its header lines; false when there is none.
bool formFile(const QByteArray& contentType, const QByteArray& body, QByteArray* out, QByteArray* outHead)
{
    const int at = contentType.indexOf("boundary=");
    if (!contentType.trimmed().toLower().startsWith("multipart/form-data") || at < 0)
        return false;
    QByteArray boundary = contentType.mid(at + 9);
    const int semi = boundary.indexOf(';');
    if (semi >= 0)
        boundary.truncate(semi);
    boundary = boundary.trimmed();
    if (boundary.startsWith('"') && boundary.endsWith('"') && boundary.size() >= 2)
        boundary = boundary.mid(1, boundary.size() - 2);
    if (boundary.isEmpty() || boundary.size() > 200)
        return false;
    const QByteArray delim = "--" + boundary;
    int pos = body.indexOf(delim);
    while (pos >= 0) {
        pos += delim.size();
        if (body.mid(pos, 2) == "--")
            return false;  // the closing delimiter
        const int headEnd = body.indexOf("\r\n\r\n", pos);
        if (headEnd < 0)
            return false;
        const QByteArray head = body.mid(pos, headEnd - pos);
        const int next = body.indexOf("\r\n" + delim, headEnd + 4);
        if (next < 0)
            return false;
        const QByteArray lower = head.toLower();
        if (lower.contains("content-disposition") && lower.contains("name=\"file1\"")) {
            *out = body.mid(headEnd + 4, next - headEnd - 4);
            *outHead = head.trimmed();
            return true;
        }
        pos = next + 2;
    }
    return false;
}

QString decodeCommand(const QByteArray& target)
{
    const int q = target.indexOf('?');
    QString cmd = QUrl::fromPercentEncoding(q < 0 ? target : target.left(q));
    if (q >= 0)
        for (const QByteArray& item : target.mid(q + 1).split('&'))
            cmd += ' ' + QUrl::fromPercentEncoding(item);
    return cmd;
}
}  // namespace

CvqSimHttp::CvqSimHttp(CvqSimPrinter* printer) : mPrinter(printer), mServer(new QTcpServer(this))
{
    mServer->setMaxPendingConnections(kMaxConnections);
    connect(mServer, &QTcpServer::newConnection, this, &CvqSimHttp::onNewConnection);
}

CvqSimHttp::~CvqSimHttp()
{
    for (QTcpSocket* s : mServer->findChildren<QTcpSocket*>())
        gConns.remove(s);
}

bool CvqSimHttp::vqParseLoopback(const QString& text, QHostAddress* addr, quint16* port, QString* error)
{
    const int colon = text.lastIndexOf(':');
    bool ok = false;
    const uint p = colon > 0 ? text.mid(colon + 1).toUInt(&ok) : 0;
    if (colon <= 0 || !ok || p > 65535) {
        *error = QStringLiteral("expected ADDR:PORT, got ") + text;
        return false;
    }
    QHostAddress a;
    if (!a.setAddress(text.left(colon)) || a.protocol() != QAbstractSocket::IPv4Protocol
        || (a.toIPv4Address() >> 24) != 127) {
        *error = QStringLiteral("refusing to listen on %1: only 127.0.0.0/8 is allowed").arg(text.left(colon));
        return false;
    }
    *addr = a;
    *port = quint16(p);
    return true;
}

bool CvqSimHttp::vqListen(const QString& addressPort, QString* error)
{
    QHostAddress addr;
    quint16 port = 0;
    if (!vqParseLoopback(addressPort, &addr, &port, error))
        return false;
    if (!mServer->listen(addr, port)) {
        *error = QStringLiteral("cannot listen on %1: %2").arg(addressPort, mServer->errorString());
        return false;
    }
    return true;
}

QString CvqSimHttp::vqAddress() const
{
    return QStringLiteral("%1:%2").arg(mServer->serverAddress().toString()).arg(mServer->serverPort());
}

QString CvqSimHttp::vqSetFault(const QStringList& args)
{
    static const QStringList kinds = {QStringLiteral("silence"), QStringLiteral("late"),  QStringLiteral("status"),
                                      QStringLiteral("huge"),    QStringLiteral("stall"), QStringLiteral("redirect")};
    Fault f;
    f.kind = args.value(0);
    if (!kinds.contains(f.kind))
        return QStringLiteral("httpfault takes ") + kinds.join(QStringLiteral(", "));
    f.location = f.kind == QLatin1String("redirect") ? QByteArray("/redirected") : QByteArray();
    const CvqSimOptions opts(args, 1);
    for (const CvqSimOptions::Item& o : opts.vqItems()) {
        if (o.key == QLatin1String("path") && o.value.startsWith('/')) {
            f.path = o.value.toUtf8();
            continue;
        }
        if (o.key == QLatin1String("to") && !o.value.isEmpty()) {
            f.location = o.value.toUtf8();
            continue;
        }
        qint64 v = 0;
        const qint64 most = o.key == QLatin1String("size") ? qint64(4) << 30 : 600000;
        if (!vqSimParseNumber(o.value, &v) || v < 0 || v > most)
            return QStringLiteral("bad value in ") + o.text;
        if (o.key == QLatin1String("count"))
            f.count = int(v);
        else if (o.key == QLatin1String("delay"))
            f.delay = int(v);
        else if (o.key == QLatin1String("after"))
            f.after = int(v);
        else if (o.key == QLatin1String("size"))
            f.size = v;
        else if (o.key == QLatin1String("code") && v >= 100 && v <= 599)
            f.code = int(v);
        else
            return QStringLiteral("unknown option ") + o.text;
    }
    f.active = true;
    mFault = f;
    return QString();
}

bool CvqSimHttp::faultTakes(const QByteArray& target)
{
    if (!mFault.active || !target.startsWith(mFault.path))
        return false;
    if (mFault.after > 0) {
        --mFault.after;
        return false;
    }
    if (mFault.count > 0 && --mFault.count == 0)
        mFault.active = false;
    return true;
}

void CvqSimHttp::onNewConnection()
{
    while (QTcpSocket* s = mServer->nextPendingConnection()) {
        if (gConns.size() >= kMaxConnections) {
            // Full: the client that has waited longest without finishing its
            // request makes room, so idle connections cannot lock others out.
            QTcpSocket* oldest = nullptr;
            quint64 seq = ~quint64(0);
            for (auto it = gConns.cbegin(); it != gConns.cend(); ++it) {
                if (!it->answered && it->seq < seq) {
                    seq = it->seq;
                    oldest = it.key();
                }
            }
            if (!oldest) {
                s->abort();
                s->deleteLater();
                continue;
            }
            gConns.remove(oldest);
            oldest->abort();
            oldest->deleteLater();
        }
        Conn c;
        c.seq = ++gSeq;
        gConns.insert(s, c);
        connect(s, &QTcpSocket::readyRead, this, [this, s] { onReadyRead(s); });
        connect(s, &QTcpSocket::disconnected, this, [s] {
            gConns.remove(s);
            s->deleteLater();
        });
        // A client that never finishes its request is dropped.
        QTimer::singleShot(kIdleMs, s, [s] {
            if (!gConns.value(s).answered)
                s->abort();
        });
    }
}

// Malformed requests are answered at once, faults or not.
static void refuse(QTcpSocket* s, int code, const QByteArray& text)
{
    gConns[s].answered = true;
    s->write("HTTP/1.1 " + QByteArray::number(code) + ' ' + reason(code)
             + "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(text.size())
             + "\r\nConnection: close\r\n\r\n" + text);
    s->disconnectFromHost();
}

void CvqSimHttp::onReadyRead(QTcpSocket* s)
{
    auto it = gConns.find(s);
    if (it == gConns.end() || it->answered) {
        s->readAll();
        return;
    }
    Conn& c = *it;
    if (c.stalled) {
        // Takes no more than stallAt bytes of the body: the client's upload stops mid-way.
        if (c.buf.size() < c.stallAt)
            c.buf += s->read(c.stallAt - c.buf.size());
        return;
    }
    c.buf += s->read(kMaxHeaderBytes + kMaxBodyBytes - c.buf.size() + 1);
    if (!c.headerDone) {
        const int end = c.buf.indexOf("\r\n\r\n");
        if (end < 0) {
            if (c.buf.size() > kMaxHeaderBytes)
                refuse(s, 431, "header too large\n");
            return;
        }
        if (end > kMaxHeaderBytes) {
            refuse(s, 431, "header too large\n");
            return;
        }
        const QList<QByteArray> lines = c.buf.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        if (first.size() != 3 || !first[2].startsWith("HTTP/1.") || !first[1].startsWith('/')) {
            refuse(s, 400, "bad request\n");
            return;
        }
        c.method = first[0];
        c.target = first[1];
        for (int i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const int colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray key = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (key == "content-length") {
                bool ok = false;
                c.length = value.toLongLong(&ok);
                if (!ok || c.length < 0) {
                    refuse(s, 400, "bad content length\n");
                    return;
                }
            } else if (key == "content-type") {
                c.contentType = value;
            } else if (key == "transfer-encoding" && value.toLower() != "identity") {
                refuse(s, 411, "length required\n");
                return;
            }
        }
        if (c.length > kMaxBodyBytes) {
            refuse(s, 413, "too large\n");
            return;
        }
        c.buf.remove(0, end + 4);
        c.headerDone = true;
        if (mFault.kind == QLatin1String("stall") && faultTakes(c.target)) {
            mPrinter->vqNoteHistory(
                QStringLiteral("http %1 %2 stalled").arg(QString::fromLatin1(c.method), QString::fromLatin1(c.target)));
            c.stalled = true;
            c.stallAt = mFault.size;
            s->setReadBufferSize(64 * 1024);
            c.buf.truncate(int(qMin<qint64>(c.buf.size(), c.stallAt)));
            return;
        }
    }
    if (c.buf.size() < c.length)
        return;
    c.answered = true;
    const QByteArray body = c.buf.left(int(c.length));
    c.buf.clear();
    handle(s, c.method, c.target, c.contentType, body);
}

void CvqSimHttp::handle(QTcpSocket* s, const QByteArray& method, const QByteArray& target,
                        const QByteArray& contentType, const QByteArray& body)
{
    mPrinter->vqNoteHistory(QStringLiteral("http %1 %2").arg(QString::fromLatin1(method), QString::fromLatin1(target)));
    if (method == "POST" && target == "/uprom") {
        QByteArray image, head;
        if (!formFile(contentType, body, &image, &head)) {
            reply(s, 400, "no file1 part\n");
            return;
        }
        // The part's headers as sent, so callers can check each byte of them.
        mPrinter->vqNoteHistory(QStringLiteral("http part %1 | bytes=%2")
                                    .arg(QString::fromUtf8(head).replace(QLatin1String("\r\n"), QLatin1String(" | ")))
                                    .arg(image.size()));
        mPrinter->vqFirmwareUploaded(image);
        reply(s, 200, "ok\n");
        return;
    }
    if (method != "GET") {
        reply(s, 405, "method not allowed\n");
        return;
    }
    CvqSimFs& fs = mPrinter->fs();
    auto filePath = [&target](int prefix) { return QUrl::fromPercentEncoding(target.mid(prefix)); };
    if (target == "/ajax_get1284") {
        reply(s, 200, mPrinter->vqWebId());
    } else if (target == "/ajax_getsnapstate") {
        reply(s, 200, mPrinter->vqSnapState(), "application/json");
    } else if (target.startsWith("/vqget/")) {
        QByteArray data;
        if (mPrinter->vqRefuse("get", filePath(6)))
            reply(s, 404, "refused\n");
        else if (fs.vqGet(filePath(6), &data))
            reply(s, 200, data, "application/octet-stream");
        else
            reply(s, 404, "no such file\n");
    } else if (target.startsWith("/vqhas/")) {
        reply(s, 200, fs.vqHas(filePath(6)) ? "yes" : "no");
    } else if (target.startsWith("/vqrm/")) {
        const quint8 r =
            mPrinter->vqRefuse("del", filePath(5)) ? quint8(vqsimstatus::Refused) : quint8(fs.vqRemove(filePath(5)));
        reply(s, 200, r == vqsimstatus::Ok ? QByteArray("ok") : vqsimstatus::vqText(r).toUtf8());
    } else if (target.startsWith("/vqexea/") || target.startsWith("/vqexe/")) {
        const bool along = target.startsWith("/vqexea/");
        const CvqSimExeResult r = mPrinter->programs().vqExecute(decodeCommand(target.mid(along ? 7 : 6)));
        if (r.status == vqsimstatus::Unsupported)
            reply(s, 404, r.err.toUtf8() + '\n');
        else if (along)
            reply(s, 200, r.status == 0 ? QByteArray("ok") : r.err.toUtf8());
        else
            reply(s, 200, r.status == 0 ? r.output.toUtf8() : r.err.toUtf8());
    } else {
        reply(s, 404, "not found\n");
    }
}

void CvqSimHttp::reply(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type)
{
    auto it = gConns.find(s);
    if (it == gConns.end())
        return;
    it->answered = true;
    if (mFault.kind == QLatin1String("stall") || !faultTakes(it->target)) {
        send(s, code, body, type);
        return;
    }
    if (mFault.kind == QLatin1String("silence"))
        return;  // the connection stays open until the client gives up
    if (mFault.kind == QLatin1String("status")) {
        send(s, mFault.code, "fault\n", "text/plain");
    } else if (mFault.kind == QLatin1String("huge")) {
        sendHuge(s, body, mFault.size);
    } else if (mFault.kind == QLatin1String("redirect")) {
        s->write("HTTP/1.1 302 Found\r\nLocation: " + mFault.location
                 + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        s->disconnectFromHost();
    } else {
        QPointer<QTcpSocket> guard(s);
        QTimer::singleShot(mFault.delay, this, [this, guard, code, body, type] {
            if (guard)
                send(guard, code, body, type);
        });
    }
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

void CvqSimHttp::send(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason(code) + "\r\nContent-Type: " + type
        + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
    s->write(head + body);
    s->disconnectFromHost();
}
