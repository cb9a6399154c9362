#include "vqsimprograms.h"
#include "vqsimoptions.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QRegularExpression>
#include <QSaveFile>

static const QString kOneKeyReq = QStringLiteral("/tmp/vqonekeyprint.req.txt");
static const QString kScanToPcReq = QStringLiteral("/tmp/vqscantopc.req.txt");
static const QString kScanToPcBase = QStringLiteral("/tmp/vqstdscans/pic");
static const QString kScanJobDir = QStringLiteral("/tmp/vqkeltoscans/");
static const int kInlineOutputMax = 1000;
static const int kOutputFiles = 8;

QString vqsimstatus::vqText(quint8 status)
{
    switch (status) {
    case Ok: return QString();
    case NotFound: return QStringLiteral("no such file");
    case BadRequest: return QStringLiteral("bad request");
    case NoSpace: return QStringLiteral("no space");
    case Unsupported: return QStringLiteral("command not supported");
    case BadOffset: return QStringLiteral("bad offset");
    case Busy: return QStringLiteral("busy");
    case Refused: return QStringLiteral("refused");
    }
    return QStringLiteral("error");
}

static CvqSimExeResult fail(quint8 status)
{
    CvqSimExeResult r;
    r.status = status;
    r.err = vqsimstatus::vqText(status);
    return r;
}

static CvqSimExeResult done(const QString& output)
{
    CvqSimExeResult r;
    r.output = output;
    return r;
}

CvqSimPrograms::CvqSimPrograms(const QString& printerName, bool hasScan, const QString& outDir, CvqSimFs* fs,
                               CvqStsFields* sts)
    : mName(printerName), mHasScan(hasScan), mOutDir(outDir), mFs(fs), mSts(sts)
{
    mPrintTmr.setSingleShot(true);
    connect(&mPrintTmr, &QTimer::timeout, this, [this] {
        if (!mPrintOverlay)
            return;
        mPrintOverlay = false;
        mSts->statusBytes[7] = mSavedB7;
        mSts->inPrintJob = mSavedInJob;
        emit vqChanged();
    });
    connect(&mScanTmr, &QTimer::timeout, this, &CvqSimPrograms::vqScanTick);
    vqReset();
}

void CvqSimPrograms::vqReset()
{
    mPrintOverlay = false;
    mPrintTmr.stop();
    mJobStateOverride.clear();
    vqSetJobStateFailures(0, 0);
    mExeOut = QStringLiteral("auto");
    mScannerAnswer = mHasScan ? QStringLiteral("ok") : QStringLiteral("err");
    mNext = CvqSimScanSettings();
    mPrintTimeMs = 3000;
}

void CvqSimPrograms::vqSetActivity(quint8 b7, quint8 inJob)
{
    mPrintOverlay = false;
    mSts->statusBytes[7] = b7;
    mSts->inPrintJob = inJob;
}

QString CvqSimPrograms::vqPressKey()
{
    if (mFs->vqPut(kOneKeyReq, QByteArrayLiteral("1\n")) != CvqSimFs::Ok)
        return QStringLiteral("no space for the request file");
    ++mKeys;
    emit vqEvent(QStringLiteral("key %1").arg(mKeys));
    return QString();
}

QString CvqSimPrograms::vqStartPanelScan(const CvqSimScanSettings& s, const QString& fmt)
{
    if (mScan.running)
        return QStringLiteral("a scan is running");
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9]{1,8}$"));
    if (!safe.match(fmt).hasMatch())
        return QStringLiteral("bad format");
    if (mFs->vqPut(kScanToPcReq, fmt.toUtf8() + '\n') != CvqSimFs::Ok)
        return QStringLiteral("no space for the request file");
    vqStartScan(QStringLiteral("vqstdscans"), kScanToPcBase, fmt, true, qMax(s.parts, 0), s);
    return QString();
}

bool CvqSimPrograms::vqOutputToFile(const QByteArray& output) const
{
    return mExeOut == QLatin1String("file") || (mExeOut == QLatin1String("auto") && output.size() > kInlineOutputMax)
        || output.contains('\0');
}

QString CvqSimPrograms::vqNextOutputFile()
{
    return QStringLiteral("/tmp/vqexe.%1.out").arg(mExeOutSeq++ % kOutputFiles);
}

