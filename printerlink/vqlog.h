#pragma once
#include <QDateTime>
#include <QString>

// Appends "[yyyy-MM-dd hh:mm:ss] message" to an hourly file under
// <temp>/vqlogs_<program path>/yyyy-MM/yyyy-MM-dd-hh.log. Failures only warn.
void vqWriteLog(const QString& message);

// The same, at a given moment and under a given root (the testable core).
void vqWriteLogAt(const QString& message, const QDateTime& when, const QString& root);
