#include "vqsimframe.h"

#include <QtEndian>

namespace vqsim {
const QByteArray kHead = QByteArray::fromHex("19731019");
const QByteArray kTail = QByteArray::fromHex("19790402");
}

using namespace vqsim;

QByteArray vqSimEncodeRaw(quint32 mainLen, const CvqSimMsg& m, const QByteArray& tail)
{
    QByteArray f;
    f.reserve(m.body.size() + 16);
    f += kHead;
    char len[4];
    qToLittleEndian<quint32>(mainLen, len);
    f.append(len, 4);
    f += char(m.type);
    f += char(m.ver);
    f += char(m.id);
    f += char(m.flags);
    f += m.body;
    f += tail;
    return f;
}

QByteArray vqSimEncodeFrame(const CvqSimMsg& m) { return vqSimEncodeRaw(quint32(m.body.size() + 4), m, kTail); }

void CvqSimFrameReader::drop(int n)
{
    mBuf.remove(0, n);
    mSkipped += n;
}

bool CvqSimFrameReader::vqNext(CvqSimMsg* out)
{
    for (;;) {
        const int at = mBuf.indexOf(kHead);
        if (at < 0) {
            // Keep a head that may be split across reads.
            if (mBuf.size() > 3)
                drop(mBuf.size() - 3);
            return false;
        }
        if (at > 0)
            drop(at);
        if (mBuf.size() < 8)
            return false;
        const quint32 len = qFromLittleEndian<quint32>(mBuf.constData() + 4);
        if (len < 4 || len > kMaxMainLen) {
            drop(4);
            continue;
        }
        const int total = int(len) + 12;
        if (mBuf.size() < total)
            return false;
        if (mBuf.mid(total - 4, 4) != kTail) {
            drop(4);
            continue;
        }
        out->type = quint8(mBuf.at(8));
        out->ver = quint8(mBuf.at(9));
        out->id = quint8(mBuf.at(10));
        out->flags = quint8(mBuf.at(11));
        out->body = mBuf.mid(12, int(len) - 4);
        mBuf.remove(0, total);
        return true;
    }
}

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

bool CvqSimBodyReader::vqStr(QString* s)
{
    const int end = mBody.indexOf('\0', mPos);
    if (end < 0 || end - mPos > kMaxStr)
        return false;
    *s = QString::fromUtf8(mBody.constData() + mPos, end - mPos);
    mPos = end + 1;
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

CvqSimBodyWriter& CvqSimBodyWriter::vqU8(quint8 v)
{
    body += char(v);
    return *this;
}

CvqSimBodyWriter& CvqSimBodyWriter::vqU32(quint32 v)
{
    char b[4];
    qToLittleEndian<quint32>(v, b);
    body.append(b, 4);
    return *this;
}

CvqSimBodyWriter& CvqSimBodyWriter::vqStr(const QString& s)
{
    // A string field holds at most 1023 bytes; cut longer texts rather than
    // send one the PC must reject.
    QByteArray u = s.toUtf8();
    if (u.size() > kMaxStr)
        u.truncate(kMaxStr);
    const int nul = u.indexOf('\0');
    if (nul >= 0)
        u.truncate(nul);
    body += u;
    body += '\0';
    return *this;
}

CvqSimBodyWriter& CvqSimBodyWriter::vqBytes(const QByteArray& b)
{
    body += b;
    return *this;
}
