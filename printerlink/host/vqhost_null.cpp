#include "vqhost.h"

// Stand-in where no native backend is built: no devices, queues or ports.
namespace {
class CvqNullHost : public CvqHost
{
public:
    EnumResult vqListUsbPrinters(QStringList* ids) override
    {
        ids->clear();
        return EnumOk;
    }
    ReadResult vqReadIeee1284(const QString&, QByteArray* reply) override
    {
        reply->clear();
        return ReadOpenFailed;
    }
    QMap<QString, QString> vqUsbPrinterQueues(const QStringList&) override { return {}; }
    int vqQueueHasJobs(const QByteArray&) override { return -1; }
    QList<CvqSerialPortEntry> vqSerialPorts() override { return {}; }
    void vqShowQueue(const QString&) override {}
};
}

CvqHost& vqPlatformHost()
{
    static CvqNullHost host;
    return host;
}
