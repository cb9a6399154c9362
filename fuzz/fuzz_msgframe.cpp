// Fuzz target: the message frame reader over a byte stream fed in pieces (the
// first byte picks the piece size), and every field read of each frame found.
#include "printerlink/vqcommsg.h"
#include "vqfuzzinput.h"

VQ_FUZZ_TARGET(bytes)
{
    if (bytes.isEmpty())
        return;
    const QByteArray stream = vqFuzzTail(bytes, 1);
    const int piece = 1 + quint8(bytes.at(0));
    CvqComFrameReader reader;
    CvqComMsg msg;
    for (int at = 0; at < stream.size(); at += piece) {
        reader.vqFeed(stream.constData() + at, qMin(piece, stream.size() - at));
        while (reader.vqNext(msg)) {
            if (!msg.vqIsConsistent() || msg.vqMainLen > vqComMaxMainLen)
                __builtin_trap();
            quint8 u8;
            quint32 u32;
            QString s;
            QByteArray b;
            msg.vqReadU8(u8);
            msg.vqReadStr(s);
            msg.vqReadU32(u32);
            msg.vqReadBytes(u32, b);
            msg.vqReadBytes(quint32(msg.vqUnread()), b);
            if (msg.vqUnread() != 0)
                __builtin_trap();
            // A frame found re-frames to the same bytes.
            CvqComFrameReader again;
            again.vqFeed(msg.vqFrame());
            CvqComMsg copy;
            if (!again.vqNext(copy) || copy.vqMsgBody != msg.vqMsgBody)
                __builtin_trap();
        }
    }
}
