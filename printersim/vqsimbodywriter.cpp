#include "vqsimbodywriter.h"

#include <QtEndian>

CvqSimBodyWriter& CvqSimBodyWriter::vqU32(quint32 v)
{
    char b[4];
    qToLittleEndian<quint32>(v, b);
    return vqBytes(QByteArray(b, 4));
}
