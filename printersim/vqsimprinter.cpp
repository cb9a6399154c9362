#include "vqsimprinter.h"
#include "vqsimhttp.h"
#include "vqsimserial.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>

static const QString kBrand = QStringLiteral("Morvane ");
static const QString kOneKeyReq = QStringLiteral("/tmp/vqonekeyprint.req.txt");
static const QString kScanToPcReq = QStringLiteral("/tmp/vqscantopc.req.txt");
static const QString kScanToPcBase = QStringLiteral("/tmp/vqstdscans/pic");
static const QString kScanJobDir = QStringLiteral("/tmp/vqkeltoscans/");
static const int kInlineOutputMax = 1000;
static const int kHistoryMax = 256;
static const int kOutputFiles = 8;

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

// A number in decimal or with a 0x prefix.
static bool parseNumber(const QString& text, qint64* v)
{
    bool ok = false;
    *v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toLongLong(&ok, 16)
                                                                      : text.toLongLong(&ok, 10);
    return ok;
}

// key=value options of a command; bare words go to rest.
static QMap<QString, QString> options(const QStringList& args, int from, QStringList* rest = nullptr)
{
    QMap<QString, QString> opts;
    for (int i = from; i < args.size(); ++i) {
        const int eq = args[i].indexOf('=');
        if (eq > 0)
            opts.insert(args[i].left(eq), args[i].mid(eq + 1));
        else if (rest)
            rest->append(args[i]);
    }
    return opts;
}

CvqSimPrinter::CvqSimPrinter(const QString& name, const CvqSimPrinterConfig& cfg, CvqSimTree* tree,
                             const QString& outDir, qint64 fsLimit, QObject* parent)
    : QObject(parent), mName(name), mUsbPort(cfg.usbPort), mHttpWanted(cfg.http), mTree(tree), mOutDir(outDir),
      mFs(fsLimit), mRomver(cfg.romver), mRomverAtStart(cfg.romver), mPlugDevice(cfg.plugged), mPlugQueue(cfg.plugged),
      mPlugSerial(cfg.plugged)
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
    mScannerAnswer = mModel.hasScan ? QStringLiteral("ok") : QStringLiteral("err");
    mSerial.reset(new CvqSimSerial(this));

    mPrintTmr.setSingleShot(true);
    connect(&mPrintTmr, &QTimer::timeout, this, [this] {
        if (!mPrintOverlay)
            return;
        mPrintOverlay = false;
        vqSetActivity(mSavedB7, mSavedInJob);
        vqSync();
    });
    connect(&mScanTmr, &QTimer::timeout, this, &CvqSimPrinter::vqScanTick);
    vqReset();
    // A reset plugs everything: honour the configured start.
    mPlugDevice = mPlugQueue = mPlugSerial = cfg.plugged;
}

CvqSimPrinter::~CvqSimPrinter() = default;

bool CvqSimPrinter::vqStart(QString* error)
{
    if (!mSerial->vqOpen(error))
        return false;
    if (!mHttpWanted.isEmpty()) {
        mHttp.reset(new CvqSimHttp(this));
        if (!mHttp->vqListen(mHttpWanted, error))
            return false;
    }
    vqSync();
    return true;
}

QString CvqSimPrinter::vqPtyPath() const
{
    return mSerial->vqPath();
}

QString CvqSimPrinter::vqHttpAddress() const
{
    return mHttp ? mHttp->vqAddress() : QStringLiteral("none");
}

void CvqSimPrinter::vqRemoveFromTree()
{
    mTree->vqRemoveDevice(mInstanceId);
    mTree->vqRemoveSerialPort(mName);
    mTree->vqRemoveQueue(mQueue);
    mTreeDevice = mTreeQueue = mTreeSerial = false;
    mTreeId.clear();
    mTreeJobs = -1;
}

void CvqSimPrinter::event(const QString& text)
{
    emit vqEvent(QStringLiteral("event %1 %2").arg(mName, text));
}

void CvqSimPrinter::vqNoteHistory(const QString& line)
{
    mHistory.append(line);
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

    if (mPlugSerial && !mTreeSerial) {
        mTree->vqAddSerialPort(mName, vqPtyPath(), mSn);
        mTreeSerial = true;
    } else if (!mPlugSerial && mTreeSerial) {
        mTree->vqRemoveSerialPort(mName);
        mTreeSerial = false;
    }
}

