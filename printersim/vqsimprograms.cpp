// What the printer does for the PC: file operations, job state, scans, printing.
#include "vqsimprinter.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

static const QString kScanToPcReq = QStringLiteral("/tmp/vqscantopc.req.txt");
static const QString kScanToPcBase = QStringLiteral("/tmp/vqstdscans/pic");
static const QString kScanJobDir = QStringLiteral("/tmp/vqkeltoscans/");

QString vqsimstatus::vqText(quint8 status)
{
    static const char* const texts[] = {
        "", "no such file", "bad request", "no space", "command not supported", "bad offset", "busy", "refused"};
    return QLatin1String(status < 8 ? texts[status] : "error");
}

QMap<QString, QString> vqSimOptions(const QStringList& words, int from)
{
    QMap<QString, QString> o;
    for (int i = from; i < words.size(); ++i)
        o.insert(words[i].section('=', 0, 0), words[i].contains('=') ? words[i].section('=', 1) : QString());
    return o;
}

bool vqSimNumber(const QString& text, qint64* v, qint64 lo, qint64 hi)
{
    bool ok = false;
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const qint64 n = hex ? text.mid(2).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
    if (text.isNull() || !ok || n < lo || n > hi)
        return text.isNull();
    *v = n;
    return true;
}

QString CvqSimFault::vqSet(const QStringList& args, const QStringList& kinds,
                           QMap<QString, QPair<qint64, qint64>> numbers, const QStringList& texts)
{
    CvqSimFault f;
    if (args.value(0) == QLatin1String("clear"))
        return *this = f, QString();
    for (const char* key : {"count", "after", "delay"})
        numbers.insert(key, {0, 600000});
    const QStringList given = args.value(0).split(',', Qt::SkipEmptyParts);
    f.mKinds = QSet<QString>(given.cbegin(), given.cend());
    if (given.isEmpty() || !QSet<QString>(kinds.cbegin(), kinds.cend()).contains(f.mKinds))
        return QStringLiteral("fault kinds: ") + kinds.join(',');
    f.mOpts = vqSimOptions(args, 1);
    for (auto it = f.mOpts.cbegin(); it != f.mOpts.cend(); ++it) {
        const QPair<qint64, qint64> range = numbers.value(it.key(), {1, 0});
        qint64 v = 0;
        if (!texts.contains(it.key()) && (it->isNull() || !vqSimNumber(*it, &v, range.first, range.second)))
            return QStringLiteral("bad option ") + it.key();
    }
    f.mCount = f.vqNumber("count", 1);
    f.mAfter = f.vqNumber("after", 0);
    f.mActive = true;
    *this = f;
    return QString();
}

qint64 CvqSimFault::vqNumber(const char* key, qint64 fallback) const
{
    vqSimNumber(mOpts.value(QLatin1String(key)), &fallback, LLONG_MIN, LLONG_MAX);
    return fallback;
}

bool CvqSimFault::vqTakes()
{
    if (!mActive || mAfter-- > 0)
        return false;
    if (mCount > 0 && --mCount == 0)
        mActive = false;
    return true;
}

QString CvqSimFs::vqResolve(const QString& path)
{
    if (path.isEmpty() || path.toUtf8().size() > 1023 || path.contains(QChar(0)))
        return QString();
    const QString p = QDir::cleanPath(path.startsWith('/') ? path : QStringLiteral("/tmp/") + path);
    // "/.." cleans to "/"; a file cannot be the root.
    return p == QLatin1String("/") || p.endsWith('/') ? QString() : p;
}

quint8 CvqSimFs::vqGet(const QString& path, QByteArray* out) const
{
    const QString p = vqResolve(path);
    const auto it = mFiles.constFind(p);
    if (it == mFiles.cend())
        return p.isEmpty() ? vqsimstatus::BadRequest : vqsimstatus::NotFound;
    *out = it.value();
    return vqsimstatus::Ok;
}

quint8 CvqSimFs::vqWrite(const QString& path, qint64 offset, const QByteArray& bytes)
{
    const QString p = vqResolve(path);
    if (p.isEmpty())
        return vqsimstatus::BadRequest;
    const bool exists = mFiles.contains(p);
    const qint64 oldSize = exists ? mFiles[p].size() : 0;
    if (offset < 0 || (offset > 0 && (!exists || offset > oldSize)))
        return vqsimstatus::BadOffset;
    const qint64 newSize = offset == 0 ? bytes.size() : qMax(oldSize, offset + bytes.size());
    if ((!exists && mFiles.size() >= 4096) || newSize > INT_MAX / 2 || mUsed - oldSize + newSize > mLimit)
        return vqsimstatus::NoSpace;
    QByteArray& data = mFiles[p];
    data = offset == 0 ? bytes : data.left(int(offset)) + bytes + data.mid(int(offset + bytes.size()));
    mUsed += newSize - oldSize;
    return vqsimstatus::Ok;
}

