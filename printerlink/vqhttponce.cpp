#include "vqhttponce.h"

#include <QDebug>
#include <QEventLoop>
#include <QHostAddress>
#include <QIODevice>
#include <QLocale>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

namespace {
constexpr qint64 kHeadLimit = 64 * 1024;  // status line and headers of an answer
constexpr qint64 kPiece = 64 * 1024;      // of a body, written at a time

// What the manager adds itself, worked out as it does.
QByteArray acceptLanguage()
{
    const QString system = QLocale::system().name().replace(QLatin1Char('_'), QLatin1Char('-'));
    if (system == QLatin1String("C"))
        return "en,*";
    if (system.startsWith(QLatin1String("en-")))
        return system.toLatin1() + ",*";
    return system.toLatin1() + ",en,*";
}

QByteArray hostField(const QUrl& url)
{
    const QString host = url.host();
    QHostAddress address;
    QByteArray field = !address.setAddress(host)              ? QUrl::toAce(host)
        : address.protocol() == QAbstractSocket::IPv6Protocol ? '[' + host.toLatin1() + ']'
                                                              : host.toLatin1();
    if (url.port() != -1)
        field += ':' + QByteArray::number(url.port());
    return field;
}

QByteArray requestHead(const CvqHttpOnceRequest& r, qint64 bodySize)
{
    QUrl url = r.url;
    QUrl::FormattingOptions format =
        QUrl::RemoveFragment | QUrl::RemoveUserInfo | QUrl::FullyEncoded | QUrl::RemoveScheme | QUrl::RemoveAuthority;
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    else
        format |= QUrl::NormalizePathSegments;
    // The body as stored: nothing here inflates it (vqHttpIdentityOnly does the same for the manager).
    QByteArray head = r.method + ' ' + url.toEncoded(format) + " HTTP/1.1\r\nHost: " + hostField(r.url)
        + "\r\nAccept-Encoding: identity\r\n";
    for (const auto& h : r.headers)
        head += h.first + ": " + h.second + "\r\n";
    if (bodySize >= 0)
        head += "Content-Length: " + QByteArray::number(bodySize) + "\r\n";
    return head + "Connection: Keep-Alive\r\nAccept-Language: " + acceptLanguage()
        + "\r\nUser-Agent: Mozilla/5.0\r\n\r\n";
}

// Reads one answer as its bytes arrive: status line, headers, then a body of
// Content-Length bytes, in chunks, or up to the close.
class CvqAnswer
{
public:
    enum State { Head, Body, Chunked, Done, Bad };

    explicit CvqAnswer(qint64 limit) : mLimit(limit) {}

    State feed(const QByteArray& bytes)
    {
        mBuf += bytes;
        while (mState != Done && mState != Bad) {
            const State before = mState;
            const int size = mBuf.size();
            step();
            if (mState == before && mBuf.size() == size)
                break;  // needs more bytes
        }
        return mState;
    }
    // The peer closed: an answer without a length ends here.
    State close()
    {
        if (mState == Body && mLength < 0)
            mState = Done;
        else if (mState != Done)
            mState = Bad;
        return mState;
    }

    bool statusSeen = false;
    bool tooLarge = false;
    int code = 0;
    QByteArray body;

private:
    void step()
    {
        if (mState == Head)
            return head();
        if (mState == Body) {
            const qint64 want = mLength < 0 ? mBuf.size() : qMin<qint64>(mBuf.size(), mLength - body.size());
            take(mBuf.left(int(want)));
            mBuf.remove(0, int(want));
            if (mState == Body && mLength >= 0 && body.size() >= mLength)
                mState = Done;
            return;
        }
        chunk();
    }

