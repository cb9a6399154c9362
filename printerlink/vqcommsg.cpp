#include "vqcommsg.h"

#include <cstring>

namespace {
const char kHead[4] = {'\x19', '\x73', '\x10', '\x19'};
const char kTail[4] = {'\x19', '\x79', '\x04', '\x02'};

inline quint32 vqLoadU32(const char* p)
{
    const uchar* u = reinterpret_cast<const uchar*>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

inline void vqStoreU32(char* p, quint32 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char((v >> 8) & 0xFF);
    p[2] = char((v >> 16) & 0xFF);
    p[3] = char((v >> 24) & 0xFF);
}
}  // namespace

const QByteArray& vqComHead()
{
    static const QByteArray head = QByteArray::fromRawData(kHead, 4);
    return head;
}

const QByteArray& vqComTail()
{
    static const QByteArray tail = QByteArray::fromRawData(kTail, 4);
    return tail;
}

CvqComMsg::CvqComMsg() : vqMsgHead(vqComHead()), vqMsgTail(vqComTail()) {}

CvqComMsg::CvqComMsg(quint8 type) : CvqComMsg() { vqMsgType = type; }

void CvqComMsg::vqSetResponse(bool on) { vqMsgFlags = on ? quint8(vqMsgFlags | 1) : quint8(vqMsgFlags & ~1); }

bool CvqComMsg::vqIsConsistent() const { return vqMainLen >= 4 && quint64(vqMsgBody.size()) == quint64(vqMainLen) - 4; }

void CvqComMsg::vqAppendU8(quint8 v)
{
    vqMsgBody.append(char(v));
    vqMainLen += 1;
}

void CvqComMsg::vqAppendU32(quint32 v)
{
    char b[4];
    vqStoreU32(b, v);
    vqMsgBody.append(b, 4);
    vqMainLen += 4;
}

void CvqComMsg::vqAppendStr(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    vqMsgBody.reserve(vqMsgBody.size() + utf8.size() + 1);
    vqMsgBody.append(utf8);
    vqMsgBody.append('\0');
    vqMainLen += quint32(utf8.size()) + 1;
}

void CvqComMsg::vqAppendBytes(const QByteArray& bytes)
{
    vqMsgBody.append(bytes);
    vqMainLen += quint32(bytes.size());
}

void CvqComMsg::vqAppendBytes(const char* data, int size)
{
    if (size <= 0)
        return;
    vqMsgBody.append(data, size);
    vqMainLen += quint32(size);
}

void CvqComMsg::vqAppendPattern(int n)
{
    if (n <= 0)
        return;
    const int at = vqMsgBody.size();
    vqMsgBody.resize(at + n);
    char* p = vqMsgBody.data() + at;
    for (int i = 0; i < n; ++i)
        p[i] = char(i & 0xFF);
    vqMainLen += quint32(n);
}

int CvqComMsg::vqUnread() const
{
    if (vqReadPos < 0 || vqReadPos >= vqMsgBody.size())
        return 0;
    return vqMsgBody.size() - vqReadPos;
}

bool CvqComMsg::vqReadU8(quint8& out)
{
    if (vqUnread() < 1)
        return false;
    out = quint8(vqMsgBody.at(vqReadPos));
    vqReadPos += 1;
    return true;
}

bool CvqComMsg::vqReadU32(quint32& out)
{
    if (vqUnread() < 4)
        return false;
    out = vqLoadU32(vqMsgBody.constData() + vqReadPos);
    vqReadPos += 4;
    return true;
}

bool CvqComMsg::vqReadBytes(quint32 n, QByteArray& out)
{
    // n comes from the peer: compare unsigned before any int arithmetic.
    if (quint64(n) > quint64(vqUnread()))
        return false;
    out.append(vqMsgBody.constData() + vqReadPos, int(n));
    vqReadPos += int(n);
    return true;
}

bool CvqComMsg::vqReadStr(QString& out)
{
    const int avail = vqUnread();
    const int span = qMin(avail, vqComMaxStrLen + 1);
    const char* p = vqMsgBody.constData() + vqReadPos;
    const void* zero = span > 0 ? std::memchr(p, 0, size_t(span)) : nullptr;
    if (!zero)
        return false;
    const int len = int(static_cast<const char*>(zero) - p);
    out = QString::fromUtf8(p, len);
    vqReadPos += len + 1;
    return true;
}

void CvqComMsg::vqAppendFrame(QByteArray& out) const
{
    const int body = vqMsgBody.size();
    const int at = out.size();
    out.resize(at + vqComMinFrame + body);
    char* p = out.data() + at;
    std::memcpy(p, kHead, 4);
    vqStoreU32(p + 4, vqMainLen);
    p[8] = char(vqMsgType);
    p[9] = char(vqMsgTypeVer);
    p[10] = char(vqMsgId);
    p[11] = char(vqMsgFlags);
    if (body)
        std::memcpy(p + 12, vqMsgBody.constData(), size_t(body));
    std::memcpy(p + 12 + body, kTail, 4);
}

QByteArray CvqComMsg::vqFrame() const
{
    QByteArray out;
    vqAppendFrame(out);
    return out;
}

QDebug operator<<(QDebug dbg, const CvqComMsg& m)
{
    QDebugStateSaver saver(dbg);
    dbg.nospace() << "CvqComMsg(vqMainLen=" << m.vqMainLen << ",vqMsgType=" << uint(m.vqMsgType)
                  << ",vqMsgTypeVer=" << uint(m.vqMsgTypeVer) << ",vqMsgId=" << uint(m.vqMsgId)
                  << ",vqMsgFlags=" << uint(m.vqMsgFlags) << ",vqMsgBody=";
    dbg.quote() << m.vqMsgBody;
    dbg << ",)";
    return dbg;
}

// --- frame reader ---

void CvqComFrameReader::vqFeed(const QByteArray& bytes)
{
    if (mPos == mBuf.size() && !bytes.isEmpty()) {
        // Nothing pending: take the array as it is (shared, no copy).
        mBuf = bytes;
        mPos = 0;
        return;
    }
    vqFeed(bytes.constData(), bytes.size());
}

void CvqComFrameReader::vqFeed(const char* data, int size)
{
    if (size <= 0)
        return;
    vqCompact();
    mBuf.append(data, size);
}

void CvqComFrameReader::vqClear()
{
    mBuf.clear();
    mPos = 0;
}

void CvqComFrameReader::vqCompact()
{
    if (mPos == 0)
        return;
    if (mPos >= mBuf.size())
        mBuf.clear();
    else
        mBuf.remove(0, mPos);
    mPos = 0;
}

bool CvqComFrameReader::vqNext(CvqComMsg& msg)
{
    const char* const base = mBuf.constData();
    const int end = mBuf.size();
    for (;;) {
        const int avail = end - mPos;
        if (avail < vqComMinFrame) {
            // Too short to judge; but noise without any 0x19 need not be kept.
            if (avail > 0 && !std::memchr(base + mPos, 0x19, size_t(avail)))
                mPos = end;
            return false;
        }
        // Find the head: memchr for its first byte, then compare the rest.
        const char* p = base + mPos;
        const char* const stop = base + end;
        const char* head = nullptr;
        while (p + 4 <= stop) {
            const void* hit = std::memchr(p, 0x19, size_t(stop - p - 3));
            if (!hit)
                break;
            const char* h = static_cast<const char*>(hit);
            if (std::memcmp(h, kHead, 4) == 0) {
                head = h;
                break;
            }
            p = h + 1;
        }
        if (!head) {
            // A head may be split across reads: keep only the last 3 bytes.
            mPos = end - 3;
            return false;
        }
        mPos = int(head - base);
        if (end - mPos < vqComMinFrame)
            return false;
        const quint32 mainLen = vqLoadU32(head + 4);
        if (mainLen < 4 || mainLen > vqComMaxMainLen) {
            mPos += 4;  // a false head
            continue;
        }
        const int frameLen = vqComFrameExtra + int(mainLen);
        if (end - mPos < frameLen)
            return false;
        if (std::memcmp(head + 8 + mainLen, kTail, 4) != 0) {
            mPos += 4;  // bad tail: the head was false, look further inside
            continue;
        }
        msg.vqMainLen = mainLen;
        msg.vqMsgType = quint8(head[8]);
        msg.vqMsgTypeVer = quint8(head[9]);
        msg.vqMsgId = quint8(head[10]);
        msg.vqMsgFlags = quint8(head[11]);
        msg.vqMsgBody = QByteArray(head + 12, int(mainLen) - 4);
        msg.vqReadPos = 0;
        mPos += frameLen;
        return true;
    }
}
