#include "vqscanpages.h"
#include "vqseams.h"

#include <QDebug>
#include <QDir>
#include <QFile>

#include <optional>

const QString vqScanJobStateCmd = QStringLiteral("/usr/local/bin/vqm.exe o");

// --- the job state ---

int vqParseScanJobState(const QString& text)
{
    QString run, tp, code, wait;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QStringList kv = line.split(QLatin1Char(':'));
        if (kv.size() != 2)
            continue;
        const QString key = kv[0].trimmed();
        const QString value = kv[1].trimmed();
        if (key.contains(QLatin1String("vqscanjob.vqjobrun")))
            run = value;
        else if (key.contains(QLatin1String("vqscanjob.vqjobtp")))
            tp = value;
        else if (key.contains(QLatin1String("vqscanjob.vqjobrstcode")))
            code = value;
        else if (key.contains(QLatin1String("vqscanjob.vqjobwaitflag")))
            wait = value;
    }
    if (run.isEmpty() || tp.isEmpty() || code.isEmpty() || wait.isEmpty())
        return -1;
    if (run != QLatin1String("0"))
        return tp == QLatin1String("1") ? 10 : tp == QLatin1String("11") ? 11 : 12;
    if (code.size() == 1 && code[0] >= QLatin1Char('0') && code[0] <= QLatin1Char('7'))
        return code[0].unicode() - '0';
    return 8;
}

int vqReadScanJobState(CvqComm& comm)
{
    QString out;
    if (!comm.vqExe(vqScanJobStateCmd, out, vqComTimeoutSec))
        return -1;
    return vqParseScanJobState(out);
}

// --- the file sink ---

CvqScanOuterOfFile::CvqScanOuterOfFile(const QString& dir, const QString& name, const QString& format)
    : mDir(dir), mName(name), mFormat(format)
{
}

CvqScanOuterOfFile::~CvqScanOuterOfFile() { vqClose(); }

QString CvqScanOuterOfFile::vqPagePath() const
{
    if (mPage == 0 || mDir.isEmpty())
        return QString();
    const QString name = vqScanPageName(mName, mPage, mFormat);
    // A name or format that is itself a path would lead out of the directory.
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name == QLatin1String("..")
        || name.contains(QLatin1Char('\0')))
        return QString();
    return QDir::cleanPath(mDir + QDir::separator() + name);
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

// One job's pages, as a machine of four steps: look for the next file, fetch a
// whole page, fetch a part of a page, and idle (nothing new: is the job over?).
class CvqPageLoop
{
public:
    CvqPageLoop(CvqComm& comm, const QString& base, const QString& format, CvqScanOuter& sink,
                const std::function<bool(int ms)>& sleep, const CvqScanBounds& bounds)
        : mComm(comm), mBase(base), mFormat(format), mSink(sink), mSleep(sleep), mBounds(bounds)
    {
    }

    CvqScanLoopResult run()
    {
        Step step = Step::Look;
        while (step != Step::End) {
            switch (step) {
            case Step::Look: step = look(); break;
            case Step::FetchWhole: step = fetchWhole(); break;
            case Step::FetchPart: step = fetchPart(); break;
            case Step::Idle: step = idle(); break;
            case Step::End: break;
            }
        }
        return mResult;
    }

private:
    enum class Step { Look, FetchWhole, FetchPart, Idle, End };
    // How the printer sends pages: the first file found decides for the job.
    enum class Layout { Unknown, Whole, Parted };

    QString wholeName() const { return vqScanPageName(mBase, mPage, mFormat); }
    QString partName() const { return vqScanPartName(mBase, mPage, mPart, mFormat); }

    Step look()
    {
        if (mLayout != Layout::Parted) {
            const Check c = checkCounted(wholeName());
            if (c == Check::Failed)
                return failed(&mFailedChecks);
            if (c == Check::Present)
                return Step::FetchWhole;
            if (mLayout == Layout::Whole)
                return Step::Idle;
        }
        const Check c = checkCounted(partName());
        if (c == Check::Failed)
            return failed(&mFailedChecks);
        return c == Check::Present ? Step::FetchPart : Step::Idle;
    }

    Step fetchWhole()
    {
        mLayout = Layout::Whole;
        mIdle = 0;
        const QString path = wholeName();
        QByteArray bytes;
        if (const std::optional<Step> next = fetch(path, &bytes))
            return *next;
        mPageBytes = 0;
        if (!fits(bytes.size()) || !mSink.vqBeginPage(mPage) || !mSink.vqWrite(bytes) || !mSink.vqEndPage())
            return end(CvqScanEnd::StoreFailed);
        mComm.vqDelFileRetry(path);
        ++mPage;
        return Step::Look;
    }

