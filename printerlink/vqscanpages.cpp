#include "vqscanpages.h"

#include "vqscan.h"

#include <QDebug>
#include <QDir>
#include <QFile>

// --- the file sink ---

CvqScanOuterOfFile::CvqScanOuterOfFile(const CvqScanParams* params) : CvqScanOuter(params) {}

CvqScanOuterOfFile::~CvqScanOuterOfFile() { vqClose(); }

QString CvqScanOuterOfFile::vqPagePath() const
{
    if (mPage == 0 || mParams->vqOutDir.isEmpty())
        return QString();
    const QString name = QStringLiteral("%1_%2.%3")
                             .arg(mParams->taskId)
                             .arg(mPage, 4, 10, QLatin1Char('0'))
                             .arg(mParams->saveToFileFormat);
    // A task id or format that is itself a path would lead out of the directory.
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name == QLatin1String("..")
        || name.contains(QLatin1Char('\0')))
        return QString();
    return QDir::cleanPath(mParams->vqOutDir + QDir::separator() + name);
}

bool CvqScanOuterOfFile::vqOpen()
{
    if (mFile)
        return true;
    const QString path = vqPagePath();
    if (path.isEmpty())
        return false;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qDebug() << "(vq)cannot create page file" << path << file->errorString();
        return false;
    }
    mFile = std::move(file);
    return true;
}

bool CvqScanOuterOfFile::vqClose()
{
    if (!mFile)
        return true;
    // A full disk shows only when the buffer goes out: check before closing.
    bool ok = mFile->flush() && mFile->error() == QFileDevice::NoError;
    mFile->close();
    ok = ok && mFile->error() == QFileDevice::NoError;
    if (!ok)
        qDebug() << "(vq)page file incomplete:" << mFile->fileName() << mFile->errorString();
    mFile.reset();
    return ok;
}

bool CvqScanOuterOfFile::vqBeginJob()
{
    const bool ok = vqClose();
    mPage = 0;
    return ok;
}

bool CvqScanOuterOfFile::vqBeginPage(int page)
{
    const bool ok = vqClose();
    mPage = page;
    return ok;
}

bool CvqScanOuterOfFile::vqWrite(const QByteArray& bytes)
{
    if (!mFile && (mPage == 0 || !vqOpen()))
        return false;
    if (mFile->write(bytes) != bytes.size()) {
        vqClose();
        return false;
    }
    return true;
}

bool CvqScanOuterOfFile::vqEndPage()
{
    const bool ok = vqClose();
    mPage = 0;
    return ok;
}

bool CvqScanOuterOfFile::vqEndJob() { return vqEndPage(); }

// --- the page loop ---

QString vqScanPageName(const QString& base, int page, const QString& format)
{
    return QStringLiteral("%1_%2.%3").arg(base).arg(page, 4, 10, QLatin1Char('0')).arg(format);
}

QString vqScanPartName(const QString& base, int page, int part, const QString& format)
{
    return QStringLiteral("%1_%2.p%3.%4")
        .arg(base)
        .arg(page, 4, 10, QLatin1Char('0'))
        .arg(part, 8, 10, QLatin1Char('0'))
        .arg(format);
}

namespace {
// Consecutive failures of one kind that end a job.
constexpr int kMaxFailures = 11;

enum class Check { Failed, Present, Missing };

Check check(CvqComm& comm, const QString& path)
{
    bool exists = false;
    if (!comm.vqHasFile(path, exists))
        return Check::Failed;
    return exists ? Check::Present : Check::Missing;
}
}  // namespace

