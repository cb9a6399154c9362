#pragma once
// The doubles' side of the serial message frame (the emulator's, and the
// tests' pseudo-terminal peer's): encoding, a stream reader that finds frames
// among garbage, and body field readers and writers.
//
// Frame, little-endian: head 19 73 10 19 | u32 length (4 + body) | type |
// type version | id | flags (bit 0: response) | body | tail 19 79 04 02.
//
// This codec is written apart from the library's (printerlink/vqcommsg) on
// purpose: the end-to-end tests then check the library against a second
// reading of the format instead of against itself, and the emulator can build
// the broken frames (wrong length, garbled tail, oversize) the library's
// encoder never makes.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtEndian>

struct CvqSimMsg
{
    quint8 type = 0;
    quint8 ver = 0;
    quint8 id = 0;
    quint8 flags = 0;
    QByteArray body;

    bool vqIsResponse() const { return (flags & 1) != 0; }
};

namespace vqsim {
constexpr quint32 kMaxMainLen = 4096;
constexpr int kMaxBody = int(kMaxMainLen) - 4;
constexpr int kMaxStr = 1023;
}

// A frame with a given length field and tail, whatever the body holds (faults use it).
QByteArray vqSimEncodeRaw(quint32 mainLen, const CvqSimMsg& m, const QByteArray& tail);
QByteArray vqSimEncodeFrame(const CvqSimMsg& m);

// Collects bytes and hands out whole frames. Bytes that cannot start a frame
// are dropped; a false head (bad length or tail) costs only its 4 bytes, so a
// real frame behind it is still found. Never holds more than one frame's
// worth of bytes plus what one feed brought.
class CvqSimFrameReader
{
public:
    void vqFeed(const QByteArray& bytes) { mBuf += bytes; }
    bool vqNext(CvqSimMsg* out);
    void vqClear() { mBuf.clear(); }
    int vqBuffered() const { return int(mBuf.size()); }

private:
    QByteArray mBuf;
};

class CvqSimBodyReader
{
public:
    explicit CvqSimBodyReader(const QByteArray& body) : mBody(body) {}
    bool vqU8(quint8* v) { return vqRemaining() >= 1 && (*v = quint8(mBody.at(mPos++)), true); }
    bool vqU32(quint32* v)
    {
        return vqRemaining() >= 4 && (*v = qFromLittleEndian<quint32>(mBody.constData() + mPos), mPos += 4, true);
    }
    // UTF-8 up to a 0 byte; at most 1023 bytes before it.
    bool vqStr(QString* s);
    bool vqBytes(int n, QByteArray* out)
    {
        return n >= 0 && vqRemaining() >= n && (*out = mBody.mid(mPos, n), mPos += n, true);
    }
    int vqRemaining() const { return mBody.size() - mPos; }

private:
    const QByteArray mBody;
    int mPos = 0;
};

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