    Step fetchPart()
    {
        if (mPart == 0) {
            mPageBytes = 0;
            if (!fits(0) || !mSink.vqBeginPage(mPage))
                return end(CvqScanEnd::StoreFailed);
        }
        mLayout = Layout::Parted;
        mIdle = 0;
        const QString path = partName();
        QByteArray bytes;
        if (const std::optional<Step> next = fetch(path, &bytes))
            return *next;
        if (bytes.isEmpty()) {
            // The empty part marks the end of the page.
            mComm.vqDelFileRetry(path);
            if (!mSink.vqEndPage())
                return end(CvqScanEnd::StoreFailed);
            ++mPage;
            mPart = 0;
            return Step::Look;
        }
        if (!fits(bytes.size()) || !mSink.vqWrite(bytes))
            return end(CvqScanEnd::StoreFailed);
        mComm.vqDelFileRetry(path);
        ++mPart;
        return Step::Look;
    }

    // Nothing new. After three idle passes ask whether the job is over (not
    // once the program is closing).
    Step idle()
    {
        if (++mIdle > 3) {
            if (mSleep(0))
                return end(CvqScanEnd::Stopped);
            // Unreadable (a busy printer's state program times out): wait and read again, for as long
            // as it takes; only a stop ends the wait.
            const int state = vqReadScanJobState(mComm);
            if (state >= 0 && state <= 8) {
                if (lateFile()) {
                    mIdle = 0;
                    return Step::Look;
                }
                return end(mPart > 0 ? CvqScanEnd::PartialPage : CvqScanEnd::Finished, state);
            }
        }
        return mSleep(1000) ? end(CvqScanEnd::Stopped) : Step::Look;
    }

    // The last file may have appeared between its check and the state read.
    bool lateFile()
    {
        if (mLayout != Layout::Parted && check(mComm, wholeName()) == Check::Present)
            return true;
        return mLayout != Layout::Whole && check(mComm, partName()) == Check::Present;
    }

    // An existence check; a success ends a run of failed ones.
    Check checkCounted(const QString& path)
    {
        const Check c = check(mComm, path);
        if (c != Check::Failed)
            mFailedChecks = 0;
        return c;
    }

    // A short pause, then the fetch. Empty when the bytes came, else the next step.
    std::optional<Step> fetch(const QString& path, QByteArray* bytes)
    {
        if (mSleep(10))
            return end(CvqScanEnd::Stopped);
        if (!mComm.vqGetFile(path, *bytes))
            return failed(&mFailedFetches);
        mFailedFetches = 0;
        return std::nullopt;
    }

    // After a failed exchange: counted and paused for; the job ends after too many.
    Step failed(int* count)
    {
        if (++*count >= kMaxFailures)
            return end(CvqScanEnd::CommFailed);
        return mSleep(1000) ? end(CvqScanEnd::Stopped) : Step::Look;
    }

    // Whether bytes more of the current page stay within the bounds.
    bool fits(qint64 bytes)
    {
        if (mPage > mBounds.jobPages || mPageBytes + bytes > mBounds.pageBytes
            || mJobBytes + bytes > mBounds.jobBytes) {
            qDebug() << "(vq)scan beyond its bounds at page" << mPage << "- job ended";
            return false;
        }
        mPageBytes += bytes;
        mJobBytes += bytes;
        return true;
    }

    Step end(CvqScanEnd how, int state = -1)
    {
        if (!mSink.vqEndJob() && (how == CvqScanEnd::Finished || how == CvqScanEnd::PartialPage))
            how = CvqScanEnd::StoreFailed;
        mResult = {how, state};
        return Step::End;
    }

    CvqComm& mComm;
    const QString mBase, mFormat;
    CvqScanOuter& mSink;
    const std::function<bool(int ms)>& mSleep;
    const CvqScanBounds mBounds;

    Layout mLayout = Layout::Unknown;
    int mPage = 1, mPart = 0;
    int mIdle = 0, mFailedChecks = 0, mFailedFetches = 0;
    qint64 mPageBytes = 0, mJobBytes = 0;
    CvqScanLoopResult mResult;
};
}  // namespace

CvqScanLoopResult vqScanPageLoop(CvqComm& comm, const QString& base, const QString& format, CvqScanOuter& sink,
                                 const std::function<bool(int ms)>& sleep, const CvqScanBounds& bounds)
{
    const std::function<bool(int ms)>& pause = vqSeams<CvqLinkSeams>().scanPause;
    return CvqPageLoop(comm, base, format, sink, pause ? pause : sleep, bounds).run();
}
