#include "vqcups.h"
#include "../vqlog.h"

#include <QDeadlineTimer>
#include <QUrl>

#include <cups/cups.h>

#include <cstring>

namespace {

// The subscription outlives a monitor that ends without cancelling it only this long;
// when it lapses the next call makes a new one.
const int kLeaseSeconds = 600;
// After a refusal or with no scheduler, how long the queues are read every call
// before the next try.
const qint64 kRetryMs = 60000;
const char* const kSchedulerUri = "ipp://localhost/";

ipp_t* newRequest(ipp_op_t op)
{
    ipp_t* request = ippNewRequest(op);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, kSchedulerUri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

// A successful answer, else null.
ipp_t* ask(ipp_t* request)
{
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (response && ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) {
        ippDelete(response);
        return nullptr;
    }
    return response;
}

int subscribe()
{
    ipp_t* request = newRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
    static const char* const kEvents[] = {"printer-added", "printer-deleted", "printer-modified"};
    ippAddStrings(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", 3, nullptr, kEvents);
    ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr, "ippget");
    ippAddInteger(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", kLeaseSeconds);
    ipp_t* response = ask(request);
    ipp_attribute_t* id = ippFindAttribute(response, "notify-subscription-id", IPP_TAG_INTEGER);
    const int subscription = id ? ippGetInteger(id, 0) : 0;
    ippDelete(response);
    return subscription;
}

// The number of events since *next (moving it past them), or -1 when the
// subscription is gone (lapsed, or the scheduler restarted or went away).
int pullEvents(int subscription, int* next)
{
    ipp_t* request = newRequest(IPP_OP_GET_NOTIFICATIONS);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids", subscription);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers", *next);
    ipp_t* response = ask(request);
    if (!response)
        return -1;
    int events = 0;
    for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char* name = ippGetName(a);
        if (ippGetGroupTag(a) == IPP_TAG_EVENT_NOTIFICATION && name && !std::strcmp(name, "notify-sequence-number")) {
            ++events;
            *next = qMax(*next, ippGetInteger(a, 0) + 1);
        }
    }
    ippDelete(response);
    return events;
}

}  // namespace

bool CvqCupsWatch::vqChanged()
{
    if (mSubscription > 0) {
        const int events = pullEvents(mSubscription, &mNextSequence);
        if (events >= 0)
            return events > 0;
        mSubscription = 0;
    }
    const qint64 now = QDeadlineTimer::current().deadline();
    if (now < mRetryAtMs)
        return true;
    // Made before the caller reads the queues, so no change can fall in between.
    mSubscription = subscribe();
    mNextSequence = 1;
    if (mSubscription <= 0) {
        mRetryAtMs = now + kRetryMs;
        if (!mSaid)
            vqWriteLog(QStringLiteral("CUPS: no printer event subscription (%1): the queues are read every cycle")
                           .arg(QString::fromUtf8(cupsLastErrorString())));
        mSaid = true;
    }
    return true;
}

namespace vqcups {

bool queues(QList<CvqCupsQueue>* out)
{
    out->clear();
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    static const char* const kWanted[] = {"printer-name", "device-uri"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, kWanted);
    // The default connection is per thread and stays open between cycles.
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (!response)
        return false;
    CvqCupsQueue q;
    auto flush = [&]() {
        if (!q.name.isEmpty() && !q.deviceUri.isEmpty())
            out->append(q);
        q = CvqCupsQueue();
    };
    // Each printer is one group; groups are parted by attributes without a name.
    for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char* name = ippGetName(a);
        if (!name || ippGetGroupTag(a) != IPP_TAG_PRINTER) {
            flush();
            continue;
        }
        if (!std::strcmp(name, "printer-name") && ippGetValueTag(a) == IPP_TAG_NAME)
            q.name = QString::fromUtf8(ippGetString(a, 0, nullptr));
        else if (!std::strcmp(name, "device-uri") && ippGetValueTag(a) == IPP_TAG_URI)
            q.deviceUri = QString::fromUtf8(ippGetString(a, 0, nullptr));
    }
    flush();
    ippDelete(response);
    return true;
}

int hasActiveJobs(const QByteArray& queueName)
{
    // A name that could step out of /printers/ names no queue.
    if (queueName.isEmpty() || queueName.contains('/') || queueName.contains('#') || queueName.contains('?'))
        return -1;
    for (char c : queueName)
        if (uchar(c) < 0x20 || c == 0x7f)
            return -1;
    cups_job_t* jobs = nullptr;
    // Finished jobs are kept for the history: only the active ones count.
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queueName.constData(), 0, CUPS_WHICHJOBS_ACTIVE);
    cupsFreeJobs(qMax(n, 0), jobs);
    return n < 0 ? -1 : n > 0 ? 1 : 0;
}

QString queuePageUrl(const QString& queueName)
{
    QString host = QString::fromUtf8(cupsServer());
    // A local socket's scheduler serves its pages on the loopback interface.
    if (host.startsWith('/'))
        host = QStringLiteral("localhost");
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host);
    url.setPort(ippPort());
    url.setPath(QStringLiteral("/printers/") + queueName);
    return url.toString(QUrl::FullyEncoded);
}

bool parseUsbUri(const QString& deviceUri, CvqUsbQueueTarget* target)
{
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    const QByteArray uri = deviceUri.toUtf8();
    if (httpSeparateURI(HTTP_URI_CODING_MOST, uri.constData(), scheme, sizeof scheme, user, sizeof user, host,
                        sizeof host, &port, resource, sizeof resource)
            < HTTP_URI_STATUS_OK
        || std::strcmp(scheme, "usb") != 0 || !*host)
        return false;
    *target = CvqUsbQueueTarget();
    const char* query = std::strchr(resource, '?');
    if (!query)
        return true;
    // Split before decoding: a serial number may hold an encoded '&' or '='.
    for (const QByteArray& pair : QByteArray(query + 1).split('&')) {
        const int eq = pair.indexOf('=');
        const QByteArray key = QByteArray::fromPercentEncoding(pair.left(eq));
        const QByteArray value = eq < 0 ? QByteArray() : QByteArray::fromPercentEncoding(pair.mid(eq + 1));
        if (key == "serial") {
            target->serial = QString::fromUtf8(value);
        } else if (key == "interface") {
            bool ok = false;
            target->interfaceNumber = value.toInt(&ok);
            if (!ok || target->interfaceNumber < 0 || target->interfaceNumber > 255)
                return false;
        }
    }
    return true;
}

}  // namespace vqcups