quint8 CvqSimFs::vqRemove(const QString& path)
{
    const QString p = vqResolve(path);
    if (p.isEmpty() || !mFiles.contains(p))
        return p.isEmpty() ? vqsimstatus::BadRequest : vqsimstatus::NotFound;
    mUsed -= mFiles.take(p).size();
    return vqsimstatus::Ok;
}

QStringList CvqSimFs::vqList(const QString& prefix) const
{
    QStringList out;
    for (auto it = mFiles.cbegin(); it != mFiles.cend(); ++it)
        if (it.key().startsWith(prefix))
            out << it.key();
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    return out;
}

static CvqSimExeResult fail(quint8 status) { return {status, vqsimstatus::vqText(status), QString()}; }
static CvqSimExeResult done(const QString& output) { return {0, QString(), output}; }

quint8 CvqSimPrinter::vqWrite(const QString& path, qint64 offset, const QByteArray& bytes)
{
    return vqRefused("put") ? quint8(vqsimstatus::Refused) : mFs.vqWrite(path, offset, bytes);
}

quint8 CvqSimPrinter::vqRemove(const QString& path)
{
    if (CvqSimFs::vqResolve(path).isEmpty())
        return vqsimstatus::NotFound;
    return vqRefused("del") ? quint8(vqsimstatus::Refused) : mFs.vqRemove(path);
}

// True, using it up, when a "refuse" covers this operation.
bool CvqSimPrinter::vqRefused(const char* op) { return mRefuse == QLatin1String(op) && (mRefuse.clear(), true); }

void CvqSimPrinter::vqSetActivity(quint8 b7, quint8 inJob)
{
    mPrintOverlay = false;
    mSts.statusBytes[7] = b7;
    mSts.inPrintJob = inJob;
}

// "scan stop [result=N]", "scan [options]" (a panel scan to the PC) and
// "scanjob [options]" (how the next scan the PC starts runs).
QString CvqSimPrinter::vqScanControl(const QStringList& args)
{
    const bool stop = args[0] == QLatin1String("scan") && args.value(1) == QLatin1String("stop");
    const QMap<QString, QString> o = vqSimOptions(args, stop ? 2 : 1);
    qint64 result = 8, pages = mNext.pages, parts = mNext.parts, interval = mNext.interval, open = mNext.openEnd;
    if (stop)
        return !vqSimNumber(o.value("result"), &result, 0, 255) || !mScan.running
            ? QStringLiteral("bad result, or no scan is running")
            : (vqStopScan(int(result)), QString());
    Scan s = mNext;
    result = s.result;
    const QString last = o.value("last", s.lastAtState ? "state" : "tick");
    if (!vqSimNumber(o.value("pages"), &pages, 0, 9999) || !vqSimNumber(o.value("parts"), &parts, -1, 1000)
        || !vqSimNumber(o.value("interval"), &interval, 1, 600000) || !vqSimNumber(o.value("result"), &result, 0, 255)
        || !vqSimNumber(o.value("open"), &open, 0, 1) || !QStringList({"state", "tick"}).contains(last))
        return QStringLiteral("bad scan options");
    s.pages = int(pages), s.parts = int(parts), s.interval = int(interval), s.result = int(result);
    s.lastAtState = last == QLatin1String("state");
    s.openEnd = open == 1;
    s.tryAnswer = o.value("try", s.tryAnswer) == QLatin1String("auto") ? QString() : o.value("try", s.tryAnswer);
    const QString fmt = o.value("format", "jpg");
    if (args[0] == QLatin1String("scanjob"))
        mNext = s;
    else if (mScan.running)
        return QStringLiteral("a scan is running");
    else if (!QRegularExpression(QStringLiteral("^[A-Za-z0-9]{1,8}$")).match(fmt).hasMatch())
        return QStringLiteral("bad format");
    else if (mFs.vqPut(kScanToPcReq, fmt.toUtf8() + '\n') != vqsimstatus::Ok)
        return QStringLiteral("no space for the request file");
    else
        vqStartScan(QStringLiteral("vqstdscans"), kScanToPcBase, fmt, true, qMax(s.parts, 0), s);
    return QString();
}

bool CvqSimPrinter::vqOutputToFile(const QByteArray& output) const
{
    return mExeOut == QLatin1String("file") || (mExeOut == QLatin1String("auto") && output.size() > 1000)
        || output.contains('\0');
}

