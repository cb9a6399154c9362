#pragma once
// Print queues and jobs from the CUPS scheduler named by the environment
// (CUPS_SERVER, client.conf, else the local socket).

#include <QList>
#include <QString>
#include <QtGlobal>

struct CvqCupsQueue
{
    QString name;
    QString deviceUri;
};

// The device a usb queue prints to, decoded from usb://MAKE/MODEL?serial=S[&interface=N].
struct CvqUsbQueueTarget
{
    QString serial;  // empty when the URI names none
    int interfaceNumber = 0;
};

// Whether the scheduler's queues may have changed, through a pull subscription to
// its printer events. Not thread-safe: the host calls it under its own lock.
class CvqCupsWatch
{
public:
    // true when the queues are to be read again: an event arrived, the subscription
    // was (re)made, or there is none (no scheduler, or it refused one).
    bool vqChanged();
    bool vqSubscribed() const { return mSubscription > 0; }

private:
    int mSubscription = 0;
    int mNextSequence = 1;
    qint64 mRetryAtMs = 0;
    bool mSaid = false;
};

namespace vqcups {

// Local queues with their device URIs, in the scheduler's order; false when no
// scheduler answers. One request asking for just these two attributes.
bool queues(QList<CvqCupsQueue>* out);
// 1 when the queue holds an unfinished job (held ones included), 0 when not,
// -1 when there is no such queue or no scheduler answers.
int hasActiveJobs(const QByteArray& queueName);
// The queue's page on the scheduler's web interface.
QString queuePageUrl(const QString& queueName);
// false when the URI is no usb device URI.
bool parseUsbUri(const QString& deviceUri, CvqUsbQueueTarget* target);

}  // namespace vqcups
