#pragma once
// A printer's identification text, the status memory it carries, and the reply that holds it.

#include <QByteArray>
#include <QString>

// Fields of the status memory as a printer reports them.
struct CvqStsFields
{
    quint16 jobPrintedCount = 0;
    quint8 inPrintJob = 0;
    quint8 statusBytes[10] = {0, 0, 0, 0, 0x80, 0, 0, 4, 0, 0};  // idle, tray 1 loaded
    quint8 crumStatus = 0x1A;                                    // levels present
    quint16 crumT = 8000;                                        // hundredths of a per cent
    quint16 crumD = 8000;
    quint32 allPrintCount = 0;
};

// Shifts plain hex digits into the wire form of the STS value (each character shifted by 17).
QByteArray vqShiftSts(const QByteArray& hexDigits);
// A complete identification text of one printer.
QByteArray vqMakeDeviceId(const QString& model, const QString& romver, const QString& sn, const CvqStsFields& sts,
                          int pxg = 0, int tll = 10);
// A standard USB printer's identification reply: the id's IEEE 1284 length field (two
// bytes, big-endian, counting themselves; at most 0xFFFF) in front of it.
QByteArray vqWithIdLength(const QByteArray& id);