    void head()
    {
        const int end = mBuf.indexOf("\r\n\r\n");
        if (end < 0) {
            if (mBuf.size() > kHeadLimit)
                mState = Bad;
            return;
        }
        const QList<QByteArray> lines = mBuf.left(end).split('\n');
        mBuf.remove(0, end + 4);
        const QList<QByteArray> status = lines.value(0).trimmed().split(' ');
        bool ok = false;
        code = status.value(1).toInt(&ok);
        if (!status.value(0).startsWith("HTTP/1.") || !ok || code < 100 || code > 999) {
            mState = Bad;
            return;
        }
        statusSeen = true;
        if (code < 200)
            return;  // an interim answer; the real one follows
        bool chunked = false;
        for (const QByteArray& line : lines.mid(1)) {
            const int colon = line.indexOf(':');
            const QByteArray key = line.left(colon).trimmed().toLower(), value = line.mid(colon + 1).trimmed();
            if (key == "transfer-encoding")
                chunked = value.toLower().contains("chunked");
            else if (key == "content-length")
                mLength = value.toLongLong(&ok);
            if (key == "content-length" && (!ok || mLength < 0)) {
                mState = Bad;
                return;
            }
        }
        if (chunked)
            mLength = -1;
        if (mLength > mLimit)
            return tooBig();
        mState = chunked ? Chunked : mLength == 0 || code == 204 || code == 304 ? Done : Body;
    }

    void chunk()
    {
        if (mChunkLeft > 0) {
            const int n = int(qMin<qint64>(mChunkLeft, mBuf.size()));
            take(mBuf.left(n));
            mBuf.remove(0, n);
            mChunkLeft -= n;
            return;
        }
        const int eol = mBuf.indexOf("\r\n");
        if (eol < 0) {
            if (mBuf.size() > 1024)
                mState = Bad;
            return;
        }
        const QByteArray line = mBuf.left(eol).split(';').value(0).trimmed();
        mBuf.remove(0, eol + 2);
        if (mAfterChunk) {  // the line ending a chunk's data
            mAfterChunk = false;
            if (!line.isEmpty())
                mState = Bad;
            return;
        }
        if (mTrailer) {
            if (line.isEmpty())
                mState = Done;
            return;
        }
        bool ok = false;
        mChunkLeft = line.toLongLong(&ok, 16);
        if (!ok || mChunkLeft < 0 || mChunkLeft > mLimit)
            return tooBig();
        if (mChunkLeft == 0)
            mTrailer = true;
        else
            mAfterChunk = true;
    }

    void take(const QByteArray& bytes)
    {
        if (body.size() + bytes.size() > mLimit)
            return tooBig();
        body += bytes;
    }
    void tooBig()
    {
        tooLarge = true;
        mState = Bad;
    }

    const qint64 mLimit;
    State mState = Head;
    QByteArray mBuf;
    qint64 mLength = -1;
    qint64 mChunkLeft = 0;
    bool mAfterChunk = false, mTrailer = false;
};

QString reason(int code) { return QStringLiteral("server replied: %1").arg(code); }
}  // namespace

QString vqHttpEscapePath(const QString& path)
{
    QString out = path;
    return out.replace(QLatin1Char('%'), QLatin1String("%25")).replace(QLatin1Char('#'), QLatin1String("%23"));
}

void vqHttpFormFile(CvqHttpOnceRequest* request, const QByteArray& partHeaders, QIODevice* file)
{
    QByteArray random(24, '\0');
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
    const QByteArray boundary = "boundary_.oOo._" + random.toBase64();
    request->headers << qMakePair(QByteArray("Content-Type"), "multipart/form-data; boundary=\"" + boundary + '"')
                     << qMakePair(QByteArray("MIME-Version"), QByteArray("1.0"));
    request->bodyHead = "--" + boundary + "\r\n" + partHeaders + "\r\n";
    request->bodyDevice = file;
    request->bodyTail = "\r\n--" + boundary + "--\r\n";
}

