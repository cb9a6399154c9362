#pragma once
// The identification read of a USB printer and the print-queue job query.

#include <QByteArray>
#include <QString>

// How a raw identification reply was read (vqIdTextFromReply).
enum class CvqIdReply {
    Bare,        // text from the first byte
    Prefixed,    // a length field in front, dropped
    FullBuffer,  // filled the 1024-byte buffer: may be cut, rejected
    CutShort     // its length field announces more than arrived: rejected
};

// The identification text of a raw reply, by the one rule every host goes through
// (vqdeviceid.cpp): an IEEE 1284 length field in front is dropped, text from the
// first byte is kept whole; the text ends at the first zero byte, as UTF-8. Empty
// for a rejected reply.
QString vqIdTextFromReply(const QByteArray& reply, CvqIdReply* form = nullptr);

// Empty on any failure; never blocks longer than the host's bounded read.
QString vqReadDeviceId(QString instanceId);

// True when the queue holds at least one job; false also when it cannot be
// opened or the name does not fit the 200-byte buffer.
bool vqHasPrintJob(const char* queueName);
