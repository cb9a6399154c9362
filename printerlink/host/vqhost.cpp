#include "vqhost.h"
#include "vqhost_sim.h"
#include "../vqdiscovery.h"

#include <QAtomicPointer>
#include <QFileInfo>
#include <QSerialPortInfo>

CvqHost& vqPlatformHost();  // defined by the platform's host file

namespace {
// Nothing registered: no queues, no device keys.
class CvqEmptyRegistry : public CvqRegistryView
{
public:
    QStringList vqQueueNames() override { return {}; }
    QString vqQueuePort(const QString&) override { return {}; }
    quint32 vqQueueAttributes(const QString&) override { return 0; }
    QStringList vqDeviceClassKeys() override { return {}; }
    quint32 vqDevicePortNumber(const QString&) override { return 0; }
};
}  // namespace

QMap<QString, QString> CvqHost::vqUsbPrinterQueues(const QStringList& instanceIds)
{
    return vqFindUsbPrinterQueues(vqRegistry(), instanceIds);
}

void CvqHost::vqShowQueue(const QString& queueName)
{
    const QString command = vqPrinterQueueCommand(queueName);
    if (!command.isEmpty())
        vqStartDetached(command);
}

CvqRegistryView& CvqHost::vqRegistry()
{
    static CvqEmptyRegistry empty;
    return empty;
}

QList<CvqSerialPortEntry> vqSystemSerialPorts()
{
    QList<CvqSerialPortEntry> out;
    for (const QSerialPortInfo& p : QSerialPortInfo::availablePorts())
        out.append({p.portName(), p.serialNumber(), p.hasVendorIdentifier() ? int(p.vendorIdentifier()) : -1});
    return out;
}

static QAtomicPointer<CvqHost> gOverride;

void vqSetHostOverride(CvqHost* host) { gOverride.storeRelease(host); }

CvqHost& vqHost()
{
    if (CvqHost* h = gOverride.loadAcquire())
        return *h;
    // Stateless: the root is read from the environment on every call.
    static CvqSimHost sim;
    if (!CvqSimHost::vqRootFromEnv().isEmpty())
        return sim;
    return vqPlatformHost();
}