QString CvqSimPrinter::vqJobStateText() const
{
    if (!mJobState.isEmpty())
        return QString(mJobState).replace(QLatin1String("\\n"), QLatin1String("\n"));
    const int mainRun = mSts.inPrintJob != 0 || mSts.statusBytes[7] == 2 ? 1 : 0;
    return QStringLiteral("vqmainjob.vqjobrun: %1\nvqmainjob.vqjobtp: %1\nvqscanjob.vqjobrun: %2\n"
                          "vqscanjob.vqjobtp: %3\nvqscanjob.vqjobrstcode: %4\nvqscanjob.vqjobwaitflag: 0\n")
        .arg(mainRun)
        .arg(mScan.running ? 1 : 0)
        .arg(mScan.running ? mScan.tp : QStringLiteral("0"))
        .arg(mScan.rstcode);
}

CvqSimExeResult CvqSimPrinter::vqExecute(const QString& cmdline)
{
    const QStringList parts = cmdline.split(' ', Qt::SkipEmptyParts);
    const QString prog = parts.value(0);
    const QStringList args = parts.mid(1);
    if (prog == QLatin1String("/usr/local/bin/vqm.exe") || prog == QLatin1String("/usr/local/bin/vqm.out")) {
        if (args != QStringList{QStringLiteral("o")})
            return fail(vqsimstatus::BadRequest);
        if (mStateCalls++ >= mStateFailAfter && mStateFailures > 0)
            return --mStateFailures, fail(vqsimstatus::Busy);
        if (mScan.held) {
            // The held last page appears now, and the answer already says the job is over.
            mScan.held = mScan.lastAtState = false;
            vqScanTick();
        }
        return done(vqJobStateText());
    }
    if (prog == QLatin1String("/usr/local/bin/vqlcd.exe") && args == QStringList{"vqwbMain", "t"})
        return done(mScannerAnswer);
    if (prog == QLatin1String("/usr/local/bin/vqlcd.exe") && args.value(0) == QLatin1String("vqdoscanMain"))
        return vqScanCommand(args.mid(1));
    if (prog == QLatin1String("/usr/local/bin/vqlcd.out") && args.mid(0, 2) == QStringList{"vqjmaMain", "prtpng"})
        return vqPrintCommand(args.mid(2));
    return vqBuiltin(prog, args);
}

// A few shell words, answered from the in-memory file system only.
CvqSimExeResult CvqSimPrinter::vqBuiltin(const QString& prog, const QStringList& args)
{
    const QString dir = prog.section('/', 0, -2), word = prog.section('/', -1);
    QString out;
    if (!(dir.isEmpty() || dir == QLatin1String("/bin") || dir == QLatin1String("/usr/bin")))
        return fail(vqsimstatus::Unsupported);
    if (word == QLatin1String("echo"))
        return done(args.join(' ') + '\n');
    // "cat FILE…"; "ls [-l] DIR": the files in a folder (with their sizes).
    for (const QString& a : args) {
        QByteArray data;
        if (word == QLatin1String("cat") && mFs.vqGet(a, &data) != vqsimstatus::Ok)
            return fail(vqsimstatus::NotFound);
        out += QString::fromUtf8(data);
        const QString prefix = QDir::cleanPath(a) + '/';
        for (const QString& f : mFs.vqList(prefix))
            if (word == QLatin1String("ls") && !f.mid(prefix.size()).contains('/'))
                out +=
                    (args.contains("-l") ? QStringLiteral("-rw-r--r-- 1 root root %1 ").arg(mFs.vqSize(f)) : QString())
                    + f.mid(prefix.size()) + '\n';
    }
    return word == QLatin1String("cat") || word == QLatin1String("ls") ? done(out) : fail(vqsimstatus::Unsupported);
}

