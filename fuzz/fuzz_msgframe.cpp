// Fuzz target: the message frame reader over a byte stream fed in pieces (the
// first byte picks the piece size), and every field read of each frame found.
#include "printerlink/vqcommsg.h"
#include "vqfuzzinput.h"

VQ_FUZZ_TARGET(bytes)
{
    const int piece = bytes.isEmpty() ? 1 : 1 + quint8(bytes.at(0));
    CvqComFrameReader reader;
    CvqComMsg msg;
    for (int at = 1; at < bytes.size(); at += piece) {
        reader.vqFeed(bytes.constData() + at, qMin(piece, bytes.size() - at));
        while (reader.vqNext(msg)) {
            VQ_FUZZ_REQUIRE(msg.vqIsConsistent() && msg.vqMainLen <= vqComMaxMainLen);
            quint8 u8;
            quint32 u32;
            QString s;
            QByteArray b;
            msg.vqReadU8(u8);
            msg.vqReadStr(s);
            msg.vqReadU32(u32);
            msg.vqReadBytes(u32, b);
            msg.vqReadBytes(quint32(msg.vqUnread()), b);
            VQ_FUZZ_REQUIRE(msg.vqUnread() == 0);
            // A frame found re-frames to the same bytes.
            CvqComFrameReader again;
            again.vqFeed(msg.vqFrame());
            CvqComMsg copy;
            VQ_FUZZ_REQUIRE(again.vqNext(copy) && copy.vqMsgBody == msg.vqMsgBody);
        }
    }
}