CvqHttpOnceReply vqHttpOnce(const CvqHttpOnceRequest& r)
{
    CvqHttpOnceReply out;
    const bool hasBody = r.bodyDevice || !r.bodyHead.isEmpty() || !r.bodyTail.isEmpty();
    const qint64 deviceSize = r.bodyDevice ? qMax<qint64>(0, r.bodyDevice->size() - r.bodyDevice->pos()) : 0;
    const qint64 bodySize = hasBody ? r.bodyHead.size() + deviceSize + r.bodyTail.size() : -1;
    const QByteArray head = requestHead(r, bodySize);

    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    CvqAnswer answer(r.limit);
    QEventLoop loop;
    qint64 queued = 0, written = 0;  // body bytes handed to the socket; all bytes written
    bool wrote = false, ended = false, cancelled = false;
    const auto finish = [&](const QString& error) {
        if (ended)
            return;
        ended = true;
        out.error = error;
        socket.abort();
        loop.quit();
    };
    // Keeps a few pieces of the body queued, as the socket takes them.
    const auto pump = [&] {
        while (hasBody && queued < bodySize && socket.bytesToWrite() < 4 * kPiece) {
            QByteArray piece;
            const qint64 devEnd = r.bodyHead.size() + deviceSize;
            if (queued < r.bodyHead.size())
                piece = r.bodyHead.mid(int(queued));
            else if (queued < devEnd)
                piece = r.bodyDevice->read(qMin(kPiece, devEnd - queued));
            else
                piece = r.bodyTail.mid(int(queued - devEnd));
            if (piece.isEmpty())
                return finish(QStringLiteral("cannot read the body to send"));
            queued += socket.write(piece);
        }
    };
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] {
        wrote = true;
        socket.write(head);
        pump();
    });
    QObject::connect(&socket, &QTcpSocket::bytesWritten, &loop, [&](qint64 n) {
        written += n;
        if (r.progress && hasBody && written > head.size())
            r.progress(qMin(written - head.size(), bodySize), bodySize);
        pump();
    });
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] {
        const CvqAnswer::State s = answer.feed(socket.readAll());
        if (s == CvqAnswer::Done || s == CvqAnswer::Bad)
            finish(s == CvqAnswer::Done ? QString() : QStringLiteral("malformed or oversized answer"));
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, [&] {
        if (ended)
            return;
        const CvqAnswer::State s = answer.feed(socket.readAll());
        finish(s == CvqAnswer::Done || answer.close() == CvqAnswer::Done ? QString()
                                                                         : QStringLiteral("Connection closed"));
    });
    QObject::connect(&socket, &QAbstractSocket::errorOccurred, &loop, [&](QAbstractSocket::SocketError e) {
        if (ended || e == QAbstractSocket::RemoteHostClosedError)
            return;  // disconnected() follows, with the bytes that came
        // A reset after the whole answer (a server that stops reading an upload) leaves the answer standing.
        finish(answer.feed(socket.readAll()) == CvqAnswer::Done ? QString() : socket.errorString());
    });
    QTimer timer;
    timer.setSingleShot(true);
    const auto cancel = [&] {
        cancelled = !ended;
        finish(QStringLiteral("Operation canceled"));
    };
    QObject::connect(&timer, &QTimer::timeout, &loop, cancel);
    QTimer stopPoll;
    if (r.stop) {
        QObject::connect(&stopPoll, &QTimer::timeout, &loop, [&] {
            if (r.stop())
                cancel();
        });
        stopPoll.start(100);
    }
    timer.start(qMax(0, r.timeoutMs));
    socket.connectToHost(r.url.host(), quint16(r.url.port(80)));
    if (!ended)
        loop.exec();

    const bool done = out.error.isEmpty() && !answer.tooLarge && answer.statusSeen && answer.code >= 200;
    out.answered = done;
    out.tooLarge = answer.tooLarge;
    out.code = answer.code;
    if (done) {
        out.body = answer.body;
        if (out.code >= 400)
            out.error = reason(out.code);
    } else if (out.error.isEmpty()) {
        out.error = answer.tooLarge ? QStringLiteral("answer larger than %1 bytes").arg(r.limit)
                                    : QStringLiteral("malformed answer");
    }
    // Sent, then closed without a word: the printer may well have done it. Never sent again.
    if (wrote && !answer.statusSeen && !cancelled)
        qDebug().noquote() << "(vq)no answer to" << r.method << r.url.path()
                           << "- it may have been carried out; not sent again:" << out.error;
    return out;
}
