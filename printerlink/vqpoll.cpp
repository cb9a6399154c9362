#include "vqpoll.h"
#include "vqdeviceid.h"
#include "vqdiscovery.h"
#include "vqproduct.h"
#include "host/vqhost.h"

QMap<QString, CvqState> vqPollCycle()
{
    QMap<QString, CvqState> result;
    const QList<CvqUsbDevFilter> filters = vqProductFilters();
    const QMap<QString, CvqUsbDevKnInfo> devices = vqGetUsbPrinters(filters);
    if (devices.isEmpty())
        return result;

    for (auto it = devices.cbegin(); it != devices.cend(); ++it) {
        CvqState s;
        s.vidpid = it->vidpid;
        s.productName = it->product->name;
        s.vqHasScan = it->product->vqHasScan;
        s.vqPlatform = it->product->vqPlatform;
        s.instanceId = it.key();
        result.insert(it.key(), s);
    }

    const QMap<QString, QString> queues = vqGetUsbPrinterQueues(devices.keys());
    for (auto it = queues.cbegin(); it != queues.cend(); ++it) {
        CvqState& s = result[it.key()];
        s.queueName = it.value();
        s.connected = true;
    }

    bool anyConnected = false;
    for (auto it = result.begin(); it != result.end(); ++it) {
        CvqState& s = it.value();
        if (!s.connected)
            continue;  // a device without a print queue is never read
        const QString text = vqReadDeviceId(s.instanceId);
        if (text.isEmpty()) {
            s.connected = false;
            continue;
        }
        const CvqJetMem mem = vqParseDeviceId(text, devices.value(it.key()).product->defaultPxg);
        if (!mem.ok) {
            s.connected = false;
            continue;
        }
        vqFillState(s, mem);
        anyConnected = anyConnected || !s.SN.isEmpty();
    }

    // Only a connected printer with a serial number can own a port: skip the listing otherwise.
    if (anyConnected) {
        static const int ourVendor = vqVendorId.toInt(nullptr, 16);
        for (const CvqSerialPortEntry& port : vqHost().vqSerialPorts()) {
            // Another maker's device may carry our serial number: opening it toggles its lines.
            if (port.vendorId >= 0 && port.vendorId != ourVendor)
                continue;
            for (auto it = result.begin(); it != result.end(); ++it) {
                CvqState& s = it.value();
                if (s.connected && !s.SN.isEmpty() && port.serialNumber.compare(s.SN, Qt::CaseInsensitive) == 0)
                    s.vqComName = port.portName;
            }
        }
    }
    return result;
}

void CvqCoreTrd::run()
{
    QMap<QString, CvqState> previous;
    int cycle = 0;
    for (;;) {
        const QMap<QString, CvqState> current = vqPollCycle();
        if (current != previous) {
            qDebug() << "CvqCoreTrd::run" << QThread::currentThreadId() << cycle;
            emit vqOnChange(previous, current);
            previous = current;
        }
        if (vqWaitQuit(1000))
            break;
        ++cycle;
    }
}

void vqRegisterStateMetaTypes()
{
    qRegisterMetaType<CvqState>("CvqState");
    qRegisterMetaType<QMap<QString, CvqState>>("QMap<QString,CvqState>");
}
