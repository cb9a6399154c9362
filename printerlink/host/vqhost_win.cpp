// Windows host: the Qt side of the Win32 calls in vqwinapi.cpp.
#include "vqhost.h"
#include "vqwinapi.h"
#include "../vqdeviceid.h"

#include <QSerialPortInfo>

namespace {
const char* const kPrinters = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";
const char* const kDeviceClasses =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

QString fromWin(const std::string& s) { return QString::fromUtf8(s.data(), int(s.size())); }
std::string toWin(const QString& s) { return s.toUtf8().toStdString(); }

QStringList toList(const std::vector<std::string>& v)
{
    QStringList out;
    for (const std::string& s : v)
        out << fromWin(s);
    return out;
}

class CvqWinHost : public CvqHost, private CvqRegistryView
{
public:
    EnumResult vqListUsbPrinters(QStringList* ids) override
    {
        std::vector<std::string> raw;
        const vqwin::EnumStatus st = vqwin::listUsbPrinterInstanceIds(raw);
        *ids = toList(raw);
        return st == vqwin::EnumOk ? EnumOk : st == vqwin::EnumListFailed ? EnumListFailed : EnumIdFailed;
    }

    ReadResult vqReadIeee1284(const QString& instanceId, QByteArray* reply) override
    {
        const QString path = vqDevicePath(instanceId);
        std::vector<unsigned char> raw;
        const vqwin::ReadStatus st = vqwin::readIeee1284Id(toWin(path), raw);
        *reply = QByteArray(reinterpret_cast<const char*>(raw.data()), int(raw.size()));
        return st == vqwin::ReadOk ? ReadOk : st == vqwin::ReadOpenFailed ? ReadOpenFailed : ReadRequestFailed;
    }

    CvqRegistryView& vqRegistry() override { return *this; }
    int vqQueueHasJobs(const QByteArray& name) override { return vqwin::queueHasJobs(name.constData()); }

    QList<CvqSerialPortEntry> vqSerialPorts() override
    {
        QList<CvqSerialPortEntry> out;
        for (const QSerialPortInfo& p : QSerialPortInfo::availablePorts())
            out.append({p.portName(), p.serialNumber()});
        return out;
    }

    void vqStartDetached(const QString& commandLine) override { vqwin::startDetached(toWin(commandLine)); }

private:
    QStringList vqQueueNames() override { return toList(vqwin::regSubkeys(kPrinters)); }
    QString vqQueuePort(const QString& queue) override
    {
        std::string s;
        vqwin::regString(std::string(kPrinters) + "\\" + toWin(queue), "Port", s);
        return fromWin(s);
    }
    quint32 vqQueueAttributes(const QString& queue) override
    {
        unsigned long v = 0;
        vqwin::regDword(std::string(kPrinters) + "\\" + toWin(queue), "Attributes", v);
        return quint32(v);
    }
    QStringList vqDeviceClassKeys() override { return toList(vqwin::regSubkeys(kDeviceClasses)); }
    quint32 vqDevicePortNumber(const QString& key) override
    {
        unsigned long v = 0;
        vqwin::regDword(std::string(kDeviceClasses) + "\\" + toWin(key) + "\\#\\Device Parameters", "Port Number", v);
        return quint32(v);
    }
};
}  // namespace

CvqHost& vqPlatformHost()
{
    static CvqWinHost host;
    return host;
}
