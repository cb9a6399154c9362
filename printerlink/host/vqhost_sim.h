#pragma once
// Simulated Windows host: a directory tree holds what Windows would report.
// Read afresh on every call; nothing is cached.

#include "vqhost.h"
#include "vqwinqueue.h"

class CvqSimHost : public CvqHost, private CvqRegistryView
{
public:
    // VQ_SIM_HOST when it names a directory, else empty.
    static QString vqRootFromEnv();

    EnumResult vqListUsbPrinters(QStringList* instanceIds) override;
    ReadResult vqReadIeee1284(const QString& instanceId, QByteArray* reply) override;
    // The registry walk over the tree's registry/ folder.
    QMap<QString, QString> vqUsbPrinterQueues(const QStringList& instanceIds) override;
    int vqQueueHasJobs(const QByteArray& queueName) override;
    QList<CvqSerialPortEntry> vqSerialPorts() override;
    // Appends the printer window's command line to the tree's "launched" file.
    void vqShowQueue(const QString& queueName) override;

    // Entry names of a directory in ascending byte order (the host's report order).
    static QStringList vqSortedEntries(const QString& dir, bool dirsOnly);
    // One-line text file without its trailing line end; false when unreadable.
    static bool vqReadLine(const QString& path, QString* out, qint64 maxBytes = 4096);

private:
    QStringList vqQueueNames() override;
    QString vqQueuePort(const QString& queue) override;
    quint32 vqQueueAttributes(const QString& queue) override;
    QStringList vqDeviceClassKeys() override;
    quint32 vqDevicePortNumber(const QString& key) override;

    static QString root();
};
