#pragma once
// What a control line may set on one printer: the printer verbs
// (vqsimverbs.h) reach it through this and nothing else.

#include "vqsimdeviceid.h"

#include <QStringList>

class CvqSimFs;

class CvqSimSettable
{
public:
    // The parts of a printer that can be unplugged: its device entry, its queue, its
    // serial port entry, the pseudo-terminal itself, and the identification read.
    static inline const QStringList kParts = {"device", "queue", "serial", "port", "idread"};

    // Everything but files and counters back to the start.
    virtual void vqReset() = 0;
    virtual void vqSetPlugged(const QString& part, bool on) = 0;
    // The status memory, and the consumable layout that says where its levels sit.
    virtual CvqStsFields vqStatus() const = 0;
    virtual void vqSetStatus(const CvqStsFields& sts) = 0;
    virtual int vqLayout() const = 0;
    // Sets the activity bytes, ending the activity a print has lent.
    virtual void vqSetActivity(quint8 b7, quint8 inJob) = 0;
    virtual void vqSetRomver(const QString& romver) = 0;
    virtual void vqSetJobs(int jobs) = 0;
    virtual CvqSimFs& vqFs() = 0;
    // The services' planned faults ("KIND… key=value…" or "clear"); the reason one is refused.
    virtual QString vqSetLinkFault(const QStringList& args) = 0;
    virtual QString vqSetHttpFault(const QStringList& args) = 0;
    // What the web server answers for id, snap, type or romver, or its own again.
    virtual void vqSetWebAnswer(const QString& key, const QString& text) = 0;
    virtual void vqUseOwnWebAnswer(const QString& key) = 0;
    virtual QStringList vqHistory() const = 0;
    virtual void vqClearHistory() = 0;
    // "scan …", "scan stop …", "scanjob …"; the reason one is refused.
    virtual QString vqScanControl(const QStringList& args) = 0;
    virtual void vqSetScannerAnswer(const QString& answer) = 0;
    // auto, inline or file.
    virtual void vqSetExeOut(const QString& mode) = 0;
    // The job-state program's answer (empty: its own); or count failures after more answers.
    virtual void vqSetJobState(const QString& text) = 0;
    virtual void vqFailJobState(int count, int after) = 0;
    // del or put: the next such operation is refused.
    virtual void vqSetRefuse(const QString& op) = 0;
    // Brings the host tree and the serial port in line with what was set.
    virtual void vqSync() = 0;

protected:
    ~CvqSimSettable() = default;
};
