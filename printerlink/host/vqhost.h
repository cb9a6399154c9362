#pragma once
// The seam where the library meets the operating system. Everything above it
// (matching, queue lookup, reply rules, parsing, state) is portable code.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Read-only view of the two registry trees the queue lookup needs.
// Missing keys or values, and values of the wrong type, read as empty / 0.
class CvqRegistryView
{
public:
    virtual ~CvqRegistryView() = default;
    // Subkey names of ...\Print\Printers: the local print queues.
    virtual QStringList vqQueueNames() = 0;
    // The queue's "Port" value as text.
    virtual QString vqQueuePort(const QString& queue) = 0;
    // The queue's "Attributes" value as an unsigned number.
    virtual quint32 vqQueueAttributes(const QString& queue) = 0;
    // Subkey names of the USB printer interface class key under DeviceClasses.
    virtual QStringList vqDeviceClassKeys() = 0;
    // DWORD "Port Number" under <key>\#\Device Parameters.
    virtual quint32 vqDevicePortNumber(const QString& key) = 0;
};

struct CvqSerialPortEntry
{
    QString portName;
    QString serialNumber;
};

class CvqHost
{
public:
    enum EnumResult {
        EnumOk,          // every present device listed
        EnumListFailed,  // the device list could not be obtained
        EnumIdFailed     // an instance id could not be read; the list holds the ones before it
    };
    enum ReadResult {
        ReadOk,
        ReadOpenFailed,    // device cannot be opened (unplugged, switched off, wrong id)
        ReadRequestFailed  // opened, but the identification request failed
    };

    virtual ~CvqHost() = default;

    // Instance ids of the present USB printer interfaces, in the order the OS reports them.
    virtual EnumResult vqListUsbPrinters(QStringList* instanceIds) = 0;
    // The raw identification reply of one device. On Windows at most the 1024-byte
    // buffer; other hosts may return more, the caller applies the size rule.
    virtual ReadResult vqReadIeee1284(const QString& instanceId, QByteArray* reply) = 0;
    // Registry view for the queue lookup; owned by the host.
    virtual CvqRegistryView& vqRegistry() = 0;
    // Opens the queue with administer rights: -1 when it cannot be opened,
    // else whether it holds at least one job (0 or 1).
    virtual int vqQueueHasJobs(const QByteArray& queueName) = 0;
    virtual QList<CvqSerialPortEntry> vqSerialPorts() = 0;
    // Start a program detached, not waiting for it (the printer properties window).
    virtual void vqStartDetached(const QString& commandLine) = 0;
};

// The host in force: a test override when set, else the simulated host when
// VQ_SIM_HOST names a directory, else the platform's own. Safe from any thread,
// and usable without a Qt application object.
CvqHost& vqHost();
// Test seam: route every library call to this host (nullptr restores the default).
void vqSetHostOverride(CvqHost* host);
