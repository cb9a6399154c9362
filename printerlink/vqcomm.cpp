#include "vqcomm.h"
#include "vqhttponce.h"
#include "vqtext.h"

#include <QDebug>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>

#include <memory>
#include <QUrl>

#include <climits>

// --- the interface ---

bool CvqComm::vqDelFileRetry(const QString& path)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt == 2)
            QThread::msleep(10);
        if (vqDelFile(path))
            return true;
    }
    return false;
}

bool CvqComm::vqExeQuiet(const QString& cmd, int timeoutSec)
{
    QString out;
    return vqExe(cmd, out, timeoutSec);
}

// --- over the serial link ---

namespace {
// Opens the link and sends one request; a non-zero device status is a failure,
// logged under the caller's name.
template <typename Request> bool vqSendChecked(CvqComLink& link, const char* caller, Request request)
{
    if (!link.open())
        return false;
    quint8 status = 0;
    QString err;
    if (!request(status, err))
        return false;
    if (status != 0) {
        qDebug() << caller << "err:" << int(status) << err;
        return false;
    }
    return true;
}
}  // namespace

CvqCommOfUsb::CvqCommOfUsb(const QString& portName) : mLink(portName) {}

CvqCommOfUsb::~CvqCommOfUsb() { mLink.close(); }

bool CvqCommOfUsb::vqGetFile(const QString& path, QByteArray& out)
{
    return vqSendChecked(mLink, "CvqCommOfUsb::vqGetFile()",
                         [&](quint8& status, QString& err) { return mLink.vqLinkGet(path, out, status, err); });
}

bool CvqCommOfUsb::vqHasFile(const QString& path, bool& exists)
{
    return vqSendChecked(mLink, "CvqCommOfUsb::vqHasFile()", [&](quint8& status, QString& err) {
        if (!mLink.vqLinkHas(path, status, err))
            return false;
        exists = status == 0;
        status = 0;  // a missing file is an answer, not a failure
        return true;
    });
}

bool CvqCommOfUsb::vqDelFile(const QString& path)
{
    return vqSendChecked(mLink, "CvqCommOfUsb::vqDelFile()",
                         [&](quint8& status, QString& err) { return mLink.vqLinkDel(path, status, err); });
}

bool CvqCommOfUsb::vqExe(const QString& cmd, QString& out, int timeoutSec)
{
    return vqSendChecked(mLink, "CvqCommOfUsb::vqExe()", [&](quint8& status, QString& err) {
        return mLink.vqLinkExe(cmd, out, status, err, timeoutSec);
    });
}

bool CvqCommOfUsb::vqExeAlong(const QString& cmd)
{
    // Logged under vqExe(), as it always was.
    return vqSendChecked(mLink, "CvqCommOfUsb::vqExe()",
                         [&](quint8& status, QString& err) { return mLink.vqLinkExeAlong(cmd, status, err); });
}

// --- over HTTP ---

CvqCommOfHttp::CvqCommOfHttp(const QString& host) : mHost(host) {}

QString CvqCommOfHttp::vqEncodeCommand(const QString& cmd)
{
    if (cmd.isEmpty())
        return QString();
    QString s = cmd.startsWith(QLatin1Char('/')) ? cmd : QLatin1Char('/') + cmd;
    // Program path, then its arguments as the items of a query.
    const int first = s.indexOf(QLatin1Char(' '));
    if (first >= 0) {
        s[first] = QLatin1Char('?');
        for (int i = first + 1; i < s.size(); ++i) {
            if (s.at(i) == QLatin1Char(' '))
                s[i] = QLatin1Char('&');
        }
    }
    return s;
}

QString CvqCommOfHttp::vqBodyText(const QByteArray& body) { return vqTextBeforeNul(body).trimmed(); }

void vqHttpIdentityOnly(QNetworkRequest* request)
{
    // Without it Qt asks for gzip and inflates each read in one go, before any
    // bound of ours sees the size: a small body could fill the memory.
    request->setRawHeader("Accept-Encoding", "identity");
}

