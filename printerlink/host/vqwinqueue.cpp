#include "vqwinqueue.h"
#include "vqusbguid.h"

#include <QHash>

// "USB" followed by a decimal number other than 0; 0 when the port is no USB port.
static quint32 usbPortNumber(const QString& port)
{
    if (!port.startsWith(QLatin1String("USB")) || port.size() == 3)
        return 0;
    const QStringRef digits = port.midRef(3);
    for (QChar c : digits)
        if (c < '0' || c > '9')
            return 0;
    bool ok = false;
    const quint32 n = digits.toUInt(&ok);
    return ok ? n : 0;
}

QMap<QString, QString> vqFindUsbPrinterQueues(CvqRegistryView& registry, const QStringList& instanceIds)
{
    static const quint32 kDoCompleteFirst = 0x200, kWorkOffline = 0x400, kEnableBidi = 0x800;
    QMap<QString, QString> queues;
    const QStringList queueNames = registry.vqQueueNames();
    if (queueNames.isEmpty() || instanceIds.isEmpty())
        return queues;

    // Device keys and their port numbers are read once per lookup rather than once
    // per queue, so the cycle stays linear in printers.
    QHash<QString, QString> givenByFolded;
    for (const QString& id : instanceIds)
        if (!givenByFolded.contains(id.toCaseFolded()))
            givenByFolded.insert(id.toCaseFolded(), id);
    struct DeviceKey
    {
        QString given;
        quint32 port;
    };
    QList<DeviceKey> deviceKeys;
    for (const QString& key : registry.vqDeviceClassKeys()) {
        if (!key.startsWith(QLatin1String("##?#")) || !key.endsWith(QLatin1String(VQ_USB_PRINT_GUID))
            || key.size() < 4 + 39)
            continue;
        QString id = key.mid(4, key.size() - 4 - 39);
        id.replace('#', '\\');
        const auto given = givenByFolded.constFind(id.toCaseFolded());
        if (given != givenByFolded.cend())
            deviceKeys.append({*given, registry.vqDevicePortNumber(key)});
    }
    if (deviceKeys.isEmpty())
        return queues;

    for (const QString& queue : queueNames) {
        const quint32 portNo = usbPortNumber(registry.vqQueuePort(queue));
        if (portNo == 0)
            continue;
        const quint32 attr = registry.vqQueueAttributes(queue);
        if (!(attr & kDoCompleteFirst) || (attr & (kWorkOffline | kEnableBidi)))
            continue;
        for (const DeviceKey& dk : qAsConst(deviceKeys)) {
            if (dk.port == portNo) {
                queues.insert(dk.given, queue.section(',', 0, 0).trimmed());
                break;  // the first matching device key wins
            }
        }
    }
    return queues;
}

QString vqPrinterQueueCommand(const QString& queueName)
{
    // A quote would end the name's argument and let the rest add arguments of its own.
    if (queueName.contains('"'))
        return QString();
    return QStringLiteral("rundll32 printui.dll,PrintUIEntry /n \"") + queueName + QStringLiteral("\" /p");
}
