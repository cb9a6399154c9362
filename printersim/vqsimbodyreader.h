#pragma once
// Reads the fields of a message body (little-endian numbers, 0-terminated
// UTF-8 strings); each read fails, taking nothing, when the field is not there.

#include <QByteArray>
#include <QString>

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
