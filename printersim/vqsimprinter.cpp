#include "vqsimprinter.h"

#include "vqsimargs.h"
#include "vqsimhttp.h"
#include "vqsimserial.h"
#include "vqsimsts.h"
#include "vqsimtree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <climits>

CvqSimPrinter::CvqSimPrinter(const QString& name, const QString& queue, const CvqSimPrinterConfig& cfg,
                             CvqSimTree* tree, const QString& outDir, qint64 fsLimit)
    : mName(name), mSn(cfg.sn), mQueue(queue), mHttpWanted(cfg.http), mOutDir(outDir), mRomverAtStart(cfg.romver),
      mModel(CvqSimModel::vqOf(cfg.model)), mUsbPort(cfg.usbPort), mBareId(cfg.bareId),
      mInstanceId(QStringLiteral("USB\\VID_1A2B&PID_%1\\%2").arg(mModel.pid, mSn)), mFs(fsLimit),
      mEntry(tree, name, queue, mInstanceId, cfg.usbPort, cfg.sn, cfg.winePrefix),
      mScanner(&mFs, name, [this](const QString& rel, const QByteArray& data) { writeOut(rel, data); }),
      mSerial(new CvqSimSerial(this))
{
    // A print lends the printer its "printing" for a while.
    mPrintTmr.setSingleShot(true);
    connect(&mPrintTmr, &QTimer::timeout, this, [this] {
        if (!mPrintOverlay)
            return;
        vqSetActivity(mSavedB7, mSavedInJob);
        vqSync();
    });
    vqReset();
}

CvqSimPrinter::~CvqSimPrinter() = default;

bool CvqSimPrinter::vqStart(QString* error)
{
    if (!mEntry.vqComPlaceFree(error) || !mSerial->vqOpen(error))
        return false;
    mStarted = true;
    if (!mHttpWanted.isEmpty()) {
        mHttp.reset(new CvqSimHttp(this));
        if (!mHttp->vqListen(mHttpWanted, error))
            return false;
    }
    vqSync();
    return true;
}

QString CvqSimPrinter::vqSummary() const
{
    // Under a Wine prefix the Windows side opens the port as COMn.
    const QString com = mEntry.vqComName();
    return QStringLiteral("printer %1 pty=%2 http=%3 sn=%4 instance=%5%6")
        .arg(mName, mSerial->vqPath(), mHttp ? mHttp->vqAddress() : QStringLiteral("none"), mSn, mInstanceId,
             com.isEmpty() ? QString() : QStringLiteral(" com=") + com);
}

QString CvqSimPrinter::vqStatusLine() const
{
    QStringList plugged;
    for (const QString& p : kParts)
        if (mPlugged.value(p))
            plugged << p;
    const QStringList faults = vqSimFaultNames(mSts);
    return QStringLiteral("status %1 plugged=%2 faults=%3 printed=%4 uprom=%5 requests=%6 sn=%7 pty=%8")
        .arg(mName, plugged.join(','), faults.isEmpty() ? QStringLiteral("none") : faults.join(','))
        .arg(mPrinted)
        .arg(mUproms)
        .arg(mSerial->vqRequests())
        .arg(mSn, mSerial->vqPath());
}

int CvqSimPrinter::vqCondition(const QStringList& c) const
{
    qint64 n = 0;
    const bool num = c.size() == 2 && vqSimNumber(c[1], &n, 0, INT_MAX);
    const QString what = c.size() == 2 ? c[0] : QString();
    const QMap<QString, qint64> counts{{"printed", mPrinted}, {"uprom", mUproms}, {"requests", mSerial->vqRequests()}};
    if (num && counts.contains(what))
        return counts[what] >= n;
    if (what == QLatin1String("gone"))
        return !mFs.vqHas(c[1]);
    if (what == QLatin1String("scan") && c[1] == QLatin1String("idle"))
        return !mScanner.vqRunning();
    return -1;
}

// ---- requests

void CvqSimPrinter::vqNoteRequest(const QString& line)
{
    // One clock for every printer, so tests can compare requests across them.
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    mHistory.append(QStringLiteral("t=%1 ").arg(clock.elapsed()) + line);
    while (mHistory.size() > 256)
        mHistory.removeFirst();
}

bool CvqSimPrinter::refused(const char* op)
{
    if (mRefuse != QLatin1String(op))
        return false;
    mRefuse.clear();
    return true;
}

quint8 CvqSimPrinter::vqWrite(const QString& path, qint64 offset, const QByteArray& bytes)
{
    return refused("put") ? quint8(vqsimstatus::Refused) : mFs.vqWrite(path, offset, bytes);
}

quint8 CvqSimPrinter::vqRemove(const QString& path)
{
    if (CvqSimFs::vqResolve(path).isEmpty())
        return vqsimstatus::NotFound;
    return refused("del") ? quint8(vqsimstatus::Refused) : mFs.vqRemove(path);
}

