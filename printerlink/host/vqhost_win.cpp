// Windows host: the Qt side of the Win32 calls in vqwinapi.cpp.
#include "vqhost.h"
#include "vqusbguid.h"
#include "vqwinapi.h"
#include "vqwinqueue.h"
#include "../vqquit.h"

#include <QAtomicInt>
#include <QDebug>

namespace {
const wchar_t* const kPrinters = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";
const wchar_t* const kDeviceClasses = L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" VQ_USB_PRINT_GUID;

QString fromWin(const std::wstring& s) { return QString::fromWCharArray(s.data(), int(s.size())); }
std::wstring toWin(const QString& s) { return s.toStdWString(); }

// \\.\<instance id with "\" as "#">#{usb printer interface guid}
QString devicePath(QString instanceId)
{
    instanceId.replace('\\', '#');
    return QStringLiteral("\\\\.\\") + instanceId + QStringLiteral("#" VQ_USB_PRINT_GUID);
}

QStringList toList(const std::vector<std::wstring>& v)
{
    QStringList out;
    for (const std::wstring& s : v)
        out << fromWin(s);
    return out;
}

class CvqWinHost : public CvqHost, private CvqRegistryView
{
public:
    EnumResult vqListUsbPrinters(QStringList* ids) override
    {
        std::vector<std::wstring> raw;
        const vqwin::EnumStatus st = vqwin::listUsbPrinterInstanceIds(raw);
        *ids = toList(raw);
        return st == vqwin::EnumOk ? EnumOk : st == vqwin::EnumListFailed ? EnumListFailed : EnumIdFailed;
    }

    ReadResult vqReadIeee1284(const QString& instanceId, QByteArray* reply) override
    {
        const QString path = devicePath(instanceId);
        std::vector<unsigned char> raw;
        // Device paths are ASCII. A held read gives up when the program stops, so the exit never waits on it.
        const vqwin::ReadStatus st = vqwin::readIeee1284Id(path.toStdString(), raw, [] { return vqWaitQuit(0); });
        *reply = QByteArray(reinterpret_cast<const char*>(raw.data()), int(raw.size()));
        static QAtomicInt heldSaid(0);
        if (st == vqwin::ReadHeld && heldSaid.testAndSetRelaxed(0, 1))
            qDebug() << "(vq)identification request held by the driver past its cancellation: its memory is kept";
        return st == vqwin::ReadOk ? ReadOk : st == vqwin::ReadOpenFailed ? ReadOpenFailed : ReadRequestFailed;
    }

    QMap<QString, QString> vqUsbPrinterQueues(const QStringList& instanceIds) override
    {
        return vqFindUsbPrinterQueues(*this, instanceIds);
    }

    // The name comes from the command line, in the local code page.
    int vqQueueHasJobs(const QByteArray& name) override
    {
        return vqwin::queueHasJobs(toWin(QString::fromLocal8Bit(name)));
    }

    QList<CvqSerialPortEntry> vqSerialPorts() override { return vqSystemSerialPorts(); }

    void vqShowQueue(const QString& queueName) override
    {
        const QString command = vqPrinterQueueCommand(queueName);
        if (!command.isEmpty())
            vqwin::startDetached(toWin(command));
    }

private:
    QStringList vqQueueNames() override { return toList(vqwin::regSubkeys(kPrinters)); }
    QString vqQueuePort(const QString& queue) override
    {
        std::wstring s;
        vqwin::regString(std::wstring(kPrinters) + L"\\" + toWin(queue), L"Port", s);
        return fromWin(s);
    }
    quint32 vqQueueAttributes(const QString& queue) override
    {
        unsigned long v = 0;
        vqwin::regDword(std::wstring(kPrinters) + L"\\" + toWin(queue), L"Attributes", v);
        return quint32(v);
    }
    QStringList vqDeviceClassKeys() override { return toList(vqwin::regSubkeys(kDeviceClasses)); }
    quint32 vqDevicePortNumber(const QString& key) override
    {
        unsigned long v = 0;
        vqwin::regDword(std::wstring(kDeviceClasses) + L"\\" + toWin(key) + L"\\#\\Device Parameters", L"Port Number",
                        v);
        return quint32(v);
    }
};
}  // namespace

CvqHost& vqPlatformHost()
{
    static CvqWinHost host;
    return host;
}
