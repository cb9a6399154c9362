#include "vqsimprinter.h"
#include "vqsimhttp.h"
#include "vqsimserial.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

static const QString kBrand = QStringLiteral("Morvane ");
static const int kHistoryMax = 256;

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
    : mName(name), mModel{cfg.model, QStringLiteral("0101"), 2, false}, mSn(cfg.sn), mQueue(queue),
      mUsbPort(cfg.usbPort), mHttpWanted(cfg.http), mWinePrefix(cfg.winePrefix), mTree(tree), mRomver(cfg.romver),
      mRomverAtStart(cfg.romver), mOutDir(outDir), mFs(fsLimit)
{
    for (const CvqSimModel& m : vqSimModels())
        if (m.type.compare(cfg.model, Qt::CaseInsensitive) == 0)
            mModel = m;
    mInstanceId = QStringLiteral("USB\\VID_1A2B&PID_%1\\%2").arg(mModel.pid, mSn);
    mSerial.reset(new CvqSimSerial(this));
    // A print lends the printer its "printing" for a while.
    mPrintTmr.setSingleShot(true);
    connect(&mPrintTmr, &QTimer::timeout, this, [this] {
        if (mPrintOverlay)
            vqSetActivity(mSavedB7, mSavedInJob), vqSync();
    });
    connect(&mScanTmr, &QTimer::timeout, this, &CvqSimPrinter::vqScanTick);
    vqReset();
}

CvqSimPrinter::~CvqSimPrinter() { vqUnlinkCom(); }

QString CvqSimPrinter::vqPtyPath() const { return mSerial->vqPath(); }

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
    if (!mHttpWanted.isEmpty()) {
        mHttp.reset(new CvqSimHttp(this));
        if (!mHttp->vqListen(mHttpWanted, error))
            return false;
    }
    vqSync();
    return true;
}

void CvqSimPrinter::vqRemoveFromTree()
{
    mTree->vqRemoveDevice(mInstanceId);
    mTree->vqRemoveSerialPort(mName);
    vqUnlinkCom();
    mTree->vqRemoveQueue(mQueue);
    mTreeDevice = mTreeQueue = mTreeSerial = mTreeReadFails = false;
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
    while (mHistory.size() > kHistoryMax)
        mHistory.removeFirst();
}

void CvqSimPrinter::vqFirmwareUploaded(const QByteArray& image)
{
    ++mUproms;
    vqWriteOut(QStringLiteral("uprom_%1_%2.RM").arg(mName).arg(mUproms, 4, 10, QLatin1Char('0')), image);
}

// ---- status memory and the host tree

QByteArray CvqSimPrinter::vqSnapState() const
{
    if (mWeb.contains(QStringLiteral("snap")))
        return mWeb.value(QStringLiteral("snap")).toUtf8();
    const QJsonObject o{{"vqProductType", mWeb.value(QStringLiteral("type"), mModel.type)},
                        {"romver", mWeb.value(QStringLiteral("romver"), mRomver)},
                        {"pa", vqPa()},
                        {"sn", mSn}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// Brings the host tree and the services in line with the printer's state.
void CvqSimPrinter::vqSync()
{
    const QByteArray id = vqMakeDeviceId(kBrand + mModel.type, mRomver, mSn, mSts, mModel.pxg);
    if (mPlugged["device"] && (!mTreeDevice || id != mTreeId)) {
        mTreeDevice ? mTree->vqSetDeviceReply(mInstanceId, id) : mTree->vqAddDevice(mInstanceId, id);
        mTreeDevice = true;
        mTreeId = id;
    } else if (!mPlugged["device"] && mTreeDevice) {
        mTree->vqRemoveDevice(mInstanceId);
        mTreeDevice = mTreeReadFails = false;
        mTreeId.clear();
    }
    if (mTreeDevice && mTreeReadFails == mPlugged["idread"]) {
        mTree->vqSetReadFails(mInstanceId, !mPlugged["idread"]);
        mTreeReadFails = !mPlugged["idread"];
    }
    if (mPlugged["queue"] && !mTreeQueue) {
        mTree->vqAddQueue(mQueue, mInstanceId, mUsbPort);
        mTreeQueue = true;
        mTreeJobs = -1;
    } else if (!mPlugged["queue"] && mTreeQueue) {
        mTree->vqRemoveQueue(mQueue);
        mTreeQueue = false;
    }
    if (mTreeQueue && mTreeJobs != mJobs) {
        mTree->vqClearJobs(mQueue);
        for (int i = 1; i <= mJobs; ++i)
            mTree->vqAddJob(mQueue, QStringLiteral("job%1").arg(i, 4, 10, QLatin1Char('0')));
        mTreeJobs = mJobs;
    }
    vqSyncSerial();
    mSerial->vqSetHearing(mPlugged["serial"]);
    if (mHttp)
        mHttp->vqSetPages(mWeb.contains(QStringLiteral("id")) ? mWeb.value(QStringLiteral("id")).toUtf8() : id,
                          vqSnapState());
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
            mTreeSerial = mTree->vqAddSerialPort(mName, vqPtyPath(), mSn);
        } else if (comPlaceFree(vqComLink(), &error)
                   && (QFile::remove(vqComLink()), QFile::link(vqPtyPath(), vqComLink()))) {
            mComTarget = vqPtyPath();
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
    mSerial->vqClearFault();
    if (mHttp)
        mHttp->vqClearFault();
}

// The activity code from status byte 7 and the job flag.
int CvqSimPrinter::vqPa() const
{
    static const int noJob[6] = {2, 1, 4, 2, 0, 7};
    static const int job[6] = {6, 6, 4, 2, 6, 7};
    const quint8 b7 = mSts.statusBytes[7];
    const bool active = mSts.inPrintJob != 0;
    if (b7 > 5)
        return active ? 6 : 2;
    return active ? job[b7] : noJob[b7];
}

QString CvqSimPrinter::vqSummary() const
{
    // Under a Wine prefix the Windows side opens the port as COMn.
    const QString com = mWinePrefix.isEmpty() ? QString() : QStringLiteral(" com=COM%1").arg(4 + mUsbPort);
    return QStringLiteral("printer %1 pty=%2 http=%3 sn=%4 instance=%5%6")
        .arg(mName, vqPtyPath(), mHttp ? mHttp->vqAddress() : QStringLiteral("none"), mSn, mInstanceId, com);
}

int CvqSimPrinter::vqCondition(const QStringList& c) const
{
    qint64 n = 0;
    const bool num = c.size() == 2 && vqSimNumber(c[1], &n, 0, INT_MAX);
    const QString what = c.size() == 2 ? c[0] : QString();
    if (what == QLatin1String("printed") && num)
        return mPrinted >= n;
    if (what == QLatin1String("uprom") && num)
        return mUproms >= n;
    if (what == QLatin1String("requests") && num)
        return mSerial->vqRequests() >= n;
    if (what == QLatin1String("gone"))
        return !mFs.vqHas(c[1]);
    if (what == QLatin1String("scan") && c[1] == QLatin1String("idle"))
        return !mScan.running;
    return -1;
}