CvqFetchResult vqHttpFetch(const QUrl& url, int timeoutMs, qint64 limit, QByteArray& out, QNetworkAccessManager* nam)
{
    out.clear();
    std::unique_ptr<QNetworkAccessManager> own;
    if (!nam) {
        own = std::make_unique<QNetworkAccessManager>();
        own->setProxy(QNetworkProxy::NoProxy);
        nam = own.get();
    }
    QNetworkRequest request(url);
    // A device must not send us elsewhere: a redirect is an answer like any other non-2xx one.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    vqHttpIdentityOnly(&request);
    QNetworkReply* reply = nam->get(request);

    bool oversized = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, reply, &QNetworkReply::abort);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    // A body without end must not fill the memory: the network thread buffers
    // little more than the bound, and the bytes we hold are counted as they come.
    reply->setReadBufferSize(qMin(limit, qint64(1024 * 1024)) + 64 * 1024);
    auto giveUp = [&](qint64 held, qint64 total) {
        if (!oversized && (held > limit || total > limit)) {
            oversized = true;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply,
                     [&] { giveUp(0, reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()); });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        if (oversized)
            return;
        out += reply->read(limit + 1 - out.size());
        giveUp(out.size(), 0);
    });
    timer.start(qMax(0, timeoutMs));
    if (!reply->isFinished())
        loop.exec();
    timer.stop();

    const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!oversized && reply->isFinished() && reply->bytesAvailable() > 0) {
        out += reply->read(limit + 1 - out.size());
        giveUp(out.size(), 0);
    }
    const bool ok =
        reply->isFinished() && reply->error() == QNetworkReply::NoError && !oversized && code >= 200 && code < 300;
    if (!ok)
        out.clear();
    delete reply;
    if (oversized)
        return CvqFetchResult::TooLarge;
    return ok ? CvqFetchResult::Ok : CvqFetchResult::Failed;
}

bool CvqCommOfHttp::vqHttpGet(const QString& path, int timeoutSec, QByteArray& out)
{
    return vqHttpGetWithin(path, timeoutSec, mBodyLimit, out);
}

namespace {
int timeoutMs(int timeoutSec)
{
    return timeoutSec <= 0 ? 0 : (timeoutSec >= INT_MAX / 1000 ? INT_MAX : timeoutSec * 1000);
}
}  // namespace

QUrl CvqCommOfHttp::vqUrl(const QString& path) const
{
    // Plain concatenation: a "%" in the host or path must not be taken for a placeholder.
    return QUrl(QStringLiteral("http://") + mHost + vqHttpEscapePath(path));
}

bool CvqCommOfHttp::vqHttpGetWithin(const QString& path, int timeoutSec, qint64 limit, QByteArray& out)
{
    const CvqFetchResult r = vqHttpFetch(vqUrl(path), timeoutMs(timeoutSec), limit, out);
    if (r == CvqFetchResult::TooLarge)
        qDebug() << "(vq)HTTP answer larger than" << limit << "bytes, given up:" << path;
    return r == CvqFetchResult::Ok;
}

bool CvqCommOfHttp::vqHttpSendWithin(const QString& path, int timeoutSec, qint64 limit, QByteArray& out)
{
    CvqHttpOnceRequest request;
    request.url = vqUrl(path);
    request.timeoutMs = timeoutMs(timeoutSec);
    request.limit = limit;
    const CvqHttpOnceReply reply = vqHttpOnce(request);
    if (reply.tooLarge)
        qDebug() << "(vq)HTTP answer larger than" << limit << "bytes, given up:" << path;
    out = reply.ok() ? reply.body : QByteArray();
    return reply.ok();
}

bool CvqCommOfHttp::vqGetFile(const QString& path, QByteArray& out)
{
    return vqHttpGet(QStringLiteral("/vqget") + path, vqComTimeoutSec, out);
}

bool CvqCommOfHttp::vqHasFile(const QString& path, bool& exists)
{
    exists = false;
    QByteArray body;
    if (!vqHttpGet(QStringLiteral("/vqhas") + path, vqComTimeoutSec, body))
        return false;
    const QString text = vqBodyText(body);
    if (text == QLatin1String("yes")) {
        exists = true;
        return true;
    }
    return text == QLatin1String("no");
}

bool CvqCommOfHttp::vqDelFile(const QString& path)
{
    QByteArray body;
    return vqHttpSendWithin(QStringLiteral("/vqrm") + path, vqComTimeoutSec, mBodyLimit, body)
        && vqBodyText(body) == QLatin1String("ok");
}

bool CvqCommOfHttp::vqExe(const QString& cmd, QString& out, int timeoutSec)
{
    out.clear();
    const QString encoded = vqEncodeCommand(cmd);
    if (encoded.isEmpty())
        return false;
    QByteArray body;
    if (!vqHttpSendWithin(QStringLiteral("/vqexe") + encoded, timeoutSec, qMin(mBodyLimit, vqComExeOutputLimit), body))
        return false;
    out = vqBodyText(body);
    return true;
}

bool CvqCommOfHttp::vqExeAlong(const QString& cmd)
{
    const QString encoded = vqEncodeCommand(cmd);
    if (encoded.isEmpty())
        return false;
    QByteArray body;
    return vqHttpSendWithin(QStringLiteral("/vqexea") + encoded, vqComTimeoutSec, mBodyLimit, body)
        && vqBodyText(body) == QLatin1String("ok");
}
