#pragma once
// The identification read of a USB printer and the print-queue job query.

#include <QByteArray>
#include <QString>

// The identification text of a raw reply: the bytes up to the first zero byte,
// as UTF-8; empty when the reply fills the whole 1024-byte buffer.
QString vqIdTextFromReply(const QByteArray& reply);

// Empty on any failure; never blocks longer than the driver's own completion.
QString vqReadDeviceId(QString instanceId);

// True when the queue holds at least one job; false also when it cannot be
// opened or the name does not fit the 200-byte buffer.
bool vqHasPrintJob(const char* queueName);