void CvqSimPrinter::vqReset()
{
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
    mJobs = 0;
    mPlugDevice = mPlugQueue = mPlugSerial = true;
    mPrintOverlay = false;
    mPrintTmr.stop();
    mJobStateOverride.clear();
    mExeOut = QStringLiteral("auto");
    mScannerAnswer = mModel.hasScan ? QStringLiteral("ok") : QStringLiteral("err");
    mNextPages = 2;
    mNextParts = -1;
    mNextInterval = 200;
    mNextResult = 0;
    mPrintTimeMs = 3000;
    if (mSerial)
        mSerial->vqClearFault();
    if (mHttp)
        mHttp->vqClearFault();
}

void CvqSimPrinter::vqSetActivity(quint8 b7, quint8 inJob)
{
    mSts.statusBytes[7] = b7;
    mSts.inPrintJob = inJob;
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
    {"lsu", 1, 0x01},          {"data-transfer", 2, 0x01}, {"lsu-data", 2, 0x02},   {"data-too-large", 2, 0x04},
    {"fuser-heat", 3, 0x01},   {"fuser-curve", 3, 0x04},   {"fuser-other", 3, 0x80}, {"tray1-empty", 4, 0x01},
    {"drum-door", 4, 0x08},    {"paper-out", 5, 0x01},     {"paper-jam", 5, 0x02},   {"motor", 5, 0x04},
    {"bin-full", 5, 0x08},     {"size-mismatch", 5, 0x10}, {"cover-open", 6, 0x01},  {"err0801", 8, 0x01},
    {"crypto-chip", 8, 0x02},  {"severe", 8, 0x80},
};
const char* const kOtherFaults[] = {"tray1-low", "tray2-empty", "tray2-low", "no-toner-box", "no-drum"};
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
    return QStringLiteral("printer %1 pty=%2 http=%3 sn=%4 instance=%5")
        .arg(mName, vqPtyPath(), vqHttpAddress(), mSn, mInstanceId);
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
    static const QPair<int, const char*> sources[] = {{2, "mp"},    {4, "tray1"},  {8, "tray2"},  {16, "tray"},
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
        .arg(mPrinted)
        .arg(mUproms)
        .arg(mScan.running ? QStringLiteral("running") : QStringLiteral("idle"))
        .arg(mRequests)
        .arg(mSn, mModel.type, vqPtyPath(), vqHttpAddress());
}

bool CvqSimPrinter::vqIsPrinterCommand(const QString& word)
{
    static const QStringList words = {
        QStringLiteral("reset"),   QStringLiteral("plug"),     QStringLiteral("unplug"),   QStringLiteral("activity"),
        QStringLiteral("fault"),   QStringLiteral("faults"),   QStringLiteral("clear"),    QStringLiteral("source"),
        QStringLiteral("toner"),   QStringLiteral("drum"),     QStringLiteral("chip"),     QStringLiteral("romver"),
        QStringLiteral("upromver"), QStringLiteral("pxg"),     QStringLiteral("tll"),      QStringLiteral("jobs"),
        QStringLiteral("key"),     QStringLiteral("scan"),     QStringLiteral("scanjob"),  QStringLiteral("scanner"),
        QStringLiteral("jobstate"), QStringLiteral("printtime"), QStringLiteral("exeout"), QStringLiteral("raw"),
        QStringLiteral("file"),    QStringLiteral("linkfault"), QStringLiteral("httpfault"), QStringLiteral("history"),
    };
    return words.contains(word);
}

int CvqSimPrinter::vqCondition(const QStringList& c) const
{
    if (c.size() == 2) {
        qint64 n = 0;
        const bool num = parseNumber(c[1], &n);
        if (c[0] == QLatin1String("printed") && num)
            return mPrinted >= n;
        if (c[0] == QLatin1String("uprom") && num)
            return mUproms >= n;
        if (c[0] == QLatin1String("requests") && num)
            return mRequests >= n;
        if (c[0] == QLatin1String("gone"))
            return !mFs.vqHas(c[1]);
        if (c[0] == QLatin1String("exists"))
            return mFs.vqHas(c[1]);
        if (c[0] == QLatin1String("scan") && c[1] == QLatin1String("idle"))
            return !mScan.running;
    }
    return -1;
}

