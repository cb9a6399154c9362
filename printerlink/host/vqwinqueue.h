#pragma once
// The Windows way to find the print queue of a USB printer (a walk over two
// registry trees) and to show a queue's printer window; shared by the Windows
// host and the simulated host, which plays Windows.

#include <QMap>
#include <QString>
#include <QStringList>

// Read-only view of the two registry trees the queue lookup needs. Missing
// keys or values, and values of the wrong type, read as empty / 0.
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

// Instance id -> queue name for the given ids that are bound to a local USB queue.
QMap<QString, QString> vqFindUsbPrinterQueues(CvqRegistryView& registry, const QStringList& instanceIds);

// The printer properties window's command line for a queue; empty for a name holding a quote.
QString vqPrinterQueueCommand(const QString& queueName);
