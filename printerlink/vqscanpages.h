#pragma once
// The page loop shared by the scan job and scan to PC: fetches a job's page
// files from the printer in order, whole or in parts, hands them to a page
// sink and deletes them, until the printer's job state says the job is over;
// and the reader of that job state.

#include "vqcomm.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QFile;

// The printer's command that prints the scanner's job state.
extern const QString vqScanJobStateCmd;  // "/usr/local/bin/vqm.exe o"
// -1 unreadable; 0..8 no job running with that result; 10, 11, 12 running.
int vqReadScanJobState(CvqComm& comm);
int vqParseScanJobState(const QString& text);

// Where the pages go.
class CvqScanOuter
{
public:
    CvqScanOuter() = default;
    virtual ~CvqScanOuter() = default;
    CvqScanOuter(const CvqScanOuter&) = delete;
    CvqScanOuter& operator=(const CvqScanOuter&) = delete;

    virtual bool vqBeginJob() = 0;
    virtual bool vqBeginPage(int page) = 0;
    virtual bool vqWrite(const QByteArray& bytes) = 0;
    virtual bool vqEndPage() = 0;
    virtual bool vqEndJob() { return true; }
};

// Page files "<name>_NNNN.<format>" in dir, whatever the input mode, so no
// page overwrites another. A file is created at its first write; closing
// flushes it and reports a short write as a failure.
class CvqScanOuterOfFile : public CvqScanOuter
{
public:
    CvqScanOuterOfFile(const QString& dir, const QString& name, const QString& format);
    ~CvqScanOuterOfFile() override;

    bool vqBeginJob() override;
    bool vqBeginPage(int page) override;
    bool vqWrite(const QByteArray& bytes) override;
    bool vqEndPage() override;
    bool vqEndJob() override;

    // The local path of the current page; empty when no page is set or the
    // name would not be a plain file name inside the directory.
    QString vqPagePath() const;
    const QString& vqDir() const { return mDir; }

protected:
    // Takes effect for the next file.
    void vqSetDir(const QString& dir) { mDir = dir; }
    bool vqOpen();
    bool vqClose();

private:
    QString mDir, mName, mFormat;
    int mPage = 0;
    std::unique_ptr<QFile> mFile;
};

// How a page loop ended.
enum class CvqScanEnd {
    Finished,     // the job state went to 0..8; all pages fetched
    CommFailed,   // eleven consecutive failed checks or fetches
    StoreFailed,  // the sink refused a page
    PartialPage,  // finished while a parted page lacked its end marker
    Stopped,      // a pause was cut short by a stop
};

struct CvqScanLoopResult
{
    CvqScanEnd end = CvqScanEnd::CommFailed;
    int jobState = -1;  // for Finished and PartialPage
};

// What one job may bring: the printer chooses these sizes, so they are bounded.
struct CvqScanBounds
{
    qint64 pageBytes = qint64(64) * 1024 * 1024;
    int jobPages = 1000;
    qint64 jobBytes = qint64(2) * 1024 * 1024 * 1024;
};

// Page "<base>_NNNN.<fmt>" and part "<base>_NNNN.pIIIIIIII.<fmt>".
QString vqScanPageName(const QString& base, int page, const QString& format);
QString vqScanPartName(const QString& base, int page, int part, const QString& format);

// Runs the loop on comm; sleep(ms) pauses and returns true to stop (a test's
// CvqLinkSeams::scanPause stands in for it). The sink's vqEndJob is called on
// every way out. A page or job beyond the bounds
// ends it as StoreFailed before its bytes are written; earlier pages stay.
CvqScanLoopResult vqScanPageLoop(CvqComm& comm, const QString& base, const QString& format, CvqScanOuter& sink,
                                 const std::function<bool(int ms)>& sleep,
                                 const CvqScanBounds& bounds = CvqScanBounds());
