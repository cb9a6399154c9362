#include "vqsimprinter.h"
#include "vqsimhttp.h"
#include "vqsimoptions.h"
#include "vqsimserial.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

static const QString kBrand = QStringLiteral("Morvane ");
static const int kHistoryMax = 256;

const QList<CvqSimModel>& vqSimModels()
{
    static const QList<CvqSimModel> models = {
        {QStringLiteral("P4120W"), QStringLiteral("0101"), 2, 0},
        {QStringLiteral("M5020F"), QStringLiteral("0109"), 2, 2},
        {QStringLiteral("P7760FDN"), QStringLiteral("0106"), 1, 0},
        {QStringLiteral("M5960FDW"), QStringLiteral("0111"), 2, 1},
        {QStringLiteral("P5220DN"), QStringLiteral("0187"), 3, 0},
        {QStringLiteral("M-Series"), QStringLiteral("01D1"), 2, 2},
    };
    return models;
}

const CvqSimModel* vqSimFindModel(const QString& type)
{
    for (const CvqSimModel& m : vqSimModels())
        if (m.type.compare(type, Qt::CaseInsensitive) == 0)
            return &m;
    return nullptr;
}

CvqSimPrinter::CvqSimPrinter(const QString& name, const CvqSimPrinterConfig& cfg, CvqSimTree* tree,
                             const QString& outDir, qint64 fsLimit, QObject* parent)
    : QObject(parent), mName(name), mUsbPort(cfg.usbPort), mHttpWanted(cfg.http), mWinePrefix(cfg.winePrefix),
      mTree(tree), mFs(fsLimit), mRomver(cfg.romver), mRomverAtStart(cfg.romver), mPlugDevice(cfg.plugged),
      mPlugQueue(cfg.plugged), mPlugSerial(cfg.plugged)
{
    if (const CvqSimModel* m = vqSimFindModel(cfg.model))
        mModel = *m;
    else
        mModel = {cfg.model, cfg.pid.isEmpty() ? QStringLiteral("0101") : cfg.pid, 2, 0};
    if (!cfg.pid.isEmpty())
        mModel.pid = cfg.pid.toUpper();
    mPxg = mModel.pxg;
    mSn = cfg.sn;
    mQueue = cfg.queue.isEmpty() ? kBrand + mModel.type : cfg.queue;
    mInstanceId = QStringLiteral("USB\\VID_1A2B&PID_%1\\%2").arg(mModel.pid, mSn);
    mSerial.reset(new CvqSimSerial(this));
    mPrograms.reset(new CvqSimPrograms(mName, mModel.hasScan, outDir, &mFs, &mSts));
    connect(mPrograms.get(), &CvqSimPrograms::vqEvent, this, &CvqSimPrinter::vqNoteEvent);
    connect(mPrograms.get(), &CvqSimPrograms::vqChanged, this, &CvqSimPrinter::vqSync);
    vqReset();
    // A reset plugs everything: honour the configured start.
    mPlugDevice = mPlugQueue = mPlugSerial = cfg.plugged;
}

CvqSimPrinter::~CvqSimPrinter() { vqUnlinkCom(); }

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

bool CvqSimPrinter::vqLinkCom(QString* error)
{
    const QString link = vqComLink();
    if (!comPlaceFree(link, error))
        return false;
    QFile::remove(link);
    if (!QFile::link(vqPtyPath(), link)) {
        *error = QStringLiteral("cannot create ") + link;
        return false;
    }
    mComTarget = vqPtyPath();
    return true;
}

void CvqSimPrinter::vqUnlinkCom()
{
    if (!mComTarget.isEmpty() && QFileInfo(vqComLink()).symLinkTarget() == mComTarget)
        QFile::remove(vqComLink());
    mComTarget.clear();
}