CvqSimExeResult CvqSimPrinter::vqScanCommand(const QStringList& args)
{
    const QString mode = args.value(0);
    const QMap<QString, QString> p = vqSimOptions(args, 1);
    static const QRegularExpression safeTask(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
    const QString task = p.value("taskId"), base = p.value("saveToBaseWfn"), fmt = p.value("saveToFileFormat");
    const bool ok = safeTask.match(task).hasMatch() && task != QLatin1String(".") && task != QLatin1String("..")
        && QStringList({"128", "0", "1"}).contains(p.value("inputMode"))
        && QStringList({"0", "1"}).contains(p.value("colorMode"))
        && QStringList({"0", "1"}).contains(p.value("dpiMode"))
        && QStringList({"jpg", "jpeg", "png", "tif", "tiff"}).contains(fmt.toLower())
        && !p.value("scanPaperSizeTypeEngName").isEmpty() && base == kScanJobDir + task + QStringLiteral("/pic")
        && (!p.contains("isOutParted") || QStringList({"0", "1"}).contains(p.value("isOutParted")));
    if (mode == QLatin1String("try"))
        return done(!mNext.tryAnswer.isEmpty() ? mNext.tryAnswer : ok ? QStringLiteral("ok") : QStringLiteral("err"));
    if (mode != QLatin1String("run"))
        return fail(vqsimstatus::Unsupported);
    if (!ok || mScan.running)
        return fail(ok ? vqsimstatus::Busy : vqsimstatus::BadRequest);
    const int parts = mNext.parts >= 0 ? mNext.parts : (p.value("isOutParted") == QLatin1String("1") ? 3 : 0);
    vqStartScan(task, base, fmt, false, parts, mNext);
    return done(QStringLiteral("ok"));
}

void CvqSimPrinter::vqStartScan(const QString& task, const QString& base, const QString& fmt, bool toPc, int parts,
                                const Scan& s)
{
    mScan = s;
    mScan.running = true;
    mScan.tp = toPc ? QStringLiteral("11") : QStringLiteral("1");
    mScan.task = task;
    mScan.base = base;
    mScan.fmt = fmt;
    mScan.parts = parts;
    mScanTmr.start(parts > 0 ? qMax(5, s.interval / (parts + 1)) : s.interval);
}

// A page that differs from page to page (nothing on the PC decodes it).
static QByteArray makePage(int page)
{
    QByteArray bytes = "VQSIM page " + QByteArray::number(page) + '\n';
    for (int i = 0; i < 4000; ++i)
        bytes += char((i * 7 + page) & 0xFF);
    return bytes;
}

// One step of a scan: a whole page, or one part of a page (an empty part ends the page).
void CvqSimPrinter::vqScanTick()
{
    Scan& s = mScan;
    if (!s.running || s.page > s.pages)
        return s.running ? vqStopScan(s.result) : mScanTmr.stop();
    const QString stem = QStringLiteral("%1_%2").arg(s.base).arg(s.page, 4, 10, QLatin1Char('0'));
    if (s.part == 0)
        s.pageBytes = makePage(s.page);
    const int nparts = qMin(s.parts, s.pageBytes.size());
    const bool lastStep = s.page == s.pages && (s.parts <= 0 || s.part >= nparts - (s.openEnd ? 1 : 0));
    if (lastStep && s.lastAtState)
        return mScanTmr.stop(), void(s.held = true);
    const int size = nparts > 0 ? (s.pageBytes.size() + nparts - 1) / nparts : 0;
    const QByteArray slice = s.parts <= 0 ? s.pageBytes : s.part < nparts ? s.pageBytes.mid(s.part * size, size) : "";
    const QString name = s.parts <= 0 ? stem + '.' + s.fmt
                                      : QStringLiteral("%1.p%2.%3").arg(stem).arg(s.part, 8, 10, QChar('0')).arg(s.fmt);
    if (mFs.vqPut(name, slice) != vqsimstatus::Ok)
        return vqStopScan(8);
    // The page is whole after its last part (an open end has no empty end part).
    if (s.parts > 0 && s.part < nparts && !slice.isEmpty() && !(lastStep && s.openEnd)) {
        ++s.part;
        return;
    }
    vqWriteOut(QStringLiteral("scans/%1/%2/%3.%4").arg(mName, s.task, QFileInfo(stem).fileName(), s.fmt), s.pageBytes);
    s.part = 0;
    if (++s.page > s.pages)
        vqStopScan(s.result);
}

void CvqSimPrinter::vqStopScan(int result)
{
    mScanTmr.stop();
    mScan.running = mScan.held = false;
    mScan.rstcode = result;
    mScan.pageBytes.clear();
}

// Prints FILE: a copy under the output directory, the counters up, "printing" for a while.
CvqSimExeResult CvqSimPrinter::vqPrintCommand(const QStringList& args)
{
    const QStringList words = args.filter(QRegularExpression(QStringLiteral("^[^=]*$")));
    const QString file = words.value(words.size() - 1);
    QByteArray data;
    if (mFs.vqGet(file, &data) != vqsimstatus::Ok)
        return fail(vqsimstatus::NotFound);
    ++mPrinted;
    mSts.jobPrintedCount = quint16(mSts.jobPrintedCount + 1);
    mSts.allPrintCount = (mSts.allPrintCount + 1) & 0xFFFFFF;
    vqWriteOut(QStringLiteral("printed_%1_%2.png").arg(mName).arg(mPrinted, 4, 10, QLatin1Char('0')), data);
    if (vqSimOptions(args, 0).value("delAfterPrint") == QLatin1String("y"))
        mFs.vqRemove(file);
    if (!mPrintOverlay)
        mSavedB7 = mSts.statusBytes[7], mSavedInJob = mSts.inPrintJob;
    vqSetActivity(2, 1);
    mPrintOverlay = true;
    mPrintTmr.start(3000);
    vqSync();
    return done(QStringLiteral("ok"));
}

void CvqSimPrinter::vqWriteOut(const QString& relPath, const QByteArray& data)
{
    if (!mOutDir.isEmpty())
        CvqSimTree::vqWriteFileAtomic(QDir(mOutDir).filePath(relPath), data);
}
