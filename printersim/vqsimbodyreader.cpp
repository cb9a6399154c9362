#include "vqsimbodyreader.h"

#include "vqsimmsg.h"

#include <QtEndian>

bool CvqSimBodyReader::vqU8(quint8* v)
{
    if (vqRemaining() < 1)
        return false;
    *v = quint8(mBody.at(mPos++));
    return true;
}

bool CvqSimBodyReader::vqU32(quint32* v)
{
    if (vqRemaining() < 4)
        return false;
    *v = qFromLittleEndian<quint32>(mBody.constData() + mPos);
    mPos += 4;
    return true;
}

bool CvqSimBodyReader::vqBytes(int n, QByteArray* out)
{
    if (n < 0 || vqRemaining() < n)
        return false;
    *out = mBody.mid(mPos, n);
    mPos += n;
    return true;
}

bool CvqSimBodyReader::vqStr(QString* s)
{
    const int end = mBody.indexOf('\0', mPos);
    if (end < 0 || end - mPos > vqsim::kMaxStr)
        return false;
    *s = QString::fromUtf8(mBody.constData() + mPos, end - mPos);
    mPos = end + 1;
    return true;
}
