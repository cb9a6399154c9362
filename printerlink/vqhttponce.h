#pragma once
// Requests that change the printer (a delete, a command, a firmware upload) go
// out at most once. Qt's network manager sends a request again, on a new
// connection, when the old one closes before the answer's first byte: a
// command could then run twice. This client sends the bytes the manager would
// send, on a connection of its own, and never again; a close before the
// status line is a failure.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>

class QIODevice;

struct CvqHttpOnceRequest
{
    QByteArray method = "GET";
    QUrl url;
    // After Host and "Accept-Encoding: identity", before the manager's own Content-Length, Connection,
    // Accept-Language and User-Agent.
    QList<QPair<QByteArray, QByteArray>> headers;
    // A body: head, the device's remaining bytes (streamed, not held), then tail.
    QByteArray bodyHead, bodyTail;
    QIODevice* bodyDevice = nullptr;
    int timeoutMs = 5000;
    qint64 limit = qint64(64) * 1024;  // of the answer's body
    std::function<void(qint64 sent, qint64 total)> progress;
    std::function<bool()> stop;  // polled every 100 ms; true cancels
};

struct CvqHttpOnceReply
{
    bool answered = false;  // a whole answer came; code holds its status
    bool tooLarge = false;
    int code = 0;
    QByteArray body;
    QString error;  // empty for a 2xx or 3xx answer; else what went wrong, as Qt words it where it has words
    bool ok() const { return answered && code >= 200 && code < 300; }
};

CvqHttpOnceReply vqHttpOnce(const CvqHttpOnceRequest& request);

// A multipart form body of one file part, as QHttpMultiPart frames it:
// fills the content type headers and the body's head and tail around the file.
void vqHttpFormFile(CvqHttpOnceRequest* request, const QByteArray& partHeaders, QIODevice* file);

// "%" and "#" of a path or command as escapes: a "#" would start a fragment
// that never leaves the PC, and a "%" followed by two hex digits would reach
// the printer as another character.
QString vqHttpEscapePath(const QString& path);
