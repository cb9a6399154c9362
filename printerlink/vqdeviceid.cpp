#include "vqdeviceid.h"
#include "vqtext.h"
#include "host/vqhost.h"

#include <QDebug>

#include <cstring>

static const int kReplyBuffer = 1024;

// A standard USB printer sends its IEEE 1284 id with the id's length in front: two
// bytes, big-endian, counting themselves. Some firmware sends the bare text. So:
// - a reply of 1024 bytes or more filled the buffer and may be cut: rejected;
// - a reply whose first byte is below 0x20 starts with a length field (no text starts
//   with a control byte, and any text's first two bytes read as 0x2000 or more, more
//   than a reply can hold). A length from 2 to the reply's size fits: the two bytes
//   are dropped and the text runs to the first zero byte or the reply's end, not to
//   the length, so a length that leaves out its own two bytes or a zero after the id
//   loses nothing. A larger length announces more than arrived (a short transfer, a
//   driver that cut the id at its buffer): rejected like a full buffer. A length of
//   0 or 1 fits nothing: the reply is kept whole and reads empty (first byte zero);
// - anything else, and 0- and 1-byte replies, is text from the first byte.
QString vqIdTextFromReply(const QByteArray& reply, CvqIdReply* form)
{
    CvqIdReply f = CvqIdReply::Bare;
    int start = 0;
    if (reply.size() >= kReplyBuffer) {
        f = CvqIdReply::FullBuffer;
    } else if (reply.size() >= 2 && quint8(reply[0]) < 0x20) {
        const int length = quint8(reply[0]) << 8 | quint8(reply[1]);
        if (length > reply.size()) {
            f = CvqIdReply::CutShort;
        } else if (length >= 2) {
            f = CvqIdReply::Prefixed;
            start = 2;
        }
    }
    if (form)
        *form = f;
    if (f == CvqIdReply::FullBuffer || f == CvqIdReply::CutShort)
        return QString();
    return vqTextBeforeNul(reply.mid(start));
}

QString vqReadDeviceId(QString instanceId)
{
    QByteArray reply;
    switch (vqHost().vqReadIeee1284(instanceId, &reply)) {
    case CvqHost::ReadOpenFailed: qDebug() << "(vq)打印机未开机或未连接"; return QString();
    case CvqHost::ReadRequestFailed: qDebug() << "(vq)打印机关机或断开连接"; return QString();
    case CvqHost::ReadOk: break;
    }
    CvqIdReply form;
    const QString text = vqIdTextFromReply(reply, &form);
    if (form == CvqIdReply::FullBuffer)
        qDebug() << "(vq)junk>=1024";
    else if (form == CvqIdReply::CutShort)
        qDebug() << "(vq)id cut short";
    return text;
}

bool vqHasPrintJob(const char* queueName)
{
    // A queue name holds at most 199 bytes; a longer one names no queue.
    const size_t len = std::strlen(queueName);
    if (len >= 200)
        return false;
    return vqHost().vqQueueHasJobs(QByteArray(queueName, int(len))) == 1;
}
