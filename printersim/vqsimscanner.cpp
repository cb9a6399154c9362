#include "vqsimscanner.h"

#include "vqsimargs.h"
#include "vqsimfs.h"

#include <QFileInfo>
#include <QRegularExpression>

static const QString kScanToPcReq = QStringLiteral("/tmp/vqscantopc.req.txt");
static const QString kScanToPcBase = QStringLiteral("/tmp/vqstdscans/pic");
static const QString kScanJobDir = QStringLiteral("/tmp/vqkeltoscans/");

CvqSimScanner::CvqSimScanner(CvqSimFs* fs, const QString& printer, Keep keep)
    : mFs(fs), mPrinter(printer), mKeep(std::move(keep))
{
    QObject::connect(&mTmr, &QTimer::timeout, &mTmr, [this] { tick(); });
}

QString CvqSimScanner::stop(const QMap<QString, QString>& options)
{
    qint64 result = 8;
    if (!vqSimNumber(options.value("result"), &result, 0, 255) || !mScan.running)
        return QStringLiteral("bad result, or no scan is running");
    end(int(result));
    return QString();
}

QString CvqSimScanner::vqControl(const QStringList& args)
{
    if (args[0] == QLatin1String("scan") && args.value(1) == QLatin1String("stop"))
        return stop(vqSimOptions(args, 2));
    const QMap<QString, QString> o = vqSimOptions(args, 1);
    Scan s = mNext;
    qint64 pages = s.pages, parts = s.parts, interval = s.interval, result = s.result, open = s.openEnd;
    const QString last = o.value("last", s.lastAtState ? "state" : "tick");
    if (!vqSimNumber(o.value("pages"), &pages, 0, 9999) || !vqSimNumber(o.value("parts"), &parts, -1, 1000)
        || !vqSimNumber(o.value("interval"), &interval, 1, 600000) || !vqSimNumber(o.value("result"), &result, 0, 255)
        || !vqSimNumber(o.value("open"), &open, 0, 1) || !QStringList({"state", "tick"}).contains(last))
        return QStringLiteral("bad scan options");
    s.pages = int(pages);
    s.parts = int(parts);
    s.interval = int(interval);
    s.result = int(result);
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
    else if (mFs->vqPut(kScanToPcReq, fmt.toUtf8() + '\n') != vqsimstatus::Ok)
        return QStringLiteral("no space for the request file");
    else
        start(QStringLiteral("vqstdscans"), kScanToPcBase, fmt, true, qMax(s.parts, 0), s);
    return QString();
}

CvqSimExeResult CvqSimScanner::vqCommand(const QStringList& args)
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
        return CvqSimExeResult::vqDone(!mNext.tryAnswer.isEmpty() ? mNext.tryAnswer
                                           : ok                   ? QStringLiteral("ok")
                                                                  : QStringLiteral("err"));
    if (mode != QLatin1String("run"))
        return CvqSimExeResult::vqFail(vqsimstatus::Unsupported);
    if (!ok || mScan.running)
        return CvqSimExeResult::vqFail(ok ? vqsimstatus::Busy : vqsimstatus::BadRequest);
    const int parts = mNext.parts >= 0 ? mNext.parts : (p.value("isOutParted") == QLatin1String("1") ? 3 : 0);
    start(task, base, fmt, false, parts, mNext);
    return CvqSimExeResult::vqDone(QStringLiteral("ok"));
}

void CvqSimScanner::vqStateRead()
{
    if (!mScan.held)
        return;
    // The held last page appears now, and the answer already says the job is over.
    mScan.held = false;
    mScan.lastAtState = false;
    tick();
}

QString CvqSimScanner::vqStateLines() const
{
    return QStringLiteral("vqscanjob.vqjobrun: %1\nvqscanjob.vqjobtp: %2\nvqscanjob.vqjobrstcode: %3\n"
                          "vqscanjob.vqjobwaitflag: 0\n")
        .arg(mScan.running ? 1 : 0)
        .arg(mScan.running ? mScan.tp : QStringLiteral("0"))
        .arg(mScan.rstcode);
}

void CvqSimScanner::start(const QString& task, const QString& base, const QString& fmt, bool toPc, int parts,
                          const Scan& s)
{
    mScan = s;
    mScan.running = true;
    mScan.tp = toPc ? QStringLiteral("11") : QStringLiteral("1");
    mScan.task = task;
    mScan.base = base;
    mScan.fmt = fmt;
    mScan.parts = parts;
    mTmr.start(parts > 0 ? qMax(5, s.interval / (parts + 1)) : s.interval);
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
void CvqSimScanner::tick()
{
    Scan& s = mScan;
    if (!s.running)
        return mTmr.stop();
    if (s.page > s.pages)
        return end(s.result);
    const QString stem = QStringLiteral("%1_%2").arg(s.base).arg(s.page, 4, 10, QLatin1Char('0'));
    if (s.part == 0)
        s.pageBytes = makePage(s.page);
    const int nparts = qMin(s.parts, s.pageBytes.size());
    const bool lastStep = s.page == s.pages && (s.parts <= 0 || s.part >= nparts - (s.openEnd ? 1 : 0));
    if (lastStep && s.lastAtState) {
        mTmr.stop();
        s.held = true;
        return;
    }
    const int size = nparts > 0 ? (s.pageBytes.size() + nparts - 1) / nparts : 0;
    const QByteArray slice = s.parts <= 0 ? s.pageBytes : s.part < nparts ? s.pageBytes.mid(s.part * size, size) : "";
    const QString name = s.parts <= 0 ? stem + '.' + s.fmt
                                      : QStringLiteral("%1.p%2.%3").arg(stem).arg(s.part, 8, 10, QChar('0')).arg(s.fmt);
    if (mFs->vqPut(name, slice) != vqsimstatus::Ok)
        return end(8);
    // The page is whole after its last part (an open end has no empty end part).
    if (s.parts > 0 && s.part < nparts && !slice.isEmpty() && !(lastStep && s.openEnd)) {
        ++s.part;
        return;
    }
    mKeep(QStringLiteral("scans/%1/%2/%3.%4").arg(mPrinter, s.task, QFileInfo(stem).fileName(), s.fmt), s.pageBytes);
    s.part = 0;
    if (++s.page > s.pages)
        end(s.result);
}

void CvqSimScanner::end(int result)
{
    mTmr.stop();
    mScan.running = false;
    mScan.held = false;
    mScan.rstcode = result;
    mScan.pageBytes.clear();
}
