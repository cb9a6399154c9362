#include "vqtestsupport.h"
#include "printerlink/host/vqusbguid.h"
#include "printerlink/vqstate.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutex>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <utility>

void CvqFakeHost::addQueue(const QString& queue, const QString& instanceId, quint32 port, quint32 attr)
{
    queueOrder << queue;
    ports[queue] = QStringLiteral("USB%1").arg(port, 3, 10, QLatin1Char('0'));
    attributes[queue] = attr;
    const QString key = "##?#" + QString(instanceId).replace('\\', '#') + "#" VQ_USB_PRINT_GUID;
    if (!classKeys.contains(key))
        classKeys << key;
    portNumbers[key] = port;
}

CvqHost::EnumResult CvqFakeHost::vqListUsbPrinters(QStringList* ids)
{
    *ids = instanceIds;
    return enumResult;
}

CvqHost::ReadResult CvqFakeHost::vqReadIeee1284(const QString& instanceId, QByteArray* reply)
{
    *reply = replies.value(instanceId);
    return replies.contains(instanceId) ? ReadOk : ReadOpenFailed;
}

QString CvqTempSimHost::addPrinter(int index)
{
    const CvqProduct& row = vqProducts.at(index % vqProducts.size());
    const QString serial = QStringLiteral("QV%1").arg(index, 4, 10, QLatin1Char('0'));
    const QString id = QStringLiteral("USB\\VID_%1&PID_%2\\%3").arg(row.vidpid.vid, row.vidpid.pid, serial);
    mTree->vqAddDevice(id, vqMakeDeviceId(row.name, QStringLiteral("V1.3.6500"), serial, CvqStsFields()));
    mTree->vqAddQueue(row.name + QStringLiteral(" #") + QString::number(index), id, index + 1);
    return id;
}

// The library's fault bits and activities by their names in the enums, for rows and failure messages.
// clang-format off
#define VQ_FAULTS(X) X(Tray1Low) X(Tray2Empty) X(SizeMismatch) X(DataTooLarge) X(FuserCurve) X(FuserOther) X(CryptoChip) \
    X(NoPaper) X(TonerOut) X(PaperJam) X(CoverOpen) X(Lsu) X(FuserHeating) X(MainMotor) X(NoTonerBox) X(DataTransfer) \
    X(LsuData) X(Error0801) X(TonerLow) X(NoPassword) X(Cancelled) X(CancelledToo) X(Severe) X(Firmware) X(Tray1Empty) \
    X(BinFull) X(DrumDoorOpen) X(NoDrum) X(DrumLow) X(DrumOut) X(Tray2Low)
#define VQ_ACTIVITIES(X) X(Idle) X(Sleeping) X(WarmingUp) X(Transferring) X(Printing) X(Cancelling) X(JobPrinting) X(CoolingDown)
#define VQ_FAULT(n) {vqBit##n, #n},
#define VQ_ACTIVITY(n) {vqPa##n, #n},
// clang-format on
static const QMap<int, QString> kFaults{VQ_FAULTS(VQ_FAULT)}, kActivities{VQ_ACTIVITIES(VQ_ACTIVITY)};

QString vqFaultNames(int pex)
{
    QStringList names;
    for (int n = 0; n < 32; ++n)
        if (quint32(pex) >> n & 1)
            names << kFaults.value(n, QStringLiteral("bit%1").arg(n));
    return names.join(' ');
}
QString vqActivityName(int pa) { return kActivities.value(pa, QString::number(pa)); }

QString vqCut(const QString& text, int at)
{
    const QString part = text.mid(qBound(0, at - 20, text.size() - 60), 60);
    return text.size() <= 100 ? text : QStringLiteral("(%1 characters) ...%2...").arg(text.size()).arg(part);
}

QByteArray vqReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

namespace {
QMutex gMsgMutex;
QStringList gLines[2];
int gDepth[2] = {0, 0};
QStringList gAllowed;
QtMessageHandler gNext = nullptr;  // the one beneath ours: QtTest's
std::atomic<bool> gStrict{false};
std::atomic<int> gStray{0};  // unexpected warnings outside a test function

// Captured lines stop here; the rest reach the log, and unexpected warnings fail.
void handler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    const bool warning = type == QtWarningMsg || type == QtCriticalMsg;
    const int kind = warning ? 0 : type == QtDebugMsg ? 1 : -1;
    bool unexpected = false;
    {
        QMutexLocker lock(&gMsgMutex);
        if (kind >= 0 && gDepth[kind] > 0) {
            gLines[kind] << msg;
            return;
        }
        unexpected = warning && gStrict
            && std::none_of(gAllowed.cbegin(), gAllowed.cend(), [&](const QString& f) { return msg.contains(f); });
    }
    if (unexpected && QThread::currentThread() == qApp->thread() && QTest::currentTestFunction())
        QTest::qFail(qPrintable(QStringLiteral("unexpected warning: ") + msg), __FILE__, __LINE__);
    else if (unexpected)
        ++gStray;
    if (gNext)
        gNext(type, ctx, msg);
}

}

void vqCaptureDepth(int kind, int delta)
{
    QMutexLocker lock(&gMsgMutex);
    if (!gNext)  // on top of QtTest's handler, once it has one
        gNext = qInstallMessageHandler(handler);
    gDepth[kind] += delta;
    if (delta > 0)
        gLines[kind].clear();
}

QStringList vqCaptured(int kind, bool take)
{
    QMutexLocker lock(&gMsgMutex);
    return take ? std::exchange(gLines[kind], {}) : gLines[kind];
}

void vqAllowWarnings(const QStringList& fragments)
{
    QMutexLocker lock(&gMsgMutex);
    gAllowed << fragments;
}

int vqRunTests(QObject* test, int argc, char** argv)
{
    QTest::qInit(test, argc, argv);  // QtTest's handler first, ours on top
    vqCaptureDepth(0, 0);            // installs ours
    gStrict = true;
    const int ret = QTest::qRun();
    gStrict = false;
    if (gStray > 0)
        qWarning("%d unexpected warnings outside a test function (logged above)", int(gStray));
    QTest::qCleanup();
    return ret == 0 && gStray > 0 ? 1 : ret;
}
