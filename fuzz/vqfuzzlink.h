#pragma once
// A link whose printer is a script: each read hands over the next piece,
// [kind][u16 length][bytes], shaped by the request last written. Kind 0 gives
// the bytes as they are (noise, partial or foreign frames), 1 a response to the
// request with the bytes as its body, 2 a response that echoes the request as
// the link checks it (status 0, no error text, its path and, for chunks, its
// offset and length) followed by the bytes. An exhausted script is silence.
#include "printerlink/vqcomlink.h"

class CvqScriptedLink : public CvqComLink
{
    QByteArray mScript;
    int mPos = 0;
    CvqComMsg mLast;

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
        const int kind = quint8(mScript.at(mPos)) % 3;
        const int len = quint8(mScript.at(mPos + 1)) | (quint8(mScript.at(mPos + 2)) << 8);
        out = mScript.mid(mPos + 3, len);
        mPos += 3 + len;
        if (kind == 0)
            return !out.isEmpty();
        CvqComMsg resp(mLast.vqMsgType);
        resp.vqMsgId = mLast.vqMsgId;
        resp.vqSetResponse(true);
        if (kind == 2) {
            const QByteArray& req = mLast.vqMsgBody;
            const int zero = req.indexOf('\0');
            const bool chunk = zero >= 0 && (mLast.vqMsgType == vqMsgPutChunk || mLast.vqMsgType == vqMsgGetChunk);
            resp.vqAppendBytes(QByteArray("\0\0", 2) + req.left(zero + 1) + req.mid(zero + 1, chunk ? 8 : 0));
        }
        resp.vqAppendBytes(out);
        out = resp.vqFrame();
        return true;
    }
};
