#pragma once
// The page loop shared by the scan job and scan to PC: fetches a job's page
// files from the printer in order, whole or in parts, hands them to a page
// sink and deletes them, until the printer's job state says the job is over.

#include "vqcomm.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QFile;
struct CvqScanParams;

// Where the pages go. Keeps the parameter record (not owned).
class CvqScanOuter
{
public:
    explicit CvqScanOuter(const CvqScanParams* params) : mParams(params) {}
    virtual ~CvqScanOuter() = default;
    CvqScanOuter(const CvqScanOuter&) = delete;
    CvqScanOuter& operator=(const CvqScanOuter&) = delete;

    virtual bool vqBeginJob() = 0;
    virtual bool vqBeginPage(int page) = 0;
    virtual bool vqWrite(const QByteArray& bytes) = 0;
    virtual bool vqEndPage() = 0;
    virtual bool vqEndJob() { return true; }

protected:
    const CvqScanParams* mParams;
};

// Page files in the record's vqOutDir: "<taskId>_NNNN.<format>" whatever the
// input mode, so no page overwrites another. A file is created at its first
// write; closing flushes it and reports a short write as a failure.
class CvqScanOuterOfFile : public CvqScanOuter
{
public:
    explicit CvqScanOuterOfFile(const CvqScanParams* params);
    ~CvqScanOuterOfFile() override;

    bool vqBeginJob() override;
    bool vqBeginPage(int page) override;
    bool vqWrite(const QByteArray& bytes) override;
    bool vqEndPage() override;
    bool vqEndJob() override;

    // The local path of the current page; empty when no page is set or the
    // name would not be a plain file name inside vqOutDir.
    QString vqPagePath() const;

protected:
    bool vqOpen();
    bool vqClose();

private:
    int mPage = 0;
    std::unique_ptr<QFile> mFile;
};

// How a page loop ended.
enum class CvqScanEnd {
    Finished,     // the job state went to 0..8; all pages fetched
    CommFailed,   // eleven consecutive failed checks, fetches or state reads
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

// Runs the loop on comm; sleep(ms) pauses and returns true to stop. The
// sink's vqEndJob is called on every way out. A page or job beyond the bounds
// ends it as StoreFailed before its bytes are written; earlier pages stay.
CvqScanLoopResult vqScanPageLoop(CvqComm& comm, const QString& base, const QString& format, CvqScanOuter& sink,
                                 const std::function<bool(int ms)>& sleep,
                                 const CvqScanBounds& bounds = CvqScanBounds());
