#include "vqhost.h"

// Stand-in where no native backend exists yet: no devices, queues or ports.
namespace {
class CvqNullHost : public CvqHost, private CvqRegistryView
{
public:
    EnumResult vqListUsbPrinters(QStringList* ids) override { ids->clear(); return EnumOk; }
    ReadResult vqReadIeee1284(const QString&, QByteArray* reply) override { reply->clear(); return ReadOpenFailed; }
    CvqRegistryView& vqRegistry() override { return *this; }
    int vqQueueHasJobs(const QByteArray&) override { return -1; }
    QList<CvqSerialPortEntry> vqSerialPorts() override { return {}; }
    void vqStartDetached(const QString&) override {}

private:
    QStringList vqQueueNames() override { return {}; }
    QString vqQueuePort(const QString&) override { return {}; }
    quint32 vqQueueAttributes(const QString&) override { return 0; }
    QStringList vqDeviceClassKeys() override { return {}; }
    quint32 vqDevicePortNumber(const QString&) override { return 0; }
};
}

CvqHost& vqPlatformHost()
{
    static CvqNullHost host;
    return host;
}
