#pragma once
// The five remote file and command operations behind one interface, over the
// serial link (CvqCommOfUsb) or plain HTTP GET requests (CvqCommOfHttp).
//
// The interface has no virtual destructor: implementations are held by value
// by the code that uses them and never deleted through it.

#include "vqcomlink.h"

#include <QByteArray>
#include <QString>

class CvqComm
{
public:
    // The file's bytes into out.
    virtual bool vqGetFile(const QString& path, QByteArray& out) = 0;
    // True when the question was answered; exists tells the answer.
    virtual bool vqHasFile(const QString& path, bool& exists) = 0;
    virtual bool vqDelFile(const QString& path) = 0;
    // Runs a command and returns its output text, waiting up to timeoutSec.
    virtual bool vqExe(const QString& cmd, QString& out, int timeoutSec) = 0;
    // Starts a command without waiting for it.
    virtual bool vqExeAlong(const QString& cmd) = 0;

    // vqDelFile up to three times, 10 ms before the third.
    bool vqDelFileRetry(const QString& path);
    // vqExe with the output discarded.
    bool vqExeQuiet(const QString& cmd, int timeoutSec);

protected:
    CvqComm() = default;
    CvqComm(const CvqComm&) = default;
    CvqComm& operator=(const CvqComm&) = default;
    ~CvqComm() = default;
};

// Over the printer's serial port. Each operation opens the link first; a
// status other than 0 is logged with the printer's text and fails the call
// (vqHasFile: the file is missing).
class CvqCommOfUsb final : public CvqComm
{
public:
    explicit CvqCommOfUsb(const QString& portName);
    ~CvqCommOfUsb();

    bool vqGetFile(const QString& path, QByteArray& out) override;
    bool vqHasFile(const QString& path, bool& exists) override;
    bool vqDelFile(const QString& path) override;
    bool vqExe(const QString& cmd, QString& out, int timeoutSec) override;
    bool vqExeAlong(const QString& cmd) override;

    CvqComLink& vqLink() { return mLink; }

private:
    CvqComLink mLink;
};

class QNetworkAccessManager;
class QNetworkRequest;
class QUrl;

// Asks for the body as it is stored (no compression) on a request of ours.
void vqHttpIdentityOnly(QNetworkRequest* request);

enum class CvqFetchResult { Ok, Failed, TooLarge };
// One GET without proxy, redirects never followed, on the calling thread's own
// event loop. Ok only for a 2xx answer within timeoutMs whose body stays within
// limit bytes; out holds the body then, else it is empty. A caller asking many
// times hands in its own manager (of this thread, without proxy): one per request
// costs a thread each.
CvqFetchResult vqHttpFetch(const QUrl& url, int timeoutMs, qint64 limit, QByteArray& out,
                           QNetworkAccessManager* nam = nullptr);

// Default bound of one HTTP answer body; a larger one fails the request.
constexpr qint64 vqHttpDefaultBodyLimit = qint64(256) * 1024 * 1024;

// Over the printer's web server: GET http://<host>/vqget<path>, /vqhas, /vqrm,
// /vqexe<command>, /vqexea<command>. Works on any thread: each request runs
// its own event loop. The reads go through Qt's manager; a delete or a command
// goes out at most once (vqhttponce.h). A "%" or "#" in a path or command is
// sent escaped.
class CvqCommOfHttp final : public CvqComm
{
public:
    // host: an address, optionally ":" and a port.
    explicit CvqCommOfHttp(const QString& host);

    bool vqGetFile(const QString& path, QByteArray& out) override;
    // "yes" / "no" (trimmed, case-sensitive); anything else fails with exists = false.
    bool vqHasFile(const QString& path, bool& exists) override;
    bool vqDelFile(const QString& path) override;  // body "ok"
    bool vqExe(const QString& cmd, QString& out, int timeoutSec) override;
    bool vqExeAlong(const QString& cmd) override;  // body "ok"

    // One GET of http://<host><path>; aborted after timeoutSec. On any error
    // (network, HTTP status, abort, body over the limit) out is cleared and
    // the result is false.
    bool vqHttpGet(const QString& path, int timeoutSec, QByteArray& out);
    bool vqHttpGetWithin(const QString& path, int timeoutSec, qint64 limit, QByteArray& out);
    // The same for a request that changes the printer: never sent twice.
    bool vqHttpSendWithin(const QString& path, int timeoutSec, qint64 limit, QByteArray& out);
    QUrl vqUrl(const QString& path) const;

    const QString& vqHostText() const { return mHost; }
    qint64 vqBodyLimit() const { return mBodyLimit; }
    void vqSetBodyLimit(qint64 bytes) { mBodyLimit = bytes; }

    // "ls -l /tmp" -> "/ls?-l&/tmp"; empty for an empty command.
    static QString vqEncodeCommand(const QString& cmd);
    // A text body: UTF-8 up to the first 0 byte, trimmed.
    static QString vqBodyText(const QByteArray& body);

private:
    QString mHost;
    qint64 mBodyLimit = vqHttpDefaultBodyLimit;
};