QString CvqSimPrograms::vqJobStateText() const
{
    if (!mJobStateOverride.isEmpty()) {
        QString t = mJobStateOverride;
        return t.replace(QLatin1String("\\n"), QLatin1String("\n"));
    }
    const bool mainRun = mSts->inPrintJob != 0 || mSts->statusBytes[7] == 2;
    return QStringLiteral("vqmainjob.vqjobrun: %1\nvqmainjob.vqjobtp: %2\nvqscanjob.vqjobrun: %3\n"
                          "vqscanjob.vqjobtp: %4\nvqscanjob.vqjobrstcode: %5\nvqscanjob.vqjobwaitflag: 0\n")
        .arg(mainRun ? 1 : 0)
        .arg(mainRun ? 1 : 0)
        .arg(mScan.running ? 1 : 0)
        .arg(mScan.running ? mScan.tp : QStringLiteral("0"))
        .arg(mScan.rstcode);
}

CvqSimExeResult CvqSimPrograms::vqExecute(const QString& cmdline)
{
    const QStringList parts = cmdline.split(' ', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return fail(vqsimstatus::BadRequest);
    const QString prog = parts[0];
    const QStringList args = parts.mid(1);
    if (prog == QLatin1String("/usr/local/bin/vqm.exe") || prog == QLatin1String("/usr/local/bin/vqm.out")) {
        if (args != QStringList{QStringLiteral("o")})
            return fail(vqsimstatus::BadRequest);
        if (mStateCalls++ >= mStateFailAfter && mStateFailures > 0) {
            --mStateFailures;
            return fail(vqsimstatus::Busy);
        }
        if (mScan.held) {
            // The held last page appears now, and the answer already says the job is over.
            mScan.held = false;
            mScan.lastAtState = false;
            vqScanTick();
        }
        return done(vqJobStateText());
    }
    if (prog == QLatin1String("/usr/local/bin/vqlcd.exe")) {
        if (args == QStringList{QStringLiteral("vqwbMain"), QStringLiteral("t")})
            return done(mScannerAnswer);
        if (args.size() >= 2 && args[0] == QLatin1String("vqdoscanMain"))
            return vqScanCommand(args.mid(1));
        return fail(vqsimstatus::Unsupported);
    }
    if (prog == QLatin1String("/usr/local/bin/vqlcd.out")) {
        if (args.size() >= 3 && args[0] == QLatin1String("vqjmaMain") && args[1] == QLatin1String("prtpng"))
            return vqPrintCommand(args.mid(2));
        return fail(vqsimstatus::Unsupported);
    }
    return vqBuiltin(prog, args);
}

// A few shell words, answered from the in-memory file system only.
CvqSimExeResult CvqSimPrograms::vqBuiltin(const QString& prog, const QStringList& args)
{
    const int slash = prog.lastIndexOf('/');
    const QString dir = slash < 0 ? QString() : prog.left(slash);
    const QString word = prog.mid(slash + 1);
    if (!(dir.isEmpty() || dir == QLatin1String("/bin") || dir == QLatin1String("/usr/bin")))
        return fail(vqsimstatus::Unsupported);
    if (word == QLatin1String("echo"))
        return done(args.join(' ') + '\n');
    if (word == QLatin1String("true"))
        return done(QString());
    if (word == QLatin1String("false"))
        return fail(vqsimstatus::BadRequest);
    if (word == QLatin1String("cat")) {
        QString out;
        for (const QString& a : args) {
            QByteArray data;
            if (!mFs->vqGet(a, &data))
                return fail(vqsimstatus::NotFound);
            out += QString::fromUtf8(data);
        }
        return done(out);
    }
    if (word == QLatin1String("ls")) {
        bool longForm = false;
        QStringList paths;
        for (const QString& a : args) {
            if (a == QLatin1String("-l"))
                longForm = true;
            else
                paths << a;
        }
        if (paths.isEmpty())
            paths << QStringLiteral("/tmp");
        QString out;
        for (const QString& p : qAsConst(paths)) {
            const QString abs = QDir::cleanPath(p.startsWith('/') ? p : QStringLiteral("/tmp/") + p);
            QStringList names;
            if (mFs->vqHas(abs)) {
                names << abs;
            } else {
                const QString prefix = abs == QLatin1String("/") ? abs : abs + '/';
                for (const QString& f : mFs->vqList(prefix)) {
                    const QString name = f.mid(prefix.size()).section('/', 0, 0);
                    if (!names.contains(name))
                        names << name;
                }
                if (names.isEmpty())
                    return fail(vqsimstatus::NotFound);
            }
            for (const QString& name : qAsConst(names)) {
                if (!longForm) {
                    out += name + '\n';
                    continue;
                }
                const QString full = name.startsWith('/') ? name : (abs == QLatin1String("/") ? abs : abs + '/') + name;
                const qint64 size = mFs->vqSize(full);
                out += (size < 0 ? QStringLiteral("drwxr-xr-x 2 root root 0 ")
                                 : QStringLiteral("-rw-r--r-- 1 root root %1 ").arg(size))
                    + name + '\n';
            }
        }
        return done(out);
    }
    return fail(vqsimstatus::Unsupported);
}

CvqSimExeResult CvqSimPrograms::vqScanCommand(const QStringList& args)
{
    const QString mode = args[0];
    if (mode != QLatin1String("try") && mode != QLatin1String("run"))
        return fail(vqsimstatus::Unsupported);
    const CvqSimOptions p(args, 1);
    static const QStringList formats = {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"),
                                        QStringLiteral("tif"), QStringLiteral("tiff")};
    static const QRegularExpression safeTask(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
    const QString task = p.vqValue("taskId");
    const QString base = p.vqValue("saveToBaseWfn");
    bool ok = safeTask.match(task).hasMatch() && task != QLatin1String(".") && task != QLatin1String("..");
    ok = ok && QStringList({"128", "0", "1"}).contains(p.vqValue("inputMode"));
    ok = ok && QStringList({"0", "1"}).contains(p.vqValue("colorMode"));
    ok = ok && QStringList({"0", "1"}).contains(p.vqValue("dpiMode"));
    ok = ok && formats.contains(p.vqValue("saveToFileFormat").toLower());
    ok = ok && !p.vqValue("scanPaperSizeTypeEngName").isEmpty();
    ok = ok && base == kScanJobDir + task + QStringLiteral("/pic");
    ok = ok && (!p.vqHas("isOutParted") || QStringList({"0", "1"}).contains(p.vqValue("isOutParted")));
    if (mode == QLatin1String("try"))
        return done(!mNext.tryAnswer.isEmpty() ? mNext.tryAnswer : ok ? QStringLiteral("ok") : QStringLiteral("err"));
    if (!ok)
        return fail(vqsimstatus::BadRequest);
    if (mScan.running)
        return fail(vqsimstatus::Busy);
    const int parts = mNext.parts >= 0 ? mNext.parts : (p.vqValue("isOutParted") == QLatin1String("1") ? 3 : 0);
    vqStartScan(task, base, p.vqValue("saveToFileFormat"), false, parts, mNext);
    return done(QStringLiteral("ok"));
}

void CvqSimPrograms::vqStartScan(const QString& task, const QString& base, const QString& fmt, bool toPc, int parts,
                                 const CvqSimScanSettings& s)
{
    mScan.pages = s.pages;
    mScan.interval = s.interval;
    mScan.result = s.result;
    mScan.running = true;
    mScan.tp = toPc ? QStringLiteral("11") : QStringLiteral("1");
    mScan.task = task;
    mScan.base = base;
    mScan.fmt = fmt;
    mScan.parts = parts;
    mScan.page = 1;
    mScan.part = 0;
    mScan.lastAtState = s.lastAtState;
    mScan.openEnd = s.openEnd;
    mScan.held = false;
    mScan.outDir = QStringLiteral("scans/%1/%2").arg(mName, task);
    emit vqEvent(QStringLiteral("scan-start task=%1 pages=%2 parts=%3").arg(task).arg(mScan.pages).arg(parts));
    mScanTmr.start(parts > 0 ? qMax(5, mScan.interval / (parts + 1)) : mScan.interval);
}

// A small grayscale page that differs from page to page, in the asked format
// when this Qt can write it, else as plain bytes.
static QByteArray makePage(int page, const QString& fmt)
{
    QImage img(120, 160, QImage::Format_Grayscale8);
    for (int y = 0; y < img.height(); ++y) {
        uchar* line = img.scanLine(y);
        for (int x = 0; x < img.width(); ++x)
            line[x] = uchar(y < page * 6 ? 0 : (x * 2 + y + page * 37) & 0xFF);
    }
    QByteArray kind = fmt.toLower().toLatin1();
    if (kind == "jpg")
        kind = "jpeg";
    if (kind == "tif")
        kind = "tiff";
    QByteArray bytes;
    if (QImageWriter::supportedImageFormats().contains(kind)) {
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        if (img.save(&buf, kind.constData()))
            return bytes;
    }
    bytes = "VQSIM page " + QByteArray::number(page) + '\n';
    for (int i = 0; i < 4000; ++i)
        bytes += char((i * 7 + page) & 0xFF);
    return bytes;
}

void CvqSimPrograms::vqScanTick()
{
    if (!mScan.running) {
        mScanTmr.stop();
        return;
    }
    const auto stem = QStringLiteral("%1_%2").arg(mScan.base).arg(mScan.page, 4, 10, QLatin1Char('0'));
    const auto outName = QStringLiteral("%1/%2_%3.%4")
                             .arg(mScan.outDir, QFileInfo(mScan.base).fileName())
                             .arg(mScan.page, 4, 10, QLatin1Char('0'))
                             .arg(mScan.fmt);
    if (mScan.page <= mScan.pages) {
        if (mScan.part == 0)
            mScan.pageBytes = makePage(mScan.page, mScan.fmt);
        const int nparts = qMin(mScan.parts, mScan.pageBytes.size());
        const bool lastPage = mScan.page == mScan.pages;
        const bool lastStep = lastPage && (mScan.parts <= 0 || mScan.part >= nparts - (mScan.openEnd ? 1 : 0));
        if (lastStep && mScan.lastAtState) {
            mScanTmr.stop();
            mScan.held = true;
            return;
        }
        CvqSimFs::Result r = CvqSimFs::Ok;
        if (mScan.parts <= 0) {
            r = mFs->vqPut(stem + '.' + mScan.fmt, mScan.pageBytes);
            vqWriteOut(outName, mScan.pageBytes, nullptr);
            ++mScan.page;
        } else {
            const int size = (mScan.pageBytes.size() + nparts - 1) / nparts;
            const QString partName =
                QStringLiteral("%1.p%2.%3").arg(stem).arg(mScan.part, 8, 10, QLatin1Char('0')).arg(mScan.fmt);
            const QByteArray slice = mScan.part < nparts ? mScan.pageBytes.mid(mScan.part * size, size) : QByteArray();
            r = mFs->vqPut(partName, slice);
            if (mScan.part < nparts && !slice.isEmpty() && !(lastStep && mScan.openEnd)) {
                ++mScan.part;
            } else if (lastStep && mScan.openEnd) {
                vqWriteOut(outName, mScan.pageBytes, nullptr);
                ++mScan.page;  // the page stays open: no end part
            } else {
                vqWriteOut(outName, mScan.pageBytes, nullptr);
                mScan.part = 0;
                ++mScan.page;
            }
        }
        if (r != CvqSimFs::Ok) {
            vqStopScan(8);
            return;
        }
    }
    if (mScan.page > mScan.pages)
        vqStopScan(mScan.result);
}

void CvqSimPrograms::vqStopScan(int result)
{
    mScanTmr.stop();
    mScan.running = false;
    mScan.held = false;
    mScan.rstcode = result;
    mScan.pageBytes.clear();
    emit vqEvent(QStringLiteral("scan-done task=%1 result=%2").arg(mScan.task).arg(result));
}

CvqSimExeResult CvqSimPrograms::vqPrintCommand(const QStringList& args)
{
    const CvqSimOptions o(args, 0);
    const QStringList words = o.vqWords();
    const QString file = words.isEmpty() ? QString() : words.last();
    const bool delAfter = o.vqValue(QStringLiteral("delAfterPrint")) == QLatin1String("y");
    QByteArray data;
    if (file.isEmpty() || !mFs->vqGet(file, &data))
        return fail(vqsimstatus::NotFound);
    QBuffer buf(&data);
    buf.open(QIODevice::ReadOnly);
    QImageReader reader(&buf, "png");
    const QSize size = reader.size();
    ++mPrinted;
    mSts->jobPrintedCount = quint16(mSts->jobPrintedCount + 1);
    mSts->allPrintCount = (mSts->allPrintCount + 1) & 0xFFFFFF;
    QString written;
    vqWriteOut(QStringLiteral("printed_%1_%2.png").arg(mName).arg(mPrinted, 4, 10, QLatin1Char('0')), data, &written);
    if (delAfter)
        mFs->vqRemove(file);
    emit vqEvent(QStringLiteral("printed %1 %2 %3x%4")
                     .arg(mPrinted)
                     .arg(written.isEmpty() ? QStringLiteral("-") : written)
                     .arg(size.width())
                     .arg(size.height()));
    if (mPrintTimeMs > 0) {
        if (!mPrintOverlay) {
            mSavedB7 = mSts->statusBytes[7];
            mSavedInJob = mSts->inPrintJob;
        }
        mPrintOverlay = true;
        mSts->statusBytes[7] = 2;
        mSts->inPrintJob = 1;
        mPrintTmr.start(mPrintTimeMs);
    }
    emit vqChanged();
    return done(QStringLiteral("ok"));
}

bool CvqSimPrograms::vqWriteOut(const QString& relPath, const QByteArray& data, QString* written)
{
    if (mOutDir.isEmpty())
        return false;
    const QString path = QDir(mOutDir).filePath(relPath);
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit())
        return false;
    if (written)
        *written = path;
    return true;
}
