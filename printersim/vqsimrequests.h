#pragma once
// What the serial and web services ask of the printer they serve: file
// operations (results are vqsimstatus bytes), commands, its web pages, and a
// note of each request for its history. They reach the printer through this
// and nothing else.

#include "vqsimstatus.h"

#include <QByteArray>

class CvqSimRequests
{
public:
    // Each request as it arrives ("serial type=10 id=4 path=…", "http GET /vqhas/tmp/x").
    virtual void vqNoteRequest(const QString& line) = 0;
    // Whether a part (CvqSimSettable::kParts) is plugged in.
    virtual bool vqPlugged(const QString& part) const = 0;
    virtual quint8 vqGet(const QString& path, QByteArray* out) const = 0;
    virtual bool vqHas(const QString& path) const = 0;
    // With the refusals a test set up.
    virtual quint8 vqWrite(const QString& path, qint64 offset, const QByteArray& bytes) = 0;
    virtual quint8 vqRemove(const QString& path) = 0;
    virtual CvqSimExeResult vqExecute(const QString& cmdline) = 0;
    // Where a command's output goes: inline (*file empty) or into a file the PC
    // fetches (*file names it); NoSpace when that file does not fit.
    virtual quint8 vqKeepOutput(const QByteArray& output, QString* file) = 0;
    // The identification text (snap false) or the state page.
    virtual QByteArray vqWebPage(bool snap) const = 0;
    virtual void vqFirmwareUploaded(const QByteArray& image) = 0;

protected:
    ~CvqSimRequests() = default;
};