QString CvqSimPrinter::vqControl(const QStringList& args, QStringList* out)
{
    const QString cmd = args.value(0);
    const int n = args.size();
    auto needArgs = [&](int k) { return n >= k + 1; };
    QString err;

    if (cmd == QLatin1String("reset")) {
        vqReset();
    } else if (cmd == QLatin1String("plug") || cmd == QLatin1String("unplug")) {
        const bool on = cmd == QLatin1String("plug");
        QStringList parts = args.mid(1);
        if (parts.isEmpty())
            parts << (on ? QStringLiteral("all") : QStringLiteral("device")) << (on ? QString() : QStringLiteral("serial"));
        for (const QString& p : qAsConst(parts)) {
            if (p.isEmpty())
                continue;
            if (p == QLatin1String("all"))
                mPlugDevice = mPlugQueue = mPlugSerial = on;
            else if (p == QLatin1String("device"))
                mPlugDevice = on;
            else if (p == QLatin1String("queue"))
                mPlugQueue = on;
            else if (p == QLatin1String("serial"))
                mPlugSerial = on;
            else
                return QStringLiteral("unknown part ") + p;
        }
    } else if (cmd == QLatin1String("activity") && needArgs(1)) {
        static const QMap<QString, QPair<int, int>> acts = {
            {QStringLiteral("idle"), {4, 0}},     {QStringLiteral("sleep"), {1, 0}},
            {QStringLiteral("warmup"), {0, 0}},   {QStringLiteral("printing"), {2, 1}},
            {QStringLiteral("busy"), {4, 1}},     {QStringLiteral("cooling"), {5, 0}},
        };
        if (!acts.contains(args[1]))
            return QStringLiteral("unknown activity ") + args[1];
        mPrintOverlay = false;
        vqSetActivity(quint8(acts[args[1]].first), quint8(acts[args[1]].second));
    } else if (cmd == QLatin1String("fault") && needArgs(1)) {
        const bool on = n < 3 || args[2] == QLatin1String("on");
        if (n >= 3 && args[2] != QLatin1String("on") && args[2] != QLatin1String("off"))
            return QStringLiteral("fault takes on or off");
        const CvqStsFields saved = mSts;
        for (const QString& f : args[1].split(',', Qt::SkipEmptyParts)) {
            err = vqSetFault(f, on);
            if (!err.isEmpty()) {
                mSts = saved;
                return err;
            }
        }
    } else if ((cmd == QLatin1String("faults") && needArgs(1)) || cmd == QLatin1String("clear")) {
        const CvqStsFields saved = mSts;
        for (const QString& f : vqFaultNames())
            vqSetFault(f, false);
        const QStringList wanted = cmd == QLatin1String("clear") || args[1] == QLatin1String("none")
            ? QStringList()
            : args[1].split(',', Qt::SkipEmptyParts);
        for (const QString& f : wanted) {
            err = vqSetFault(f, true);
            if (!err.isEmpty()) {
                mSts = saved;
                return err;
            }
        }
    } else if (cmd == QLatin1String("source") && needArgs(1)) {
        // "other" is the tray-area bit's older name.
        static const QMap<QString, int> names = {
            {QStringLiteral("none"), 0},   {QStringLiteral("mp"), 2},     {QStringLiteral("tray1"), 4},
            {QStringLiteral("tray2"), 8},  {QStringLiteral("tray"), 16},  {QStringLiteral("other"), 16},
            {QStringLiteral("drum"), 32},  {QStringLiteral("fuser"), 64}, {QStringLiteral("duplex"), 128}};
        int src = 0;
        for (const QString& s : args[1].split(',', Qt::SkipEmptyParts)) {
            qint64 v = 0;
            if (names.contains(s))
                src |= names[s];
            else if (parseNumber(s, &v) && v >= 0 && v <= 255)
                src |= int(v);
            else
                return QStringLiteral("unknown source ") + s;
        }
        mSts.statusBytes[6] = quint8((mSts.statusBytes[6] & 0x01) | (src & 0xFE));
    } else if ((cmd == QLatin1String("toner") || cmd == QLatin1String("drum")) && needArgs(1)) {
        err = vqSetLevel(cmd == QLatin1String("toner"), args[1]);
    } else if (cmd == QLatin1String("chip") && needArgs(1)) {
        if (args[1] == QLatin1String("on"))
            mSts.crumStatus |= 0x10;
        else if (args[1] == QLatin1String("off"))
            mSts.crumStatus &= quint8(~0x10);
        else
            return QStringLiteral("chip takes on or off");
    } else if (cmd == QLatin1String("romver") && needArgs(1)) {
        if (args[1].contains(';'))
            return QStringLiteral("a version cannot hold ';'");
        mRomver = args[1];
    } else if (cmd == QLatin1String("upromver") && needArgs(1)) {
        mUpromVer = args[1] == QLatin1String("none") ? QString() : args[1];
    } else if ((cmd == QLatin1String("pxg") || cmd == QLatin1String("tll") || cmd == QLatin1String("jobs")
                || cmd == QLatin1String("printtime"))
               && needArgs(1)) {
        qint64 v = 0;
        if (!parseNumber(args[1], &v) || v < 0 || v > 100000)
            return QStringLiteral("bad number ") + args[1];
        if (cmd == QLatin1String("pxg"))
            mPxg = int(v);
        else if (cmd == QLatin1String("tll"))
            mTll = int(v);
        else if (cmd == QLatin1String("jobs"))
            mJobs = int(qMin<qint64>(v, 1000));
        else
            mPrintTimeMs = int(v);
    } else if (cmd == QLatin1String("key")) {
        if (mFs.vqPut(kOneKeyReq, QByteArrayLiteral("1\n")) != CvqSimFs::Ok)
            return QStringLiteral("no space for the request file");
        ++mKeys;
        event(QStringLiteral("key %1").arg(mKeys));
    } else if (cmd == QLatin1String("scan") && args.value(1) == QLatin1String("stop")) {
        qint64 result = 8;
        const QMap<QString, QString> o = options(args, 2);
        if ((o.contains("result") && !parseNumber(o["result"], &result)) || result < 0 || result > 255)
            return QStringLiteral("bad result");
        if (!mScan.running)
            return QStringLiteral("no scan is running");
        vqFinishScan(int(result));
    } else if (cmd == QLatin1String("scan") || cmd == QLatin1String("scanjob")) {
        const QMap<QString, QString> o = options(args, 1);
        qint64 pages = mNextPages, parts = mNextParts, interval = mNextInterval, result = mNextResult;
        const bool ok = (!o.contains("pages") || parseNumber(o["pages"], &pages))
            && (!o.contains("parts") || parseNumber(o["parts"], &parts))
            && (!o.contains("interval") || parseNumber(o["interval"], &interval))
            && (!o.contains("result") || parseNumber(o["result"], &result));
        if (!ok || pages < 0 || pages > 9999 || parts < -1 || parts > 1000 || interval < 1 || interval > 600000
            || result < 0 || result > 255)
            return QStringLiteral("bad scan options");
        if (cmd == QLatin1String("scanjob")) {
            mNextPages = int(pages);
            mNextParts = int(parts);
            mNextInterval = int(interval);
            mNextResult = int(result);
        } else {
            if (mScan.running)
                return QStringLiteral("a scan is running");
            const QString fmt = o.value("format", QStringLiteral("jpg"));
            static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9]{1,8}$"));
            if (!safe.match(fmt).hasMatch())
                return QStringLiteral("bad format");
            if (mFs.vqPut(kScanToPcReq, fmt.toUtf8() + '\n') != CvqSimFs::Ok)
                return QStringLiteral("no space for the request file");
            mScan.pages = int(pages);
            mScan.interval = int(interval);
            mScan.result = int(result);
            vqStartScan(QStringLiteral("vqstdscans"), kScanToPcBase, fmt, true, int(qMax<qint64>(parts, 0)));
        }
    } else if (cmd == QLatin1String("scanner") && needArgs(1)) {
        if (args[1] != QLatin1String("ok") && args[1] != QLatin1String("err"))
            return QStringLiteral("scanner takes ok or err");
        mScannerAnswer = args[1];
    } else if (cmd == QLatin1String("jobstate") && needArgs(1)) {
        mJobStateOverride = args[1] == QLatin1String("auto") ? QString() : args.mid(1).join(' ');
    } else if (cmd == QLatin1String("exeout") && needArgs(1)) {
        if (args[1] != QLatin1String("auto") && args[1] != QLatin1String("inline") && args[1] != QLatin1String("file"))
            return QStringLiteral("exeout takes auto, inline or file");
        mExeOut = args[1];
    } else if (cmd == QLatin1String("raw") && needArgs(2)) {
        qint64 v = 0;
        const QString& what = args[1];
        if (what == QLatin1String("id")) {
            mRawId = args[2] == QLatin1String("auto") ? QByteArray() : args.mid(2).join(' ').toUtf8();
        } else if (what == QLatin1String("byte") && n >= 4) {
            qint64 i = 0;
            if (!parseNumber(args[2], &i) || i < 0 || i > 9 || !parseNumber(args[3], &v) || v < 0 || v > 255)
                return QStringLiteral("raw byte takes an index 0-9 and a value 0-255");
            mSts.statusBytes[i] = quint8(v);
        } else if (parseNumber(args[2], &v) && v >= 0) {
            if (what == QLatin1String("inprintjob") && v <= 255)
                mSts.inPrintJob = quint8(v);
            else if (what == QLatin1String("crum") && v <= 255)
                mSts.crumStatus = quint8(v);
            else if (what == QLatin1String("t") && v <= 65535)
                mSts.crumT = quint16(v);
            else if (what == QLatin1String("d") && v <= 65535)
                mSts.crumD = quint16(v);
            else if (what == QLatin1String("count") && v <= 65535)
                mSts.jobPrintedCount = quint16(v);
            else if (what == QLatin1String("total") && v <= 0xFFFFFF)
                mSts.allPrintCount = quint32(v);
            else
                return QStringLiteral("bad raw field or value");
        } else {
            return QStringLiteral("bad raw field or value");
        }
    } else if (cmd == QLatin1String("file") && needArgs(1)) {
        const QString& op = args[1];
        if (op == QLatin1String("put") && n >= 3) {
            const CvqSimFs::Result r = mFs.vqPut(args[2], args.mid(3).join(' ').toUtf8());
            if (r != CvqSimFs::Ok)
                return vqsimstatus::vqText(quint8(r));
        } else if (op == QLatin1String("get") && n == 3) {
            QByteArray data;
            if (!mFs.vqGet(args[2], &data))
                return vqsimstatus::vqText(vqsimstatus::NotFound);
            *out << QStringLiteral("file %1 size=%2 hex=%3")
                        .arg(CvqSimFs::vqResolve(args[2]))
                        .arg(data.size())
                        .arg(QString::fromLatin1(data.left(4096).toHex()));
        } else if (op == QLatin1String("rm") && n == 3) {
            const CvqSimFs::Result r = mFs.vqRemove(args[2]);
            if (r != CvqSimFs::Ok)
                return vqsimstatus::vqText(quint8(r));
        } else if (op == QLatin1String("ls")) {
            for (const QString& f : mFs.vqList(args.value(2)))
                *out << QStringLiteral("file %1 size=%2").arg(f).arg(mFs.vqSize(f));
        } else {
            return QStringLiteral("file takes put, get, rm or ls");
        }
    } else if (cmd == QLatin1String("linkfault") && needArgs(1)) {
        if (args[1] == QLatin1String("clear"))
            mSerial->vqClearFault();
        else
            err = mSerial->vqSetFault(args.mid(1));
    } else if (cmd == QLatin1String("httpfault") && needArgs(1)) {
        if (!mHttp)
            return QStringLiteral("this printer has no web server");
        if (args[1] == QLatin1String("clear"))
            mHttp->vqClearFault();
        else
            err = mHttp->vqSetFault(args.mid(1));
    } else if (cmd == QLatin1String("history")) {
        if (args.value(1) == QLatin1String("clear"))
            mHistory.clear();
        else
            for (const QString& h : qAsConst(mHistory))
                *out << QStringLiteral("history ") + h;
    } else {
        return QStringLiteral("bad arguments for ") + cmd;
    }
    if (err.isEmpty())
        vqSync();
    return err;
}

