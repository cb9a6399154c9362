#pragma once
// A link whose printer is a script: each read hands over the script's next
// piece, shaped by the request last written. Pieces are [kind][u16 length][bytes]:
//   0  the bytes as they are (noise, partial or foreign frames)
//   1  a response frame to the last request with the bytes as its body
//   2  a response to the last request that echoes it correctly (status 0, no
//      error text, its path, offset and length as the link checks them),
//      the bytes appended
// An exhausted script is silence.

#include "printerlink/vqcomlink.h"

#include <QByteArray>

class CvqScriptedLink : public CvqComLink
{
public:
    explicit CvqScriptedLink(const QByteArray& script) : mScript(script) {}

    bool isOpen() const override { return true; }
    bool write(const QByteArray& bytes) override
    {
        CvqComFrameReader reader;
        reader.vqFeed(bytes);
        return reader.vqNext(mLast);
    }
    bool read(int, QByteArray& out) override
    {
        if (mPos + 3 > mScript.size())
            return false;
        const quint8 kind = quint8(mScript.at(mPos));
        const int len = quint8(mScript.at(mPos + 1)) | (quint8(mScript.at(mPos + 2)) << 8);
        const QByteArray bytes = mScript.mid(mPos + 3, len);
        mPos += 3 + len;
        if (kind % 3 == 0) {
            out = bytes;
            return !out.isEmpty();
        }
        CvqComMsg resp(mLast.vqMsgType);
        resp.vqMsgId = mLast.vqMsgId;
        resp.vqSetResponse(true);
        if (kind % 3 == 2)
            resp.vqAppendBytes(echo());
        resp.vqAppendBytes(bytes);
        out = resp.vqFrame();
        return true;
    }

private:
    // Status, empty error text, then the request's leading path and, for
    // chunks, its offset and length.
    QByteArray echo() const
    {
        QByteArray e("\0\0", 2);
        const QByteArray& body = mLast.vqMsgBody;
        const int zero = body.indexOf('\0');
        if (zero < 0)
            return e;
        e += body.left(zero + 1);
        if (mLast.vqMsgType == vqMsgPutChunk || mLast.vqMsgType == vqMsgGetChunk)
            e += body.mid(zero + 1, 8);
        return e;
    }

    QByteArray mScript;
    int mPos = 0;
    CvqComMsg mLast;
};