bool CvqSimPrinter::vqStart(QString* error)
{
    if (!mWinePrefix.isEmpty() && !comPlaceFree(vqComLink(), error))
        return false;
    if (!mSerial->vqOpen(error))
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

QString CvqSimPrinter::vqPtyPath() const { return mSerial->vqPath(); }

QString CvqSimPrinter::vqHttpAddress() const { return mHttp ? mHttp->vqAddress() : QStringLiteral("none"); }

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

void CvqSimPrinter::vqNoteEvent(const QString& text) { emit vqEvent(QStringLiteral("event %1 %2").arg(mName, text)); }

void CvqSimPrinter::vqNoteHistory(const QString& line)
{
    // One clock for every printer, so tests can compare requests across them.
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    mHistory.append(QStringLiteral("t=%1 ").arg(clock.elapsed()) + line);
    while (mHistory.size() > kHistoryMax)
        mHistory.removeFirst();
}

// ---- status memory and the host tree

QByteArray CvqSimPrinter::vqDeviceId() const
{
    if (!mRawId.isEmpty())
        return mRawId;
    return vqMakeDeviceId(kBrand + mModel.type, mRomver, mSn, mSts, mPxg, mTll);
}

void CvqSimPrinter::vqSync()
{
    if (mPlugDevice) {
        const QByteArray id = vqDeviceId();
        if (!mTreeDevice) {
            mTree->vqAddDevice(mInstanceId, id);
            mTreeDevice = true;
            mTreeId = id;
        } else if (id != mTreeId) {
            mTree->vqSetDeviceReply(mInstanceId, id);
            mTreeId = id;
        }
    } else if (mTreeDevice) {
        mTree->vqRemoveDevice(mInstanceId);
        mTreeDevice = false;
        mTreeId.clear();
        mTreeReadFails = false;
    }
    if (mTreeDevice && mTreeReadFails == mPlugIdRead) {
        mTree->vqSetReadFails(mInstanceId, !mPlugIdRead);
        mTreeReadFails = !mPlugIdRead;
    }

    if (mPlugQueue) {
        if (!mTreeQueue) {
            mTree->vqAddQueue(mQueue, mInstanceId, mUsbPort);
            mTreeQueue = true;
            mTreeJobs = -1;
        }
        if (mTreeJobs != mJobs) {
            mTree->vqClearJobs(mQueue);
            for (int i = 1; i <= mJobs; ++i)
                mTree->vqAddJob(mQueue, QStringLiteral("job%1").arg(i, 4, 10, QLatin1Char('0')));
            mTreeJobs = mJobs;
        }
    } else if (mTreeQueue) {
        mTree->vqRemoveQueue(mQueue);
        mTreeQueue = false;
    }

    if (mStarted && mPlugPort != mSerial->vqIsOpen()) {
        QString error;
        if (!mPlugPort)
            mSerial->vqClose();
        else if (!mSerial->vqOpen(&error))
            vqNoteEvent(error);
        else
            vqNoteEvent(QStringLiteral("port pty=") + vqPtyPath());
    }
    // A closed port has no entry: its old name may soon belong to another terminal.
    const bool serial = mPlugSerial && mSerial->vqIsOpen();
    if (serial && !mTreeSerial) {
        // Under Wine the port is opened by its COM name, which the link maps to the terminal.
        QString error;
        if (mWinePrefix.isEmpty()) {
            mTree->vqAddSerialPort(mName, vqPtyPath(), mSn);
            mTreeSerial = true;
        } else if (vqLinkCom(&error)) {
            mTree->vqAddSerialPort(mName, QStringLiteral("COM%1").arg(4 + mUsbPort), mSn);
            mTreeSerial = true;
        } else {
            vqNoteEvent(error);
        }
    } else if (!serial && mTreeSerial) {
        mTree->vqRemoveSerialPort(mName);
        vqUnlinkCom();
        mTreeSerial = false;
    }
}

void CvqSimPrinter::vqReset()
{
    mRefusals.clear();
    mSts = CvqStsFields();
    mSts.statusBytes[4] = 0x80;
    mSts.statusBytes[7] = 4;
    mSts.crumStatus = 0x1A;
    mSts.crumT = 8000;
    mSts.crumD = 8000;
    mPxg = mModel.pxg;
    mTll = 10;
    mRomver = mRomverAtStart;
    mUpromVer.clear();
    mRawId.clear();
    mWeb.clear();
    mJobs = 0;
    mPlugDevice = mPlugQueue = mPlugSerial = mPlugPort = mPlugIdRead = true;
    mPrograms->vqReset();
    if (mSerial)
        mSerial->vqClearFault();
    if (mHttp)
        mHttp->vqClearFault();
}

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

static QString activityName(int pa)
{
    switch (pa) {
    case 0: return QStringLiteral("idle");
    case 1: return QStringLiteral("sleep");
    case 2: return QStringLiteral("warmup");
    case 4: return QStringLiteral("printing");
    case 6: return QStringLiteral("busy");
    case 7: return QStringLiteral("cooling");
    }
    return QString::number(pa);
}

namespace {
// Faults that are one bit of a status byte (index 10: the chips' status).
struct BitFault
{
    const char* name;
    int byte;
    quint8 mask;
};
const BitFault kBitFaults[] = {
    {"lsu", 1, 0x01},         {"data-transfer", 2, 0x01}, {"lsu-data", 2, 0x02},    {"data-too-large", 2, 0x04},
    {"fuser-heat", 3, 0x01},  {"fuser-curve", 3, 0x04},   {"fuser-other", 3, 0x80}, {"tray1-empty", 4, 0x01},
    {"drum-door", 4, 0x08},   {"paper-out", 5, 0x01},     {"paper-jam", 5, 0x02},   {"motor", 5, 0x04},
    {"bin-full", 5, 0x08},    {"size-mismatch", 5, 0x10}, {"cover-open", 6, 0x01},  {"err0801", 8, 0x01},
    {"crypto-chip", 8, 0x02}, {"severe", 8, 0x80},
};
}

QString CvqSimPrinter::vqSetFault(const QString& name, bool on)
{
    quint8* b = mSts.statusBytes;
    for (const BitFault& f : kBitFaults) {
        if (name != QLatin1String(f.name))
            continue;
        quint8& byte = f.byte == 10 ? mSts.crumStatus : b[f.byte];
        byte = on ? quint8(byte | f.mask) : quint8(byte & ~f.mask);
        return QString();
    }
    if (name == QLatin1String("tray1-low")) {
        b[4] = on ? quint8(b[4] & ~0x81) : quint8(b[4] | 0x80);
    } else if (name == QLatin1String("tray2-empty")) {
        b[4] = on ? quint8((b[4] | 0x30) & ~0x40) : quint8(b[4] & ~0x20);
    } else if (name == QLatin1String("tray2-low")) {
        b[4] = on ? quint8((b[4] | 0x50) & ~0x20) : quint8(b[4] & ~0x40);
    } else if (name == QLatin1String("no-toner-box")) {
        mSts.crumStatus = on ? quint8(mSts.crumStatus | 0x01) : quint8(mSts.crumStatus & ~0x01);
    } else if (name == QLatin1String("no-drum")) {
        // Layout 3 reads a missing cartridge from bit 0, the others from bit 2.
        const quint8 bit = mPxg == 3 ? 0x01 : 0x04;
        mSts.crumStatus = on ? quint8(mSts.crumStatus | bit) : quint8(mSts.crumStatus & ~bit);
    } else {
        return QStringLiteral("unknown fault ") + name;
    }
    return QString();
}

QStringList CvqSimPrinter::vqFaultNames() const
{
    const quint8* b = mSts.statusBytes;
    QStringList names;
    for (const BitFault& f : kBitFaults) {
        const quint8 byte = f.byte == 10 ? mSts.crumStatus : b[f.byte];
        if ((byte & f.mask) == f.mask)
            names << QLatin1String(f.name);
    }
    if (!(b[4] & 0x89))
        names << QStringLiteral("tray1-low");
    if ((b[4] & 0x30) == 0x30)
        names << QStringLiteral("tray2-empty");
    if ((b[4] & 0x70) == 0x50)
        names << QStringLiteral("tray2-low");
    if (mPxg != 3 && (mSts.crumStatus & 0x01))
        names << QStringLiteral("no-toner-box");
    if (mSts.crumStatus & (mPxg == 3 ? 0x01 : 0x04))
        names << QStringLiteral("no-drum");
    return names;
}

// Toner lives in the first counter for layouts 2 and 3, in the drum counter
// for printers with one combined cartridge.
QString CvqSimPrinter::vqSetLevel(bool toner, const QString& value)
{
    const bool first = toner && (mPxg == 2 || mPxg == 3);
    quint16& field = first ? mSts.crumT : mSts.crumD;
    const quint8 present = first ? 0x02 : 0x08;
    if (value == QLatin1String("none")) {
        field = 0;
        mSts.crumStatus &= quint8(~present);
        return QString();
    }
    bool ok = false;
    const double pct = value.toDouble(&ok);
    if (!ok || !std::isfinite(pct) || pct < 0 || pct > 655.35)
        return QStringLiteral("level must be 0 to 655.35 or none");
    field = quint16(std::lround(pct * 100));
    mSts.crumStatus |= quint8(0x10 | present);
    return QString();
}

int CvqSimPrinter::vqLevel(bool toner) const
{
    const quint8 cs = mSts.crumStatus;
    if (!(cs & 0x10) || (!toner && mPxg != 2))
        return -1;
    const bool first = toner && (mPxg == 2 || mPxg == 3);
    const int v = first ? mSts.crumT : mSts.crumD;
    const bool present = cs & (first ? 0x02 : 0x08);
    if (v == 0)
        return present ? 0 : -1;
    return qMax(1, (v + 50) / 100);
}

// ---- status and control

QString CvqSimPrinter::vqSummary() const
{
    // Under a Wine prefix the Windows side opens the port as COMn.
    const QString com = mWinePrefix.isEmpty() ? QString() : QStringLiteral(" com=COM%1").arg(4 + mUsbPort);
    return QStringLiteral("printer %1 pty=%2 http=%3 sn=%4 instance=%5%6")
        .arg(mName, vqPtyPath(), vqHttpAddress(), mSn, mInstanceId, com);
}

QString CvqSimPrinter::vqStatusLine() const
{
    QStringList plugged;
    if (mPlugDevice)
        plugged << QStringLiteral("device");
    if (mPlugQueue)
        plugged << QStringLiteral("queue");
    if (mPlugSerial)
        plugged << QStringLiteral("serial");
    if (mPlugPort)
        plugged << QStringLiteral("port");
    if (mPlugIdRead)
        plugged << QStringLiteral("idread");
    static const QPair<int, const char*> sources[] = {{2, "mp"},    {4, "tray1"},  {8, "tray2"},   {16, "tray"},
                                                      {32, "drum"}, {64, "fuser"}, {128, "duplex"}};
    const int src = mSts.statusBytes[6] & 0xFE;
    QStringList srcNames;
    int known = 0;
    for (const auto& s : sources) {
        if (src & s.first)
            srcNames << QLatin1String(s.second);
        known |= s.first;
    }
    if (src & ~known)
        srcNames << QString::number(src & ~known);
    const QStringList faults = vqFaultNames();
    return QStringLiteral("status %1 plugged=%2 activity=%3 pa=%4 toner=%5 drum=%6 faults=%7 source=%8 romver=%9 "
                          "jobs=%10 printed=%11 uprom=%12 scan=%13 requests=%14 sn=%15 model=%16 pty=%17 http=%18")
        .arg(mName, plugged.isEmpty() ? QStringLiteral("none") : plugged.join(','), activityName(vqPa()))
        .arg(vqPa())
        .arg(vqLevel(true))
        .arg(vqLevel(false))
        .arg(faults.isEmpty() ? QStringLiteral("none") : faults.join(','),
             srcNames.isEmpty() ? QStringLiteral("none") : srcNames.join(','), mRomver)
        .arg(mJobs)
        .arg(mPrograms->vqPrinted())
        .arg(mUproms)
        .arg(mPrograms->vqScanning() ? QStringLiteral("running") : QStringLiteral("idle"))
        .arg(mSerial->vqRequests())
        .arg(mSn, mModel.type, vqPtyPath(), vqHttpAddress());
}

int CvqSimPrinter::vqCondition(const QStringList& c) const
{
    if (c.size() == 2) {
        qint64 n = 0;
        const bool num = vqSimParseNumber(c[1], &n);
        if (c[0] == QLatin1String("printed") && num)
            return mPrograms->vqPrinted() >= n;
        if (c[0] == QLatin1String("uprom") && num)
            return mUproms >= n;
        if (c[0] == QLatin1String("requests") && num)
            return mSerial->vqRequests() >= n;
        if (c[0] == QLatin1String("gone"))
            return !mFs.vqHas(c[1]);
        if (c[0] == QLatin1String("exists"))
            return mFs.vqHas(c[1]);
        if (c[0] == QLatin1String("scan") && c[1] == QLatin1String("idle"))
            return !mPrograms->vqScanning();
    }
    return -1;
}

void CvqSimPrinter::vqFirmwareUploaded(const QByteArray& image)
{
    ++mUproms;
    QString written;
    mPrograms->vqWriteOut(QStringLiteral("uprom_%1_%2.RM").arg(mName).arg(mUproms, 4, 10, QLatin1Char('0')), image,
                          &written);
    if (!mUpromVer.isEmpty())
        mRomver = mUpromVer;
    vqNoteEvent(QStringLiteral("uprom %1 %2 bytes=%3")
                    .arg(mUproms)
                    .arg(written.isEmpty() ? QStringLiteral("-") : written)
                    .arg(image.size()));
    vqSync();
}

QByteArray CvqSimPrinter::vqWebId() const
{
    return mWeb.contains(QStringLiteral("id")) ? mWeb.value(QStringLiteral("id")).toUtf8() : vqDeviceId();
}

QByteArray CvqSimPrinter::vqSnapState() const
{
    if (mWeb.contains(QStringLiteral("snap")))
        return mWeb.value(QStringLiteral("snap")).toUtf8();
    QJsonObject o;
    o.insert(QStringLiteral("vqProductType"), mWeb.value(QStringLiteral("type"), mModel.type));
    o.insert(QStringLiteral("romver"), mWeb.value(QStringLiteral("romver"), mRomver));
    o.insert(QStringLiteral("pa"), vqPa());
    o.insert(QStringLiteral("sn"), mSn);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
