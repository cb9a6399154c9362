#include "vqtestsupport.h"
#include "printerlink/host/vqusbguid.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutex>
#include <QThread>

#include <algorithm>

void CvqFakeHost::addQueue(const QString& queue, const QString& instanceId, quint32 port, quint32 attr)
{
    queueOrder << queue;
    ports[queue] = QStringLiteral("USB%1").arg(port, 3, 10, QLatin1Char('0'));
    attributes[queue] = attr;
    QString key = instanceId;
    key.replace('\\', '#');
    key = QStringLiteral("##?#") + key + QStringLiteral("#" VQ_USB_PRINT_GUID);
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
    ++readCalls;
    reply->clear();
    const ReadResult forced = readResults.value(instanceId, ReadOk);
    if (forced != ReadOk)
        return forced;
    if (!replies.contains(instanceId))
        return ReadOpenFailed;
    *reply = replies.value(instanceId);
    return ReadOk;
}

CvqTempSimHost::CvqTempSimHost()
{
    mHadEnv = qEnvironmentVariableIsSet("VQ_SIM_HOST");
    mOldEnv = qgetenv("VQ_SIM_HOST");
    mTree.reset(new CvqSimTree(mDir.path()));
    qputenv("VQ_SIM_HOST", mDir.path().toLocal8Bit());
}

CvqTempSimHost::~CvqTempSimHost()
{
    if (mHadEnv)
        qputenv("VQ_SIM_HOST", mOldEnv);
    else
        qunsetenv("VQ_SIM_HOST");
}

QString CvqTempSimHost::addPrinter(int index, const CvqStsFields& sts, const QString& sn)
{
    const CvqProduct& row = vqProducts.at(index % vqProducts.size());
    const QString serial = sn.isEmpty() ? QStringLiteral("QV%1").arg(index, 4, 10, QLatin1Char('0')) : sn;
    const QString id = QStringLiteral("USB\\VID_%1&PID_%2\\%3").arg(row.vidpid.vid, row.vidpid.pid, serial);
    mTree->vqAddDevice(id, vqMakeDeviceId(row.name, QStringLiteral("V1.3.6500"), serial, sts));
    mTree->vqAddQueue(row.name + QStringLiteral(" #") + QString::number(index), id, index + 1);
    return id;
}

namespace {
QMutex gMsgMutex;
QStringList gLines[2];
int gDepth[2] = {0, 0};
QtMessageHandler gPrevious = nullptr;
QtMessageHandler gTestLog = nullptr;  // QtTest's own handler
QStringList gAllowed;
QStringList gStray;  // unexpected warnings outside a test function

// Beneath every capture: unexpected warnings fail, all lines still reach the log.
void strictHandler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    if (type == QtWarningMsg || type == QtCriticalMsg) {
        bool allowed = false;
        {
            QMutexLocker lock(&gMsgMutex);
            allowed = std::any_of(gAllowed.cbegin(), gAllowed.cend(),
                                  [&msg](const QString& fragment) { return msg.contains(fragment); });
            if (!allowed && (QThread::currentThread() != qApp->thread() || !QTest::currentTestFunction()))
                gStray << msg;
        }
        if (!allowed && QThread::currentThread() == qApp->thread() && QTest::currentTestFunction())
            QTest::qFail(qPrintable(QStringLiteral("unexpected warning: ") + msg), __FILE__, __LINE__);
    }
    if (gTestLog)
        gTestLog(type, ctx, msg);
}

void handler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    const int kind = type == QtDebugMsg                   ? CvqMessageCapture::Debug
        : (type == QtWarningMsg || type == QtCriticalMsg) ? CvqMessageCapture::Warnings
                                                          : -1;
    {
        QMutexLocker lock(&gMsgMutex);
        if (kind >= 0 && gDepth[kind] > 0) {
            gLines[kind] << msg;
            return;
        }
    }
    if (gPrevious)
        gPrevious(type, ctx, msg);
}
}

CvqMessageCapture::CvqMessageCapture(Kind kind) : mKind(kind)
{
    QMutexLocker lock(&gMsgMutex);
    if (gDepth[0] + gDepth[1] == 0)
        gPrevious = qInstallMessageHandler(handler);
    ++gDepth[kind];
    gLines[kind].clear();
}

CvqMessageCapture::~CvqMessageCapture()
{
    QMutexLocker lock(&gMsgMutex);
    if (--gDepth[mKind] + gDepth[1 - mKind] == 0)
        qInstallMessageHandler(gPrevious);
}

QStringList CvqMessageCapture::lines() const
{
    QMutexLocker lock(&gMsgMutex);
    return gLines[mKind];
}

QStringList CvqMessageCapture::take()
{
    QMutexLocker lock(&gMsgMutex);
    QStringList l;
    l.swap(gLines[mKind]);
    return l;
}

QStringList CvqMessageCapture::takeUnexpected(const QStringList& allowed)
{
    QStringList unexpected;
    for (const QString& line : take()) {
        const bool ok = std::any_of(allowed.cbegin(), allowed.cend(),
                                    [&line](const QString& fragment) { return line.contains(fragment); });
        if (!ok)
            unexpected << line;
    }
    return unexpected;
}

QByteArray vqReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void vqAllowWarnings(const QStringList& fragments)
{
    QMutexLocker lock(&gMsgMutex);
    gAllowed << fragments;
}

int vqRunTests(QObject* test, int argc, char** argv)
{
    // QtTest installs its handler when it starts logging: ours goes on top.
    QTest::qInit(test, argc, argv);
    gTestLog = qInstallMessageHandler(strictHandler);
    int ret = QTest::qRun();
    qInstallMessageHandler(gTestLog);
    const QStringList stray = gStray;
    for (const QString& line : stray)
        qWarning("unexpected warning outside a test function: %s", qPrintable(line));
    QTest::qCleanup();
    return ret == 0 && !stray.isEmpty() ? 1 : ret;
}
