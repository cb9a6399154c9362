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

#include "vqsimbodyreader.h"
#include "vqsimbodywriter.h"
#include "vqsimmsg.h"

#include <QByteArray>

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
