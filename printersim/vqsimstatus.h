#pragma once
// The status bytes the file and command services answer with, their texts,
// and the answer of a command run on the printer.

#include <QString>

namespace vqsimstatus {
enum : quint8 { Ok, NotFound, BadRequest, NoSpace, Unsupported, BadOffset, Busy, Refused };
QString vqText(quint8 status);
}  // namespace vqsimstatus

struct CvqSimExeResult
{
    quint8 status = 0;
    QString err, output;

    static CvqSimExeResult vqFail(quint8 status) { return {status, vqsimstatus::vqText(status), QString()}; }
    static CvqSimExeResult vqDone(const QString& output) { return {0, QString(), output}; }
};
