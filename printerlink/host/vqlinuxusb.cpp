#include "vqlinuxusb.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const char* const kDevices = "/sys/bus/usb/devices/";
// The identification buffer, as on Windows.
const int kIdBufferBytes = 1024;
const unsigned kControlTimeoutMs = 5000;
// The usblp driver's private GET_DEVICE_ID ioctl (not in a kernel header).
const unsigned long kUsblpGetDeviceId = _IOC(_IOC_READ, 'P', 1, kIdBufferBytes);

// A sysfs attribute without its line end; empty when unreadable. Plain calls:
// the fallback without udev runs this for every printer three times a second.
QByteArray attr(const QString& dir, const char* name)
{
    const QByteArray path = QFile::encodeName(dir) + '/' + name;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    char buf[256];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    return n > 0 ? QByteArray(buf, int(n)).trimmed() : QByteArray();
}

int hexAttr(const QString& dir, const char* name, bool* ok) { return attr(dir, name).toInt(ok, 16); }

// Fills the device part (everything but the interface) from the device's folder.
bool readDevice(const QString& port, CvqLinuxUsbPrinter* p)
{
    const QString dir = QLatin1String(kDevices) + port;
    bool okV = false, okP = false, okB = false, okD = false;
    const int vid = hexAttr(dir, "idVendor", &okV);
    const int pid = hexAttr(dir, "idProduct", &okP);
    p->busnum = attr(dir, "busnum").toInt(&okB);
    p->devnum = attr(dir, "devnum").toInt(&okD);
    if (!(okV && okP && okB && okD))
        return false;
    p->port = port;
    p->serial = QString::fromUtf8(attr(dir, "serial"));
    p->instanceId = QStringLiteral("USB\\VID_%1&PID_%2&MI_%3\\%4")
                        .arg(vid, 4, 16, QLatin1Char('0'))
                        .arg(pid, 4, 16, QLatin1Char('0'))
                        .arg(p->interfaceNumber, 2, 16, QLatin1Char('0'))
                        .toUpper()
                        .arg(port);
    return true;
}

// The interface folder ("<port>:<config>.<interface>") when it is a printer interface.
bool readInterface(const QString& name, CvqLinuxUsbPrinter* p)
{
    const QString dir = QLatin1String(kDevices) + name;
    bool okClass = false, okNo = false;
    if (hexAttr(dir, "bInterfaceClass", &okClass) != 7 || !okClass)
        return false;
    p->interfaceNumber = hexAttr(dir, "bInterfaceNumber", &okNo);
    p->alternateSetting = attr(dir, "bAlternateSetting").toInt();
    p->interfaceDir = dir;
    return okNo && readDevice(name.section(':', 0, 0), p);
}