CvqScanLoopResult vqScanPageLoop(CvqComm& comm, const QString& base, const QString& format, CvqScanOuter& sink,
                                 const std::function<bool(int ms)>& sleep, const CvqScanBounds& bounds)
{
    enum Mode { First, Whole, Parted } mode = First;
    int page = 1, part = 0;
    int idle = 0, failedChecks = 0, failedFetches = 0, unreadable = 0;
    qint64 pageBytes = 0, jobBytes = 0;

    // Whether bytes more of the current page stay within the bounds.
    auto fits = [&](qint64 bytes) {
        if (page > bounds.jobPages || pageBytes + bytes > bounds.pageBytes || jobBytes + bytes > bounds.jobBytes) {
            qDebug() << "(vq)scan beyond its bounds at page" << page << "- job ended";
            return false;
        }
        pageBytes += bytes;
        jobBytes += bytes;
        return true;
    };

    auto finish = [&](CvqScanEnd end, int state = -1) {
        const bool closed = sink.vqEndJob();
        if (!closed && (end == CvqScanEnd::Finished || end == CvqScanEnd::PartialPage))
            end = CvqScanEnd::StoreFailed;
        return CvqScanLoopResult{end, state};
    };
    // After a failed exchange: counts it, pauses, and says whether the job ends.
    auto failed = [&](int& count, CvqScanLoopResult& out) {
        if (++count >= kMaxFailures) {
            out = finish(CvqScanEnd::CommFailed);
            return true;
        }
        if (sleep(1000)) {
            out = finish(CvqScanEnd::Stopped);
            return true;
        }
        return false;
    };

    // One existence check; a failure is counted and paused for.
    auto checkFile = [&](const QString& path, CvqScanLoopResult& out, bool& ended) {
        const Check c = check(comm, path);
        if (c == Check::Failed)
            ended = failed(failedChecks, out);
        else
            failedChecks = 0;
        return c;
    };

    // A short pause, then the fetch; a failure is counted and paused for.
    auto fetch = [&](const QString& path, QByteArray& bytes, CvqScanLoopResult& out, bool& ended) {
        if (sleep(10)) {
            out = finish(CvqScanEnd::Stopped);
            ended = true;
            return false;
        }
        if (comm.vqGetFile(path, bytes)) {
            failedFetches = 0;
            return true;
        }
        ended = failed(failedFetches, out);
        return false;
    };

    for (;;) {
        const QString whole = vqScanPageName(base, page, format);
        const QString partName = vqScanPartName(base, page, part, format);
        CvqScanLoopResult out;
        bool ended = false;
        bool checkPart = mode == Parted;

        if (mode != Parted) {
            const Check c = checkFile(whole, out, ended);
            if (ended)
                return out;
            if (c == Check::Failed)
                continue;
            if (c == Check::Present) {
                mode = Whole;
                idle = 0;
                QByteArray bytes;
                if (!fetch(whole, bytes, out, ended)) {
                    if (ended)
                        return out;
                    continue;
                }
                pageBytes = 0;
                if (!fits(bytes.size()) || !sink.vqBeginPage(page) || !sink.vqWrite(bytes) || !sink.vqEndPage())
                    return finish(CvqScanEnd::StoreFailed);
                comm.vqDelFileRetry(whole);
                ++page;
                continue;
            }
            checkPart = mode == First;
        }

        if (checkPart) {
            const Check c = checkFile(partName, out, ended);
            if (ended)
                return out;
            if (c == Check::Failed)
                continue;
            if (c == Check::Present) {
                if (part == 0) {
                    pageBytes = 0;
                    if (!fits(0) || !sink.vqBeginPage(page))
                        return finish(CvqScanEnd::StoreFailed);
                }
                mode = Parted;
                idle = 0;
                QByteArray bytes;
                if (!fetch(partName, bytes, out, ended)) {
                    if (ended)
                        return out;
                    continue;
                }
                if (!bytes.isEmpty()) {
                    if (!fits(bytes.size()) || !sink.vqWrite(bytes))
                        return finish(CvqScanEnd::StoreFailed);
                    comm.vqDelFileRetry(partName);
                    ++part;
                } else {
                    // The empty part marks the end of the page.
                    comm.vqDelFileRetry(partName);
                    if (!sink.vqEndPage())
                        return finish(CvqScanEnd::StoreFailed);
                    ++page;
                    part = 0;
                }
                continue;
            }
        }

        // Idle: nothing new. After three idle passes ask whether the job is over
        // (not once the program is closing).
        if (++idle > 3) {
            if (sleep(0))
                return finish(CvqScanEnd::Stopped);
            const int state = CvqDoScan::vqReadJobState(comm);
            if (state < 0) {
                if (++unreadable >= kMaxFailures)
                    return finish(CvqScanEnd::CommFailed);
            } else {
                unreadable = 0;
            }
            if (state >= 0 && state <= 8) {
                // The last file may have appeared between its check and the state read.
                bool late = false;
                if (mode != Parted)
                    late = check(comm, whole) == Check::Present;
                if (!late && mode != Whole)
                    late = check(comm, partName) == Check::Present;
                if (late) {
                    idle = 0;
                    continue;
                }
                return finish(part > 0 ? CvqScanEnd::PartialPage : CvqScanEnd::Finished, state);
            }
        }
        if (sleep(1000))
            return finish(CvqScanEnd::Stopped);
    }
}
