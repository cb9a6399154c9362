#pragma once
// Linux host: USB printers from sysfs and usbfs, serial ports through udev, queues
// and jobs from CUPS. The device and queue lists are kept between calls and read
// again only when udev announces a device coming or going (usb, usbmisc, tty) or
// the scheduler reports a queue added, changed or removed; without either
// source the lists are read on every call. The identification read is always real.

#include "vqcups.h"
#include "vqhost.h"
#include "vqlinuxusb.h"

#include <QMutex>

struct udev;
struct udev_monitor;

class CvqLinuxHost : public CvqHost
{
public:
    enum Source { NoSource = 0, Udev = 1, Scheduler = 2 };
    // How often each list was really read (the rest were answered from what is held).
    struct Reads
    {
        int usb = 0, serial = 0, queues = 0;
    };

    explicit CvqLinuxHost(int sources = Udev | Scheduler);
    ~CvqLinuxHost() override;
    CvqLinuxHost(const CvqLinuxHost&) = delete;
    CvqLinuxHost& operator=(const CvqLinuxHost&) = delete;

    EnumResult vqListUsbPrinters(QStringList* ids) override;
    ReadResult vqReadIeee1284(const QString& instanceId, QByteArray* reply) override;
    // A usb queue belongs to the device whose serial number and interface its URI names.
    QMap<QString, QString> vqUsbPrinterQueues(const QStringList& instanceIds) override;
    void vqShowQueue(const QString& queueName) override;
    int vqQueueHasJobs(const QByteArray& queueName) override;
    QList<CvqSerialPortEntry> vqSerialPorts() override;

    Reads vqReads() const;

private:
    // The rest under mDevMutex. Makes the monitor on first use; false without one.
    bool monitoring();
    // Drains the monitor; reads the USB printers (else the serial ports) again when
    // it announced a change since they were read, or when there is no monitor.
    void refreshDevices(bool serial);
    bool findPrinter(const QString& instanceId, CvqLinuxUsbPrinter* printer);

    const int mSources;
    mutable QMutex mDevMutex;
    bool mTriedUdev = false;
    udev* mUdev = nullptr;
    udev_monitor* mMonitor = nullptr;
    bool mUsbStale = true, mSerialStale = true;
    EnumResult mUsbResult = EnumOk;
    QList<CvqLinuxUsbPrinter> mPrinters;
    QList<CvqSerialPortEntry> mPorts;
    int mUsbReads = 0, mSerialReads = 0;

    mutable QMutex mQueueMutex;
    CvqCupsWatch mCupsWatch;
    bool mQueuesHeld = false;
    QList<CvqCupsQueue> mQueues;
    int mQueueReads = 0;
};
