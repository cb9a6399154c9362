#include "vqsimprinter.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

const QList<CvqSimModel>& vqSimModels()
{
    static const QList<CvqSimModel> models = {
        {"P4120W", "0101", 2, false},  {"M5020F", "0109", 2, true},   {"P7760FDN", "0106", 1, false},
        {"M5960FDW", "0111", 2, true}, {"P5220DN", "0187", 3, false}, {"M-Series", "01D1", 2, true},
    };
    return models;
}

CvqSimPrinter::CvqSimPrinter(const QString& name, const QString& queue, const CvqSimPrinterConfig& cfg,
                             CvqSimTree* tree, const QString& outDir, qint64 fsLimit)
    : mFs(fsLimit), mName(name), mSn(cfg.sn), mQueue(queue), mHttpWanted(cfg.http), mWinePrefix(cfg.winePrefix),
      mOutDir(outDir), mRomverAtStart(cfg.romver), mModel{cfg.model, QStringLiteral("0101"), 2, false},
      mUsbPort(cfg.usbPort), mTree(tree), mSerial(new CvqSimSerial(this))
{
    mBareId = cfg.bareId;
    for (const CvqSimModel& m : vqSimModels())
        if (m.type.compare(cfg.model, Qt::CaseInsensitive) == 0)
            mModel = m;
    mInstanceId = QStringLiteral("USB\\VID_1A2B&PID_%1\\%2").arg(mModel.pid, mSn);
    // A print lends the printer its "printing" for a while.
    mPrintTmr.setSingleShot(true);
    connect(&mPrintTmr, &QTimer::timeout, this, [this] {
        if (mPrintOverlay)
            vqSetActivity(mSavedB7, mSavedInJob), vqSync();
    });
    connect(&mScanTmr, &QTimer::timeout, this, &CvqSimPrinter::vqScanTick);
    vqReset();
}

QString CvqSimPrinter::vqComLink() const { return mWinePrefix + QStringLiteral("/dosdevices/com%1").arg(4 + mUsbPort); }

// Our COM links point at pseudo-terminals: one of those is replaced (left by an
// earlier run), anything else in its place is not ours to touch.
static bool comPlaceFree(const QString& link, QString* error)
{
    const QFileInfo fi(link);
    if ((!fi.isSymLink() && !fi.exists()) || fi.symLinkTarget().startsWith(QLatin1String("/dev/pts/")))
        return true;
    *error = link + QStringLiteral(" is taken by something other than a link to a pseudo-terminal");
    return false;
}

void CvqSimPrinter::vqUnlinkCom()
{
    if (!mComTarget.isEmpty() && QFileInfo(vqComLink()).symLinkTarget() == mComTarget)
        QFile::remove(vqComLink());
    mComTarget.clear();
}

bool CvqSimPrinter::vqStart(QString* error)
{
    if ((!mWinePrefix.isEmpty() && !comPlaceFree(vqComLink(), error)) || !mSerial->vqOpen(error))
        return false;
    mStarted = true;
    if (!mHttpWanted.isEmpty() && !(mHttp.reset(new CvqSimHttp(this)), mHttp->vqListen(mHttpWanted, error)))
        return false;
    vqSync();
    return true;
}

void CvqSimPrinter::vqRemoveFromTree()
{
    mTree->vqRemoveDevice(mInstanceId);
    mTree->vqRemoveSerialPort(mName);
    vqUnlinkCom();
    mTree->vqRemoveQueue(mQueue);
    mTreeQueue = mTreeSerial = mTreeReadFails = false;
    mTreeId.clear();
    mTreeJobs = -1;
}

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

void CvqSimPrinter::vqFirmwareUploaded(const QByteArray& image)
{
    ++mUproms;
    vqWriteOut(QStringLiteral("uprom_%1_%2.RM").arg(mName).arg(mUproms, 4, 10, QLatin1Char('0')), image);
}

// ---- status memory and the host tree

QByteArray CvqSimPrinter::vqDeviceId() const
{
    return vqMakeDeviceId("Morvane " + mModel.type, mRomver, mSn, mSts, mModel.pxg);
}

// What the identification request at the USB port answers; the web page has the bare text.
QByteArray CvqSimPrinter::vqUsbReply() const { return mBareId ? vqDeviceId() : vqWithIdLength(vqDeviceId()); }

