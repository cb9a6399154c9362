#pragma once
// Writes the fields of a message body (little-endian numbers, 0-terminated
// UTF-8 strings).

#include "vqsimmsg.h"

#include <QByteArray>
#include <QList>
#include <QString>

class CvqSimBodyWriter
{
public:
    CvqSimBodyWriter& vqU8(quint8 v) { return vqBytes(QByteArray(1, char(v))); }
    CvqSimBodyWriter& vqU32(quint32 v);
    // A string field holds at most 1023 bytes: a longer text is cut rather
    // than sent as one the PC must reject.
    CvqSimBodyWriter& vqStr(const QString& s) { return vqBytes(s.toUtf8().left(vqsim::kMaxStr).split('\0')[0] + '\0'); }
    CvqSimBodyWriter& vqBytes(const QByteArray& b)
    {
        body += b;
        return *this;
    }
    QByteArray body;
};
