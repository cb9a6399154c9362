// Linux host: USB printers from sysfs and usbfs, queues and jobs from CUPS.
#include "vqhost.h"
#include "vqcups.h"
#include "vqlinuxusb.h"

#include <QProcess>

namespace {

class CvqLinuxHost : public CvqHost
{
public:
    EnumResult vqListUsbPrinters(QStringList* ids) override
    {
        QList<CvqLinuxUsbPrinter> printers;
        const EnumResult rc = vqlinux::listPrinters(&printers);
        ids->clear();
        for (const CvqLinuxUsbPrinter& p : qAsConst(printers))
            ids->append(p.instanceId);
        return rc;
    }

    ReadResult vqReadIeee1284(const QString& instanceId, QByteArray* reply) override
    {
        return vqlinux::readIeee1284(instanceId, reply);
    }

    // A usb queue belongs to the device whose serial number and interface its URI names.
    QMap<QString, QString> vqUsbPrinterQueues(const QStringList& instanceIds) override
    {
        QMap<QString, QString> result;
        QList<CvqLinuxUsbPrinter> devices;
        for (const QString& id : instanceIds) {
            CvqLinuxUsbPrinter p;
            if (vqlinux::resolve(id, &p) && !p.serial.isEmpty()) {
                p.instanceId = id;  // answer with the caller's spelling
                devices.append(p);
            }
        }
        QList<CvqCupsQueue> queues;
        if (devices.isEmpty() || !vqcups::queues(&queues))
            return result;
        for (const CvqCupsQueue& q : qAsConst(queues)) {
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

    void vqShowQueue(const QString& queueName) override
    {
        // QDesktopServices needs a desktop platform; the opener works from any.
        QProcess::startDetached(QStringLiteral("xdg-open"), {vqcups::queuePageUrl(queueName)});
    }

    int vqQueueHasJobs(const QByteArray& queueName) override { return vqcups::hasActiveJobs(queueName); }

    QList<CvqSerialPortEntry> vqSerialPorts() override { return vqSystemSerialPorts(); }
};

}  // namespace

CvqHost& vqPlatformHost()
{
    static CvqLinuxHost host;
    return host;
}
