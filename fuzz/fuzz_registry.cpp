// Fuzz target: the queue lookup over a registry view read from the input, one
// record a line, fields split by tabs:
//   Q <queue> <Port value> <Attributes>   K <device class key> <Port Number>   I <instance id>
#include "printerlink/host/vqwinqueue.h"
#include "printerlink/printerlink.h"
#include "vqfuzzinput.h"

#include <QHash>

namespace {
class CvqFuzzRegistry : public CvqRegistryView
{
public:
    QStringList queues, keys;
    QHash<QString, QString> ports;
    QHash<QString, quint32> attributes, portNumbers;

    QStringList vqQueueNames() override { return queues; }
    QString vqQueuePort(const QString& q) override { return ports.value(q); }
    quint32 vqQueueAttributes(const QString& q) override { return attributes.value(q); }
    QStringList vqDeviceClassKeys() override { return keys; }
    quint32 vqDevicePortNumber(const QString& k) override { return portNumbers.value(k); }
};
}  // namespace

VQ_FUZZ_TARGET(bytes)
{
    CvqFuzzRegistry reg;
    QStringList ids;
    for (const QByteArray& line : bytes.split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        const QString name = f.value(1).isNull() ? QString() : QString::fromUtf8(f.value(1));
        if (f.at(0) == "Q") {
            reg.queues << name;
            reg.ports.insert(name, QString::fromUtf8(f.value(2)));
            reg.attributes.insert(name, f.value(3).toUInt(nullptr, 0));
        } else if (f.at(0) == "K") {
            reg.keys << name;
            reg.portNumbers.insert(name, f.value(2).toUInt());
        } else if (f.at(0) == "I") {
            ids << name;
        }
    }
    const QMap<QString, QString> found = vqFindUsbPrinterQueues(reg, ids);
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        if (!ids.contains(it.key()))
            __builtin_trap();  // only ids asked for come back
}