QByteArray CvqSimPrinter::vqWebPage(bool snap) const
{
    const char* key = snap ? "snap" : "id";
    if (mWeb.contains(key) || !snap)
        return mWeb.contains(key) ? mWeb.value(key).toUtf8() : vqDeviceId();
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

// Brings the host tree and the serial port in line with the printer's state.
void CvqSimPrinter::vqSync()
{
    const QByteArray id = vqUsbReply();
    if (mPlugged["device"] && id != mTreeId) {
        mTreeId.isEmpty() ? mTree->vqAddDevice(mInstanceId, id) : mTree->vqSetDeviceReply(mInstanceId, id);
        mTreeId = id;
    } else if (!mPlugged["device"] && !mTreeId.isEmpty()) {
        mTree->vqRemoveDevice(mInstanceId);
        mTreeReadFails = false;
        mTreeId.clear();
    }
    if (!mTreeId.isEmpty() && mTreeReadFails == mPlugged["idread"])
        mTree->vqSetReadFails(mInstanceId, mTreeReadFails = !mPlugged["idread"]);
    if (mPlugged["queue"] != mTreeQueue) {
        mTreeQueue ? mTree->vqRemoveQueue(mQueue) : mTree->vqAddQueue(mQueue, mInstanceId, mUsbPort);
        mTreeQueue = !mTreeQueue;
        mTreeJobs = -1;
    }
    if (mTreeQueue && mTreeJobs != mJobs) {
        mTree->vqClearJobs(mQueue);
        for (int i = 1; i <= mJobs; ++i)
            mTree->vqAddJob(mQueue, QStringLiteral("job%1").arg(i, 4, 10, QLatin1Char('0')));
        mTreeJobs = mJobs;
    }
    vqSyncSerial();
}

void CvqSimPrinter::vqSyncSerial()
{
    QString error;
    if (mStarted && mPlugged["port"] != mSerial->vqIsOpen()) {
        if (!mPlugged["port"])
            mSerial->vqClose();
        else if (!mSerial->vqOpen(&error))
            qWarning("%s", qPrintable(error));
    }
    // A closed port has no entry: its old name may soon belong to another terminal.
    const bool serial = mPlugged["serial"] && mSerial->vqIsOpen();
    if (serial && !mTreeSerial) {
        // Under Wine the port is opened by its COM name, which the link maps to the terminal.
        if (mWinePrefix.isEmpty()) {
            mTreeSerial = mTree->vqAddSerialPort(mName, mSerial->mPath, mSn);
        } else if (comPlaceFree(vqComLink(), &error)
                   && (QFile::remove(vqComLink()), QFile::link(mSerial->mPath, vqComLink()))) {
            mComTarget = mSerial->mPath;
            mTreeSerial = mTree->vqAddSerialPort(mName, QStringLiteral("COM%1").arg(4 + mUsbPort), mSn);
        } else {
            qWarning("cannot link %s: %s", qPrintable(vqComLink()), qPrintable(error));
        }
    } else if (!serial && mTreeSerial) {
        mTree->vqRemoveSerialPort(mName);
        vqUnlinkCom();
        mTreeSerial = false;
    }
}

void CvqSimPrinter::vqReset()
{
    mSts = CvqStsFields();
    mRomver = mRomverAtStart;
    mWeb.clear();
    mJobs = 0;
    for (const QString& p : kSimParts)
        mPlugged[p] = true;
    mRefuse.clear();
    mPrintOverlay = false;
    mPrintTmr.stop();
    mJobState.clear();
    mStateFailures = 0;
    mExeOut = QStringLiteral("auto");
    mScannerAnswer = mModel.hasScan ? QStringLiteral("ok") : QStringLiteral("err");
    mNext = Scan();
    mSerial->mFault = CvqSimFault();
    if (mHttp)
        mHttp->mFault = CvqSimFault();
}

QString CvqSimPrinter::vqSummary() const
{
    // Under a Wine prefix the Windows side opens the port as COMn.
    const QString com = mWinePrefix.isEmpty() ? QString() : QStringLiteral(" com=COM%1").arg(4 + mUsbPort);
    return QStringLiteral("printer %1 pty=%2 http=%3 sn=%4 instance=%5%6")
        .arg(mName, mSerial->mPath, mHttp ? mHttp->vqAddress() : QStringLiteral("none"), mSn, mInstanceId, com);
}

int CvqSimPrinter::vqCondition(const QStringList& c) const
{
    qint64 n = 0;
    const bool num = c.size() == 2 && vqSimNumber(c[1], &n, 0, INT_MAX);
    const QString what = c.size() == 2 ? c[0] : QString();
    const QMap<QString, qint64> counts{{"printed", mPrinted}, {"uprom", mUproms}, {"requests", mSerial->mRequests}};
    if (num && counts.contains(what))
        return counts[what] >= n;
    if (what == QLatin1String("gone"))
        return !mFs.vqHas(c[1]);
    if (what == QLatin1String("scan") && c[1] == QLatin1String("idle"))
        return !mScan.running;
    return -1;
}
