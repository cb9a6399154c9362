#pragma once
// The seam where the library meets the operating system. Everything above it
// (matching, queue lookup, reply rules, parsing, state) is portable code.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

struct CvqSerialPortEntry
{
    QString portName;
    QString serialNumber;
    int vendorId = -1;  // USB vendor id; -1 where the host does not know it
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
    // The raw identification reply of one device, its exact bytes (a length field in
    // front included). On Windows at most the 1024-byte buffer; other hosts may return
    // more. Hosts pass it on as it came: the caller applies the reply rules (vqIdTextFromReply).
    virtual ReadResult vqReadIeee1284(const QString& instanceId, QByteArray* reply) = 0;
    // Which queue belongs to each device: instance id -> queue name for the given
    // ids bound to a local USB queue.
    virtual QMap<QString, QString> vqUsbPrinterQueues(const QStringList& instanceIds) = 0;
    // Opens the queue with the right to use it, which lists its jobs and which every user
    // has: -1 when it cannot be opened, else whether it holds at least one job (0 or 1).
    virtual int vqQueueHasJobs(const QByteArray& queueName) = 0;
    // The serial ports, each with the serial number of its USB device.
    virtual QList<CvqSerialPortEntry> vqSerialPorts() = 0;
    // Shows the queue's printer window (name not empty), not waiting for it.
    virtual void vqShowQueue(const QString& queueName) = 0;
};

// The system's serial ports as Qt lists them (the serial number is the USB one).
QList<CvqSerialPortEntry> vqSystemSerialPorts();

// The host in force: a test's (CvqLinkSeams::host) when set, else the simulated
// host when VQ_SIM_HOST names a directory, else the platform's own. Safe from
// any thread, and usable without a Qt application object.
CvqHost& vqHost();
