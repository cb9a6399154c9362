#pragma once
// One message of the printer's serial protocol, its byte frame, and a reader
// that finds frames in a byte stream.
//
// Frame (little-endian): head 19 73 10 19 | u32 vqMainLen | type | type version |
// id | flags | body (vqMainLen - 4 bytes) | tail 19 79 04 02.

#include <QByteArray>
#include <QDebug>
#include <QString>

// Message types.
enum CvqComMsgType : quint8 {
    vqMsgTestLink = 1,
    vqMsgPutChunk = 10,
    vqMsgGetChunk = 11,
    vqMsgDelFile = 13,
    vqMsgHasFile = 14,
    vqMsgExe = 15,
    vqMsgExeAlong = 16,
    vqMsgTestBulk = 200,
};

// Largest vqMainLen a receiver accepts (a body of at most 4092 bytes).
constexpr quint32 vqComMaxMainLen = 4096;
// Bytes of a frame besides vqMainLen: head, length field, tail.
constexpr int vqComFrameExtra = 12;
// The shortest frame: an empty body.
constexpr int vqComMinFrame = 16;
// Bytes a string field may hold before its terminating 0.
constexpr int vqComMaxStrLen = 1023;

class CvqComMsg
{
public:
    CvqComMsg();
    explicit CvqComMsg(quint8 type);

    quint32 vqMainLen = 4;  // 4 + body bytes
    quint8 vqMsgType = 0;
    quint8 vqMsgTypeVer = 0;
    quint8 vqMsgId = 0;     // set by the exchange, echoed by the printer
    quint8 vqMsgFlags = 0;  // bit 0: response
    QByteArray vqMsgBody;
    QByteArray vqMsgHead;  // always 19 73 10 19
    QByteArray vqMsgTail;  // always 19 79 04 02
    int vqReadPos = 0;     // body offset of the next field to read

    quint32 vqBodyLen() const { return vqMainLen - 4; }
    bool vqIsResponse() const { return (vqMsgFlags & 1) != 0; }
    void vqSetResponse(bool on);
    // Whether the body holds exactly vqMainLen - 4 bytes.
    bool vqIsConsistent() const;

    // Appends keep vqMainLen equal to 4 + body length.
    void vqAppendU8(quint8 v);
    void vqAppendU32(quint32 v);
    void vqAppendStr(const QString& text);  // UTF-8 bytes + one 0 byte
    void vqAppendBytes(const QByteArray& bytes);
    void vqAppendBytes(const char* data, int size);
    void vqAppendPattern(int n);  // n bytes 0, 1, 2, ... modulo 256

    // Reads advance the cursor; on a body too short they return false and leave
    // both the cursor and the output untouched.
    bool vqReadU8(quint8& out);
    bool vqReadU32(quint32& out);
    bool vqReadBytes(quint32 n, QByteArray& out);  // appends n bytes to out
    // Up to the next 0 byte, as UTF-8; fails without a 0 byte within the body
    // or within vqComMaxStrLen + 1 bytes.
    bool vqReadStr(QString& out);
    int vqUnread() const;

    // The whole frame as it goes on the wire.
    QByteArray vqFrame() const;
    void vqAppendFrame(QByteArray& out) const;
};

// "CvqComMsg(vqMainLen=4,vqMsgType=1,...,vqMsgBody=\"...\",)"
QDebug operator<<(QDebug dbg, const CvqComMsg& m);

// The four marker bytes.
const QByteArray& vqComHead();
const QByteArray& vqComTail();

// Finds whole frames in a byte stream, skipping what cannot start one: noise
// (keeping a possible split head), false heads, lengths below 4 or above
// vqComMaxMainLen, bad tails. Frames of any id and flags are returned; the
// caller decides which one it waits for. Holds at most one frame's worth of
// unexamined bytes beyond what was last fed.
class CvqComFrameReader
{
public:
    void vqFeed(const QByteArray& bytes);
    void vqFeed(const char* data, int size);
    // The next complete frame into msg (header fields, body, cursor 0);
    // false when more bytes are needed.
    bool vqNext(CvqComMsg& msg);
    int vqBuffered() const { return mBuf.size() - mPos; }
    void vqClear();

private:
    void vqCompact();
    QByteArray mBuf;
    int mPos = 0;
};