// ---- the serial service

bool CvqSimPrinter::vqHandle(const CvqSimMsg& req, CvqSimMsg* resp)
{
    // Our own answers echoed back, or anything flagged as an answer, get none.
    if (req.vqIsResponse())
        return false;
    ++mRequests;
    resp->type = req.type;
    resp->ver = req.ver;
    resp->id = req.id;
    resp->flags = 1;
    CvqSimBodyReader in(req.body);
    CvqSimBodyWriter w;
    auto common = [&w](quint8 status, const QString& echo) {
        w.vqU8(status).vqStr(vqsimstatus::vqText(status)).vqStr(echo);
    };
    QString path;
    switch (req.type) {
    case 1:
        vqNoteHistory(QStringLiteral("serial type=1 id=%1").arg(req.id));
        break;
    case 200: {
        quint32 len = 0;
        QByteArray data;
        bool good = in.vqU32(&len) && len == 1024 && in.vqBytes(1024, &data);
        for (int i = 0; good && i < data.size(); ++i)
            good = quint8(data[i]) == quint8(i);
        vqNoteHistory(QStringLiteral("serial type=200 id=%1").arg(req.id));
        common(good ? vqsimstatus::Ok : vqsimstatus::BadRequest, QString());
        break;
    }
    case 10: {
        quint32 off = 0, len = 0;
        QByteArray data;
        bool good = in.vqStr(&path) && in.vqU32(&off) && in.vqU32(&len);
        good = good && (len == 0 || in.vqBytes(int(qMin<quint32>(len, vqsim::kMaxBody)), &data))
            && data.size() == int(len);
        vqNoteHistory(QStringLiteral("serial type=10 id=%1 path=%2 offset=%3 length=%4")
                          .arg(req.id).arg(path).arg(off).arg(len));
        quint8 status = vqsimstatus::BadRequest;
        if (good)
            status = quint8(mFs.vqWrite(path, off, data));
        common(status, path);
        w.vqU32(off).vqU32(len);
        break;
    }
    case 11: {
        quint32 off = 0, want = 0;
        const bool good = in.vqStr(&path) && in.vqU32(&off) && in.vqU32(&want);
        vqNoteHistory(QStringLiteral("serial type=11 id=%1 path=%2 offset=%3 length=%4")
                          .arg(req.id).arg(path).arg(off).arg(want));
        QByteArray data;
        quint8 status = vqsimstatus::BadRequest;
        if (good)
            status = mFs.vqGet(path, &data) ? (off > quint32(data.size()) ? vqsimstatus::BadOffset : vqsimstatus::Ok)
                                            : (CvqSimFs::vqResolve(path).isEmpty() ? vqsimstatus::BadRequest
                                                                                     : vqsimstatus::NotFound);
        common(status, path);
        w.vqU32(off).vqU32(want);
        if (status == vqsimstatus::Ok) {
            // What fits in one frame after the fields around it.
            const int room = vqsim::kMaxBody - w.body.size() - 5;
            const int count = int(qMin<qint64>(qMin<qint64>(want, data.size() - qint64(off)), room));
            const bool last = qint64(off) + count >= data.size();
            w.vqU8(last ? 1 : 0).vqU32(quint32(count)).vqBytes(data.mid(int(off), count));
        }
        break;
    }
    case 13:
    case 14: {
        const bool good = in.vqStr(&path);
        vqNoteHistory(QStringLiteral("serial type=%1 id=%2 path=%3").arg(req.type).arg(req.id).arg(path));
        quint8 status = vqsimstatus::BadRequest;
        if (good && CvqSimFs::vqResolve(path).isEmpty())
            status = vqsimstatus::NotFound;
        else if (good && req.type == 13)
            status = quint8(mFs.vqRemove(path));
        else if (good)
            status = mFs.vqHas(path) ? vqsimstatus::Ok : vqsimstatus::NotFound;
        common(status, path);
        break;
    }
    case 15:
    case 16: {
        const bool good = in.vqStr(&path);
        vqNoteHistory(QStringLiteral("serial type=%1 id=%2 cmd=%3").arg(req.type).arg(req.id).arg(path));
        if (!good) {
            common(vqsimstatus::BadRequest, QString());
            if (req.type == 15)
                w.vqU8(0).vqStr(QString());
            break;
        }
        const CvqSimExeResult r = vqExecute(path);
        w.vqU8(r.status).vqStr(r.err).vqStr(path);
        if (req.type == 16)
            break;
        const QByteArray out = r.output.toUtf8();
        const bool toFile = mExeOut == QLatin1String("file")
            || (mExeOut == QLatin1String("auto") && out.size() > kInlineOutputMax)
            || out.contains('\0');
        if (!toFile) {
            w.vqU8(0).vqStr(r.output);
            break;
        }
        // Long output goes through a file; a few are kept for the PC to fetch.
        const QString file = QStringLiteral("/tmp/vqexe.%1.out").arg(mExeOutSeq++ % kOutputFiles);
        if (mFs.vqPut(file, out) != CvqSimFs::Ok) {
            w = CvqSimBodyWriter();
            common(vqsimstatus::NoSpace, path);
            w.vqU8(0).vqStr(QString());
        } else {
            w.vqU8(1).vqStr(file);
        }
        break;
    }
    default:
        vqNoteHistory(QStringLiteral("serial type=%1 id=%2").arg(req.type).arg(req.id));
        common(vqsimstatus::Unsupported, QString());
        break;
    }
    resp->body = w.body;
    return true;
}

