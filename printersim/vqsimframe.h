#pragma once
// The printer's side of the serial message frame: encoding, a stream reader
// that finds frames among garbage, and body field readers and writers.
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
#include <QString>

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
extern const QByteArray kHead;
extern const QByteArray kTail;
constexpr quint32 kMaxMainLen = 4096;
constexpr int kMaxBody = int(kMaxMainLen) - 4;
constexpr int kMaxStr = 1023;
}

QByteArray vqSimEncodeFrame(const CvqSimMsg& m);
// Frame with a given length field, whatever the body holds (for faults).
QByteArray vqSimEncodeRaw(quint32 mainLen, const CvqSimMsg& m, const QByteArray& tail);

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
    qint64 vqSkipped() const { return mSkipped; }
    int vqBuffered() const { return mBuf.size(); }

private:
    void drop(int n);
    QByteArray mBuf;
    qint64 mSkipped = 0;
};

class CvqSimBodyReader
{
public:
    explicit CvqSimBodyReader(const QByteArray& body) : mBody(body) {}
    bool vqU8(quint8* v);
    bool vqU32(quint32* v);
    // UTF-8 up to a 0 byte; at most 1023 bytes before it.
    bool vqStr(QString* s);
    bool vqBytes(int n, QByteArray* out);
    int vqRemaining() const { return mBody.size() - mPos; }

private:
    const QByteArray mBody;
    int mPos = 0;
};

class CvqSimBodyWriter
{
public:
    CvqSimBodyWriter& vqU8(quint8 v);
    CvqSimBodyWriter& vqU32(quint32 v);
    CvqSimBodyWriter& vqStr(const QString& s);
    CvqSimBodyWriter& vqBytes(const QByteArray& b);
    QByteArray body;
};
