#pragma once
// Texts the printer hands over in a byte buffer end at the first 0 byte.

#include <QByteArray>
#include <QString>

// The bytes before the first 0 byte (all of them without one), as UTF-8.
inline QString vqTextBeforeNul(const QByteArray& bytes)
{
    const int end = bytes.indexOf('\0');
    return QString::fromUtf8(bytes.constData(), end < 0 ? bytes.size() : end);
}