// ---- printer-side programs

QString CvqSimPrinter::vqJobStateText() const
{
    if (!mJobStateOverride.isEmpty()) {
        QString t = mJobStateOverride;
        return t.replace(QLatin1String("\\n"), QLatin1String("\n"));
    }
    const bool mainRun = mSts.inPrintJob != 0 || mSts.statusBytes[7] == 2;
    return QStringLiteral("vqmainjob.vqjobrun: %1\nvqmainjob.vqjobtp: %2\nvqscanjob.vqjobrun: %3\n"
                          "vqscanjob.vqjobtp: %4\nvqscanjob.vqjobrstcode: %5\nvqscanjob.vqjobwaitflag: 0\n")
        .arg(mainRun ? 1 : 0)
        .arg(mainRun ? 1 : 0)
        .arg(mScan.running ? 1 : 0)
        .arg(mScan.running ? mScan.tp : QStringLiteral("0"))
        .arg(mScan.rstcode);
}

CvqSimExeResult CvqSimPrinter::vqExecute(const QString& cmdline)
{
    const QStringList parts = cmdline.split(' ', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return fail(vqsimstatus::BadRequest);
    const QString prog = parts[0];
    const QStringList args = parts.mid(1);
    if (prog == QLatin1String("/usr/local/bin/vqm.exe") || prog == QLatin1String("/usr/local/bin/vqm.out")) {
        if (args != QStringList{QStringLiteral("o")})
            return fail(vqsimstatus::BadRequest);
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
CvqSimExeResult CvqSimPrinter::vqBuiltin(const QString& prog, const QStringList& args)
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
            if (!mFs.vqGet(a, &data))
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
            if (mFs.vqHas(abs)) {
                names << abs;
            } else {
                const QString prefix = abs == QLatin1String("/") ? abs : abs + '/';
                for (const QString& f : mFs.vqList(prefix)) {
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
                const qint64 size = mFs.vqSize(full);
                out += (size < 0 ? QStringLiteral("drwxr-xr-x 2 root root 0 ") : QStringLiteral("-rw-r--r-- 1 root root %1 ").arg(size))
                    + name + '\n';
            }
        }
        return done(out);
    }
    return fail(vqsimstatus::Unsupported);
}

CvqSimExeResult CvqSimPrinter::vqScanCommand(const QStringList& args)
{
    const QString mode = args[0];
    if (mode != QLatin1String("try") && mode != QLatin1String("run"))
        return fail(vqsimstatus::Unsupported);
    const QMap<QString, QString> p = options(args, 1);
    static const QStringList formats = {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"),
                                        QStringLiteral("tif"), QStringLiteral("tiff")};
    static const QRegularExpression safeTask(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
    const QString task = p.value("taskId");
    const QString base = p.value("saveToBaseWfn");
    bool ok = safeTask.match(task).hasMatch() && task != QLatin1String(".") && task != QLatin1String("..");
    ok = ok && QStringList({"128", "0", "1"}).contains(p.value("inputMode"));
    ok = ok && QStringList({"0", "1"}).contains(p.value("colorMode"));
    ok = ok && QStringList({"0", "1"}).contains(p.value("dpiMode"));
    ok = ok && formats.contains(p.value("saveToFileFormat").toLower());
    ok = ok && !p.value("scanPaperSizeTypeEngName").isEmpty();
    ok = ok && base == kScanJobDir + task + QStringLiteral("/pic");
    ok = ok && (!p.contains("isOutParted") || QStringList({"0", "1"}).contains(p.value("isOutParted")));
    if (mode == QLatin1String("try"))
        return done(ok ? QStringLiteral("ok") : QStringLiteral("err"));
    if (!ok)
        return fail(vqsimstatus::BadRequest);
    if (mScan.running)
        return fail(vqsimstatus::Busy);
    const int parts = mNextParts >= 0 ? mNextParts : (p.value("isOutParted") == QLatin1String("1") ? 3 : 0);
    mScan.pages = mNextPages;
    mScan.interval = mNextInterval;
    mScan.result = mNextResult;
    vqStartScan(task, base, p.value("saveToFileFormat"), false, parts);
    return done(QStringLiteral("ok"));
}

void CvqSimPrinter::vqStartScan(const QString& task, const QString& base, const QString& fmt, bool toPc, int parts)
{
    mScan.running = true;
    mScan.tp = toPc ? QStringLiteral("11") : QStringLiteral("1");
    mScan.task = task;
    mScan.base = base;
    mScan.fmt = fmt;
    mScan.parts = parts;
    mScan.page = 1;
    mScan.part = 0;
    mScan.outDir = QStringLiteral("scans/%1/%2").arg(mName, task);
    event(QStringLiteral("scan-start task=%1 pages=%2 parts=%3").arg(task).arg(mScan.pages).arg(parts));
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

void CvqSimPrinter::vqScanTick()
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
        CvqSimFs::Result r = CvqSimFs::Ok;
        if (mScan.parts <= 0) {
            r = mFs.vqPut(stem + '.' + mScan.fmt, mScan.pageBytes);
            vqWriteOut(outName, mScan.pageBytes, nullptr);
            ++mScan.page;
        } else {
            const int nparts = qMin(mScan.parts, mScan.pageBytes.size());
            const int size = (mScan.pageBytes.size() + nparts - 1) / nparts;
            const QString partName = QStringLiteral("%1.p%2.%3").arg(stem).arg(mScan.part, 8, 10, QLatin1Char('0')).arg(mScan.fmt);
            const QByteArray slice = mScan.part < nparts ? mScan.pageBytes.mid(mScan.part * size, size) : QByteArray();
            r = mFs.vqPut(partName, slice);
            if (mScan.part < nparts && !slice.isEmpty()) {
                ++mScan.part;
            } else {
                vqWriteOut(outName, mScan.pageBytes, nullptr);
                mScan.part = 0;
                ++mScan.page;
            }
        }
        if (r != CvqSimFs::Ok) {
            vqFinishScan(8);
            return;
        }
    }
    if (mScan.page > mScan.pages)
        vqFinishScan(mScan.result);
}

void CvqSimPrinter::vqFinishScan(int result)
{
    mScanTmr.stop();
    mScan.running = false;
    mScan.rstcode = result;
    mScan.pageBytes.clear();
    event(QStringLiteral("scan-done task=%1 result=%2").arg(mScan.task).arg(result));
}

CvqSimExeResult CvqSimPrinter::vqPrintCommand(const QStringList& args)
{
    QString file;
    bool delAfter = false;
    for (const QString& a : args) {
        if (a.startsWith(QLatin1String("delAfterPrint=")))
            delAfter = a.mid(14) == QLatin1String("y");
        else if (!a.contains('='))
            file = a;
    }
    QByteArray data;
    if (file.isEmpty() || !mFs.vqGet(file, &data))
        return fail(vqsimstatus::NotFound);
    QBuffer buf(&data);
    buf.open(QIODevice::ReadOnly);
    QImageReader reader(&buf, "png");
    const QSize size = reader.size();
    ++mPrinted;
    mSts.jobPrintedCount = quint16(mSts.jobPrintedCount + 1);
    mSts.allPrintCount = (mSts.allPrintCount + 1) & 0xFFFFFF;
    QString written;
    vqWriteOut(QStringLiteral("printed_%1_%2.png").arg(mName).arg(mPrinted, 4, 10, QLatin1Char('0')), data, &written);
    if (delAfter)
        mFs.vqRemove(file);
    event(QStringLiteral("printed %1 %2 %3x%4")
              .arg(mPrinted)
              .arg(written.isEmpty() ? QStringLiteral("-") : written)
              .arg(size.width())
              .arg(size.height()));
    if (mPrintTimeMs > 0) {
        if (!mPrintOverlay) {
            mSavedB7 = mSts.statusBytes[7];
            mSavedInJob = mSts.inPrintJob;
        }
        mPrintOverlay = true;
        vqSetActivity(2, 1);
        mPrintTmr.start(mPrintTimeMs);
    }
    vqSync();
    return done(QStringLiteral("ok"));
}

bool CvqSimPrinter::vqWriteOut(const QString& relPath, const QByteArray& data, QString* written)
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

void CvqSimPrinter::vqFirmwareUploaded(const QByteArray& image)
{
    ++mUproms;
    QString written;
    vqWriteOut(QStringLiteral("uprom_%1_%2.RM").arg(mName).arg(mUproms, 4, 10, QLatin1Char('0')), image, &written);
    if (!mUpromVer.isEmpty())
        mRomver = mUpromVer;
    event(QStringLiteral("uprom %1 %2 bytes=%3").arg(mUproms).arg(written.isEmpty() ? QStringLiteral("-") : written).arg(image.size()));
    vqSync();
}

QByteArray CvqSimPrinter::vqSnapState() const
{
    QJsonObject o;
    o.insert(QStringLiteral("vqProductType"), mModel.type);
    o.insert(QStringLiteral("romver"), mRomver);
    o.insert(QStringLiteral("pa"), vqPa());
    o.insert(QStringLiteral("sn"), mSn);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
