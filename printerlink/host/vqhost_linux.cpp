#include "vqhost_linux.h"
#include "../vqlog.h"

#include <QMutexLocker>
#include <QProcess>

#include <cerrno>
#include <libudev.h>
#include <unistd.h>

CvqLinuxHost::CvqLinuxHost(int sources) : mSources(sources) {}

CvqLinuxHost::~CvqLinuxHost()
{
    if (mMonitor)
        udev_monitor_unref(mMonitor);
    if (mUdev)
        udev_unref(mUdev);
}

bool CvqLinuxHost::monitoring()
{
    if (!mTriedUdev) {
        mTriedUdev = true;
        // Without the daemon the monitor stays silent (umockdev's testbed stands in for it).
        const bool daemon = ::access("/run/udev/control", F_OK) == 0 || qEnvironmentVariableIsSet("UMOCKDEV_DIR");
        if ((mSources & Udev) && daemon && (mUdev = udev_new())
            && (mMonitor = udev_monitor_new_from_netlink(mUdev, "udev"))) {
            for (const char* subsystem : {"usb", "usbmisc", "tty"})
                udev_monitor_filter_add_match_subsystem_devtype(mMonitor, subsystem, nullptr);
            if (udev_monitor_enable_receiving(mMonitor) < 0) {
                udev_monitor_unref(mMonitor);
                mMonitor = nullptr;
            }
        }
        if (!mMonitor && (mSources & Udev))
            vqWriteLog(QStringLiteral("udev: no device monitor: printers and serial ports are listed every cycle"));
    }
    return mMonitor != nullptr;
}

void CvqLinuxHost::refreshDevices(bool serial)
{
    bool changed = !monitoring();
    if (!changed) {
        // Non-blocking socket: drains what arrived since the last call.
        errno = 0;
        while (udev_device* d = udev_monitor_receive_device(mMonitor)) {
            udev_device_unref(d);
            changed = true;
        }
        changed = changed || errno == ENOBUFS;  // events were dropped: assume the worst
    }
    if (changed)
        mUsbStale = mSerialStale = true;
    if (!serial && mUsbStale) {
        mUsbResult = vqlinux::listPrinters(&mPrinters);
        mUsbStale = false;
        ++mUsbReads;
    }
    if (serial && mSerialStale) {
        mPorts = vqSystemSerialPorts();
        mSerialStale = false;
        ++mSerialReads;
    }
}

bool CvqLinuxHost::findPrinter(const QString& instanceId, CvqLinuxUsbPrinter* printer)
{
    QMutexLocker lock(&mDevMutex);
    // Unwatched, the one interface is looked up rather than all listed.
    if (!monitoring())
        return vqlinux::resolve(instanceId, printer);
    refreshDevices(false);
    for (const CvqLinuxUsbPrinter& p : qAsConst(mPrinters)) {
        if (p.instanceId.compare(instanceId, Qt::CaseInsensitive) == 0) {
            *printer = p;
            return true;
        }
    }
    return false;
}

CvqHost::EnumResult CvqLinuxHost::vqListUsbPrinters(QStringList* ids)
{
    QMutexLocker lock(&mDevMutex);
    refreshDevices(false);
    ids->clear();
    for (const CvqLinuxUsbPrinter& p : qAsConst(mPrinters))
        ids->append(p.instanceId);
    return mUsbResult;
}

CvqHost::ReadResult CvqLinuxHost::vqReadIeee1284(const QString& instanceId, QByteArray* reply)
{
    reply->clear();
    CvqLinuxUsbPrinter p;
    // The read itself runs outside the lock: it may take the control request's time-out.
    if (!findPrinter(instanceId, &p))
        return ReadOpenFailed;
    return vqlinux::readIeee1284(p, reply);
}

QMap<QString, QString> CvqLinuxHost::vqUsbPrinterQueues(const QStringList& instanceIds)
{
    QMap<QString, QString> result;
    QList<CvqLinuxUsbPrinter> devices;
    for (const QString& id : instanceIds) {
        CvqLinuxUsbPrinter p;
        if (findPrinter(id, &p) && !p.serial.isEmpty()) {
            p.instanceId = id;  // answer with the caller's spelling
            devices.append(p);
        }
    }
    if (devices.isEmpty())
        return result;
    QMutexLocker lock(&mQueueMutex);
    const bool changed = !(mSources & Scheduler) || mCupsWatch.vqChanged();
    if (changed || !mQueuesHeld) {
        mQueuesHeld = vqcups::queues(&mQueues);
        ++mQueueReads;
    }
    for (const CvqCupsQueue& q : qAsConst(mQueues)) {
        CvqUsbQueueTarget t;
        if (!vqcups::parseUsbUri(q.deviceUri, &t) || t.serial.isEmpty())
            continue;
        for (const CvqLinuxUsbPrinter& d : qAsConst(devices)) {
            if (d.interfaceNumber == t.interfaceNumber && d.serial.compare(t.serial, Qt::CaseInsensitive) == 0
                && !result.contains(d.instanceId))
                result.insert(d.instanceId, q.name);  // the first queue in the scheduler's order wins
        }
    }
    return result;
}

void CvqLinuxHost::vqShowQueue(const QString& queueName)
{
    // QDesktopServices needs a desktop platform; the opener works from any.
    QProcess::startDetached(QStringLiteral("xdg-open"), {vqcups::queuePageUrl(queueName)});
}

int CvqLinuxHost::vqQueueHasJobs(const QByteArray& queueName) { return vqcups::hasActiveJobs(queueName); }

QList<CvqSerialPortEntry> CvqLinuxHost::vqSerialPorts()
{
    QMutexLocker lock(&mDevMutex);
    refreshDevices(true);
    return mPorts;
}

CvqLinuxHost::Reads CvqLinuxHost::vqReads() const
{
    Reads r;
    {
        QMutexLocker lock(&mDevMutex);
        r.usb = mUsbReads;
        r.serial = mSerialReads;
    }
    QMutexLocker lock(&mQueueMutex);
    r.queues = mQueueReads;
    return r;
}

CvqHost& vqPlatformHost()
{
    static CvqLinuxHost host;
    return host;
}
