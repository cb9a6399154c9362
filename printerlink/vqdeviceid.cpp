#include "vqdeviceid.h"
#include "vqtext.h"
#include "host/vqhost.h"

#include <QDebug>

#include <cstring>

static const int kReplyBuffer = 1024;

QString vqIdTextFromReply(const QByteArray& reply)
{
    if (reply.size() >= kReplyBuffer)
        return QString();
    return vqTextBeforeNul(reply);
}

QString vqReadDeviceId(QString instanceId)
{
    QByteArray reply;
    switch (vqHost().vqReadIeee1284(instanceId, &reply)) {
    case CvqHost::ReadOpenFailed: qDebug() << "(vq)打印机未开机或未连接"; return QString();
    case CvqHost::ReadRequestFailed: qDebug() << "(vq)打印机关机或断开连接"; return QString();
    case CvqHost::ReadOk: break;
    }
    if (reply.size() >= kReplyBuffer) {
        qDebug() << "(vq)junk>=1024";
        return QString();
    }
    return vqIdTextFromReply(reply);
}

bool vqHasPrintJob(const char* queueName)
{
    // A queue name holds at most 199 bytes; a longer one names no queue.
    const size_t len = std::strlen(queueName);
    if (len >= 200)
        return false;
    return vqHost().vqQueueHasJobs(QByteArray(queueName, int(len))) == 1;
}