QStringList interfaceEntries()
{
    QStringList names = QDir(QLatin1String(kDevices)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    names.erase(std::remove_if(names.begin(), names.end(), [](const QString& n) { return !n.contains(':'); }),
                names.end());
    return names;
}

int openNode(const QByteArray& path, int flags)
{
    int fd;
    do
        fd = ::open(path.constData(), flags | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// -1 when the node cannot be opened, else the ioctl's result.
int usbfsRead(const CvqLinuxUsbPrinter& p, unsigned char* buf)
{
    const QByteArray node = QStringLiteral("/dev/bus/usb/%1/%2")
                                .arg(p.busnum, 3, 10, QLatin1Char('0'))
                                .arg(p.devnum, 3, 10, QLatin1Char('0'))
                                .toLatin1();
    const int fd = openNode(node, O_RDWR);
    if (fd < 0)
        return -2;
    usbdevfs_ctrltransfer ctrl = {};
    ctrl.bRequestType = 0xA1;  // class request, interface, device to host
    ctrl.bRequest = 0;         // GET_DEVICE_ID
    // Only this wIndex passes without claiming the interface a driver may hold.
    ctrl.wIndex = quint16((p.interfaceNumber << 8) | p.alternateSetting);
    ctrl.wLength = kIdBufferBytes;
    ctrl.timeout = kControlTimeoutMs;
    ctrl.data = buf;
    const int n = ::ioctl(fd, USBDEVFS_CONTROL, &ctrl);
    ::close(fd);
    return n;
}

// The usblp node of the interface, when its driver is bound.
QByteArray usblpNode(const CvqLinuxUsbPrinter& p)
{
    const QStringList lp = QDir(p.interfaceDir + QStringLiteral("/usbmisc"))
                               .entryList({QStringLiteral("lp*")}, QDir::AllEntries | QDir::System);
    return lp.isEmpty() ? QByteArray() : QFile::encodeName(QStringLiteral("/dev/usb/") + lp.first());
}

}  // namespace

namespace vqlinux {

CvqHost::EnumResult listPrinters(QList<CvqLinuxUsbPrinter>* printers)
{
    printers->clear();
    for (const QString& name : interfaceEntries()) {
        CvqLinuxUsbPrinter p;
        if (readInterface(name, &p))
            printers->append(p);
    }
    std::sort(printers->begin(), printers->end(), [](const CvqLinuxUsbPrinter& a, const CvqLinuxUsbPrinter& b) {
        return a.port != b.port ? a.port < b.port : a.interfaceNumber < b.interfaceNumber;
    });
    return CvqHost::EnumOk;
}

bool resolve(const QString& instanceId, CvqLinuxUsbPrinter* printer)
{
    static const QRegularExpression re(QStringLiteral("^USB\\\\VID_([0-9A-F]{4})&PID_([0-9A-F]{4})&MI_([0-9A-F]{2})"
                                                      "\\\\([0-9]{1,3}-[0-9]{1,3}(\\.[0-9]{1,3}){0,6})$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(instanceId);
    if (!m.hasMatch())
        return false;
    const QString port = m.captured(4);
    const int iface = m.captured(3).toInt(nullptr, 16);
    // The configuration number is part of the folder's name: try the usual first
    // configuration before looking among all the port's interfaces.
    QStringList names{port + QStringLiteral(":1.") + QString::number(iface)};
    if (attr(QLatin1String(kDevices) + names.first(), "bInterfaceNumber").isEmpty())
        names = QDir(QLatin1String(kDevices)).entryList({port + QStringLiteral(":*")}, QDir::AllEntries | QDir::System);
    for (const QString& name : qAsConst(names)) {
        bool ok = false;
        if (hexAttr(QLatin1String(kDevices) + name, "bInterfaceNumber", &ok) != iface || !ok)
            continue;
        CvqLinuxUsbPrinter p;
        if (!readInterface(name, &p) || p.instanceId.compare(instanceId, Qt::CaseInsensitive) != 0)
            return false;  // another product, or no printer interface, at that port now
        *printer = p;
        return true;
    }
    return false;
}

CvqHost::ReadResult readIeee1284(const QString& instanceId, QByteArray* reply)
{
    reply->clear();
    CvqLinuxUsbPrinter p;
    return resolve(instanceId, &p) ? readIeee1284(p, reply) : CvqHost::ReadOpenFailed;
}

CvqHost::ReadResult readIeee1284(const CvqLinuxUsbPrinter& p, QByteArray* reply)
{
    reply->clear();
    unsigned char buf[kIdBufferBytes] = {};
    int n = usbfsRead(p, buf);
    if (n == -2) {
        // No usbfs access: the printer driver's node, exclusive while open.
        const QByteArray lp = usblpNode(p);
        const int fd = lp.isEmpty() ? -1 : openNode(lp, O_RDONLY | O_NONBLOCK);
        if (fd < 0)
            return CvqHost::ReadOpenFailed;
        n = ::ioctl(fd, kUsblpGetDeviceId, buf);
        ::close(fd);
        // The driver answers 0 and copies as many bytes as the reply's big-endian
        // length prefix names, at least 2 and at most its 1023-byte cache.
        if (n == 0)
            n = qBound(2, (buf[0] << 8) | buf[1], kIdBufferBytes - 1);
    }
    if (n < 0)
        return CvqHost::ReadRequestFailed;
    *reply = QByteArray(reinterpret_cast<const char*>(buf), qMin(n, kIdBufferBytes));
    return CvqHost::ReadOk;
}

}  // namespace vqlinux
