#pragma once
// Print queues and jobs from the CUPS scheduler named by the environment
// (CUPS_SERVER, client.conf, else the local socket).

#include <QList>
#include <QString>

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
