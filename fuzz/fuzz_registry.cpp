// Fuzz target: the queue lookup over a registry view read from the input, one
// record a line, fields split by tabs:
//   Q <queue> <Port value> <Attributes>   K <device class key> <Port Number>   I <instance id>
#include "vqfuzzinput.h"
#include "vqtestsupport.h"

VQ_FUZZ_TARGET(bytes)
{
    CvqFakeHost reg;
    QStringList ids;
    for (const QByteArray& line : bytes.split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        const QString name = f.value(1).isNull() ? QString() : QString::fromUtf8(f.value(1));
        if (f.at(0) == "Q") {
            reg.queueOrder << name;
            reg.ports.insert(name, QString::fromUtf8(f.value(2)));
            reg.attributes.insert(name, f.value(3).toUInt(nullptr, 0));
        } else if (f.at(0) == "K") {
            reg.classKeys << name;
            reg.portNumbers.insert(name, f.value(2).toUInt());
        } else if (f.at(0) == "I") {
            ids << name;
        }
    }
    for (const QString& id : vqFindUsbPrinterQueues(reg, ids).keys())
        VQ_FUZZ_REQUIRE(ids.contains(id));  // only ids asked for come back
}