quint8 CvqSimPrinter::vqKeepOutput(const QByteArray& output, QString* file)
{
    file->clear();
    if (mExeOut != QLatin1String("file") && (mExeOut != QLatin1String("auto") || output.size() <= 1000)
        && !output.contains('\0'))
        return vqsimstatus::Ok;
    // A few are kept for the PC to fetch.
    *file = QStringLiteral("/tmp/vqexe.%1.out").arg(mExeOutSeq++ % 8);
    return mFs.vqPut(*file, output) == vqsimstatus::Ok ? vqsimstatus::Ok : vqsimstatus::NoSpace;
}

QByteArray CvqSimPrinter::deviceId() const
{
    return vqMakeDeviceId("Morvane " + mModel.type, mRomver, mSn, mSts, mModel.pxg);
}

QByteArray CvqSimPrinter::usbReply() const { return mBareId ? deviceId() : vqWithIdLength(deviceId()); }

QByteArray CvqSimPrinter::vqWebPage(bool snap) const
{
    const QString key = snap ? QStringLiteral("snap") : QStringLiteral("id");
    if (mWeb.contains(key))
        return mWeb.value(key).toUtf8();
    if (!snap)
        return deviceId();
    // The activity code from status byte 7 and the job flag.
    static const int noJob[6] = {2, 1, 4, 2, 0, 7}, job[6] = {6, 6, 4, 2, 6, 7};
    const quint8 b7 = mSts.statusBytes[7];
    const bool active = mSts.inPrintJob != 0;
    const int pa = b7 > 5 ? (active ? 6 : 2) : active ? job[b7] : noJob[b7];
    const QJsonObject o{{"vqProductType", mWeb.value(QStringLiteral("type"), mModel.type)},
                        {"romver", mWeb.value(QStringLiteral("romver"), mRomver)},
                        {"pa", pa},
                        {"sn", mSn}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

void CvqSimPrinter::vqFirmwareUploaded(const QByteArray& image)
{
    ++mUproms;
    writeOut(QStringLiteral("uprom_%1_%2.RM").arg(mName).arg(mUproms, 4, 10, QLatin1Char('0')), image);
}

void CvqSimPrinter::writeOut(const QString& relPath, const QByteArray& data)
{
    if (!mOutDir.isEmpty())
        CvqSimTree::vqWriteFileAtomic(QDir(mOutDir).filePath(relPath), data);
}

// ---- the programs

CvqSimExeResult CvqSimPrinter::vqExecute(const QString& cmdline)
{
    const QStringList parts = cmdline.split(' ', Qt::SkipEmptyParts);
    const QString prog = parts.value(0);
    const QStringList args = parts.mid(1);
    if (prog == QLatin1String("/usr/local/bin/vqm.exe") || prog == QLatin1String("/usr/local/bin/vqm.out"))
        return args == QStringList{QStringLiteral("o")} ? jobState() : CvqSimExeResult::vqFail(vqsimstatus::BadRequest);
    if (prog == QLatin1String("/usr/local/bin/vqlcd.exe") && args == QStringList{"vqwbMain", "t"})
        return CvqSimExeResult::vqDone(mScannerAnswer);
    if (prog == QLatin1String("/usr/local/bin/vqlcd.exe") && args.value(0) == QLatin1String("vqdoscanMain"))
        return mScanner.vqCommand(args.mid(1));
    if (prog == QLatin1String("/usr/local/bin/vqlcd.out") && args.mid(0, 2) == QStringList{"vqjmaMain", "prtpng"})
        return print(args.mid(2));
    return builtin(prog, args);
}

CvqSimExeResult CvqSimPrinter::jobState()
{
    const bool fails = mStateCalls >= mStateFailAfter && mStateFailures > 0;
    ++mStateCalls;
    if (fails) {
        --mStateFailures;
        return CvqSimExeResult::vqFail(vqsimstatus::Busy);
    }
    mScanner.vqStateRead();
    if (!mJobState.isEmpty())
        return CvqSimExeResult::vqDone(QString(mJobState).replace(QLatin1String("\\n"), QLatin1String("\n")));
    const int mainRun = mSts.inPrintJob != 0 || mSts.statusBytes[7] == 2 ? 1 : 0;
    return CvqSimExeResult::vqDone(QStringLiteral("vqmainjob.vqjobrun: %1\nvqmainjob.vqjobtp: %1\n").arg(mainRun)
                                   + mScanner.vqStateLines());
}

void CvqSimPrinter::vqFailJobState(int count, int after)
{
    mStateCalls = 0;
    mStateFailAfter = after;
    mStateFailures = count;
}

// A few shell words, answered from the in-memory file system only.
CvqSimExeResult CvqSimPrinter::builtin(const QString& prog, const QStringList& args)
{
    const QString dir = prog.section('/', 0, -2), word = prog.section('/', -1);
    QString out;
    if (!(dir.isEmpty() || dir == QLatin1String("/bin") || dir == QLatin1String("/usr/bin")))
        return CvqSimExeResult::vqFail(vqsimstatus::Unsupported);
    if (word == QLatin1String("echo"))
        return CvqSimExeResult::vqDone(args.join(' ') + '\n');
    // "cat FILE…"; "ls [-l] DIR": the files in a folder (with their sizes).
    for (const QString& a : args) {
        QByteArray data;
        if (word == QLatin1String("cat") && mFs.vqGet(a, &data) != vqsimstatus::Ok)
            return CvqSimExeResult::vqFail(vqsimstatus::NotFound);
        out += QString::fromUtf8(data);
        const QString prefix = QDir::cleanPath(a) + '/';
        for (const QString& f : mFs.vqList(prefix))
            if (word == QLatin1String("ls") && !f.mid(prefix.size()).contains('/'))
                out +=
                    (args.contains("-l") ? QStringLiteral("-rw-r--r-- 1 root root %1 ").arg(mFs.vqSize(f)) : QString())
                    + f.mid(prefix.size()) + '\n';
    }
    if (word == QLatin1String("cat") || word == QLatin1String("ls"))
        return CvqSimExeResult::vqDone(out);
    return CvqSimExeResult::vqFail(vqsimstatus::Unsupported);
}

// Prints FILE: a copy under the output directory, the counters up, "printing" for a while.
CvqSimExeResult CvqSimPrinter::print(const QStringList& args)
{
    const QStringList words = args.filter(QRegularExpression(QStringLiteral("^[^=]*$")));
    const QString file = words.value(words.size() - 1);
    QByteArray data;
    if (mFs.vqGet(file, &data) != vqsimstatus::Ok)
        return CvqSimExeResult::vqFail(vqsimstatus::NotFound);
    ++mPrinted;
    mSts.jobPrintedCount = quint16(mSts.jobPrintedCount + 1);
    mSts.allPrintCount = (mSts.allPrintCount + 1) & 0xFFFFFF;
    writeOut(QStringLiteral("printed_%1_%2.png").arg(mName).arg(mPrinted, 4, 10, QLatin1Char('0')), data);
    if (vqSimOptions(args, 0).value("delAfterPrint") == QLatin1String("y"))
        mFs.vqRemove(file);
    if (!mPrintOverlay) {
        mSavedB7 = mSts.statusBytes[7];
        mSavedInJob = mSts.inPrintJob;
    }
    vqSetActivity(2, 1);
    mPrintOverlay = true;
    mPrintTmr.start(3000);
    vqSync();
    return CvqSimExeResult::vqDone(QStringLiteral("ok"));
}

// ---- what control lines set

void CvqSimPrinter::vqReset()
{
    mSts = CvqStsFields();
    mRomver = mRomverAtStart;
    mWeb.clear();
    mJobs = 0;
    for (const QString& p : kParts)
        mPlugged[p] = true;
    mRefuse.clear();
    mPrintOverlay = false;
    mPrintTmr.stop();
    mJobState.clear();
    mStateFailures = 0;
    mExeOut = QStringLiteral("auto");
    mScannerAnswer = mModel.hasScan ? QStringLiteral("ok") : QStringLiteral("err");
    mScanner.vqResetNext();
    mSerial->vqSetFault({QStringLiteral("clear")});
    if (mHttp)
        mHttp->vqSetFault({QStringLiteral("clear")});
}

void CvqSimPrinter::vqSetActivity(quint8 b7, quint8 inJob)
{
    mPrintOverlay = false;
    mSts.statusBytes[7] = b7;
    mSts.inPrintJob = inJob;
}

QString CvqSimPrinter::vqSetLinkFault(const QStringList& args) { return mSerial->vqSetFault(args); }

QString CvqSimPrinter::vqSetHttpFault(const QStringList& args)
{
    return mHttp ? mHttp->vqSetFault(args) : QStringLiteral("this printer has no web server");
}

// Brings the host tree and the serial port in line with the printer's state.
void CvqSimPrinter::vqSync()
{
    mEntry.vqShowDevice(mPlugged.value("device") ? usbReply() : QByteArray(), !mPlugged.value("idread"));
    mEntry.vqShowQueue(mPlugged.value("queue"), mJobs);
    syncPort();
}

void CvqSimPrinter::syncPort()
{
    QString error;
    if (mStarted && mPlugged.value("port") != mSerial->vqIsOpen()) {
        if (!mPlugged.value("port"))
            mSerial->vqClose();
        else if (!mSerial->vqOpen(&error))
            qWarning("%s", qPrintable(error));
    }
    // A closed port has no entry: its old name may soon belong to another terminal.
    mEntry.vqShowSerial(mPlugged.value("serial") && mSerial->vqIsOpen() ? mSerial->vqPath() : QString());
}
