#include "vqsimframe.h"

#include <QtEndian>

static const QByteArray kHead = QByteArray::fromHex("19731019");
static const QByteArray kTail = QByteArray::fromHex("19790402");

QByteArray vqSimEncodeRaw(quint32 mainLen, const CvqSimMsg& m, const QByteArray& tail)
{
    const char fields[4] = {char(m.type), char(m.ver), char(m.id), char(m.flags)};
    return kHead + CvqSimBodyWriter().vqU32(mainLen).body + QByteArray(fields, 4) + m.body + tail;
}

QByteArray vqSimEncodeFrame(const CvqSimMsg& m) { return vqSimEncodeRaw(quint32(m.body.size() + 4), m, kTail); }

bool CvqSimFrameReader::vqNext(CvqSimMsg* out)
{
    for (;;) {
        const int at = mBuf.indexOf(kHead);
        // Keep a head that may be split across reads.
        mBuf.remove(0, at < 0 ? qMax(0, mBuf.size() - 3) : at);
        if (at < 0 || mBuf.size() < 8)
            return false;
        const quint32 len = qFromLittleEndian<quint32>(mBuf.constData() + 4);
        const int total = int(len) + 12;
        if (len >= 4 && len <= vqsim::kMaxMainLen && mBuf.size() < total)
            return false;
        if (len < 4 || len > vqsim::kMaxMainLen || mBuf.mid(total - 4, 4) != kTail) {
            mBuf.remove(0, 4);
            continue;
        }
        *out = {quint8(mBuf.at(8)), quint8(mBuf.at(9)), quint8(mBuf.at(10)), quint8(mBuf.at(11)),
                mBuf.mid(12, int(len) - 4)};
        mBuf.remove(0, total);
        return true;
    }
}
