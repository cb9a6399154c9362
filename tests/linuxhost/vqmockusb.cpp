#include "vqmockusb.h"

// GLib names a structure field "signals": keep Qt's macro away from its headers.
#pragma push_macro("signals")
#undef signals
#include <umockdev.h>
#pragma pop_macro("signals")

#include <QFile>

#include <cerrno>
#include <cstring>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

namespace {

const unsigned long kUsblpGetDeviceId = _IOC(_IOC_READ, 'P', 1, 1024);

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
{
    return static_cast<CvqMockUsb*>(self)->handle(QString::fromUtf8(umockdev_ioctl_client_get_devnode(client)),
                                                  umockdev_ioctl_client_get_request(client), client);
}

QString takeError(GError* e)
{
    const QString msg = e ? QString::fromUtf8(e->message) : QStringLiteral("unknown error");
    g_clear_error(&e);
    return msg;
}

}  // namespace

CvqMockUsb::CvqMockUsb()
{
    if (!qgetenv("LD_PRELOAD").contains("libumockdev-preload")) {
        mError = QStringLiteral("not under the umockdev preload: run through umockdev-wrapper");
        return;
    }
    mBed = umockdev_testbed_new();
}

CvqMockUsb::~CvqMockUsb()
{
    if (mBed)
        g_object_unref(mBed);
}

bool CvqMockUsb::attach(const QString& devnode)
{
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), this);
    GError* e = nullptr;
    const bool ok = umockdev_testbed_attach_ioctl(mBed, devnode.toUtf8().constData(), handler, &e);
    g_object_unref(handler);
    if (!ok)
        mError = devnode + QStringLiteral(": ") + takeError(e);
    return ok;
}

bool CvqMockUsb::addRecord(const QString& record)
{
    if (!mBed)
        return false;
    GError* e = nullptr;
    if (umockdev_testbed_add_from_string(mBed, record.toUtf8().constData(), &e))
        return true;
    mError = takeError(e);
    return false;
}

bool CvqMockUsb::addPrinter(const QString& port, quint16 vid, quint16 pid, const QString& serial, int interfaceNumber,
                            int alternateSetting, Node node)
{
    const int bus = port.section('-', 0, 0).toInt(), devnum = 2 + mNodes.size();
    if (!mHubs.contains(bus)
        && !addRecord(QStringLiteral("P: /devices/usb%1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
                                     "A: idVendor=1d6b\nA: idProduct=0002\nA: busnum=%1\nA: devnum=1\n")
                          .arg(bus)))
        return false;
    mHubs[bus] = true;
    const QString usbfs = QStringLiteral("bus/usb/%1/%2").arg(bus, 3, 10, QChar('0')).arg(devnum, 3, 10, QChar('0'));
    const QString lp = QStringLiteral("usb/lp%1").arg(mNextLp);
    const QString dev = QStringLiteral("/devices/usb%1/%2").arg(bus).arg(port);
    const QString iface = dev + QStringLiteral("/%1:1.%2").arg(port).arg(interfaceNumber);
    QString rec = QStringLiteral("P: %1\n%2E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=%3\nA: idProduct=%4\n"
                                 "A: busnum=%5\nA: devnum=%6\n%7")
                      .arg(dev, node == Usbfs ? "N: " + usbfs + '\n' : QString())
                      .arg(vid, 4, 16, QChar('0'))
                      .arg(pid, 4, 16, QChar('0'))
                      .arg(bus)
                      .arg(devnum)
                      .arg(serial.isEmpty() ? QString() : "A: serial=" + serial + '\n');
    rec += QStringLiteral("\nP: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceClass=07\n"
                          "A: bInterfaceNumber=%2\nA: bAlternateSetting=%3\n")
               .arg(iface)
               .arg(interfaceNumber, 2, 16, QChar('0'))
               .arg(alternateSetting, 2, 10, QChar(' '));
    if (node == Usblp)
        rec += QStringLiteral("\nP: %1/usbmisc/lp%2\nN: %3\nE: SUBSYSTEM=usbmisc\nE: DEVNAME=/dev/%3\n")
                   .arg(iface)
                   .arg(mNextLp++)
                   .arg(lp);
    const QString devnode = QStringLiteral("/dev/") + (node == Usblp ? lp : usbfs);
    // Handlers go in before the nodes exist.
    if (node != NoNode && !attach(devnode))
        return false;
    mNodes.insert(port + QString::number(node), devnode);
    mNodes.insert(port + QString::number(NoNode), QString());
    return addRecord(rec);
}

bool CvqMockUsb::addSerialPort(const QString& port, int interfaceNumber, const QString& tty, const QString& serial)
{
    const QString iface =
        QStringLiteral("/devices/usb%1/%2/%2:1.%3").arg(port.section('-', 0, 0), port).arg(interfaceNumber);
    return addRecord(QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=cdc_acm\n"
                                    "A: bInterfaceClass=02\nA: bInterfaceNumber=%4\n\n"
                                    "P: %1/tty/%2\nN: %2\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/%2\n"
                                    "E: ID_SERIAL_SHORT=%3\n")
                         .arg(iface, tty, serial)
                         .arg(interfaceNumber, 2, 16, QChar('0')));
}

void CvqMockUsb::uevent(const QString& syspath, const char* action)
{
    if (mBed)
        umockdev_testbed_uevent(mBed, syspath.toUtf8().constData(), action);
}

void CvqMockUsb::remove(const QString& syspath, const QString& devnode)
{
    if (!mBed)
        return;
    umockdev_testbed_remove_device(mBed, syspath.toUtf8().constData());
    if (devnode.isEmpty())
        return;
    gchar* root = umockdev_testbed_get_root_dir(mBed);
    QFile::remove(QString::fromUtf8(root) + QStringLiteral("/dev/") + devnode);
    g_free(root);
}

void CvqMockUsb::setReply(const QString& devnode, const QByteArray& reply)
{
    QMutexLocker lock(&mMutex);
    mReplies[devnode] = reply;
}

CvqMockUsb::Control CvqMockUsb::lastControl(const QString& devnode) const
{
    QMutexLocker lock(&mMutex);
    return mSeen.value(devnode);
}

bool CvqMockUsb::handle(const QString& devnode, unsigned long request, void* c)
{
    auto* client = static_cast<UMockdevIoctlClient*>(c);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    QMutexLocker lock(&mMutex);
    const QByteArray reply = mReplies.value(devnode);
    GError* e = nullptr;
    UMockdevIoctlData* buf = nullptr;
    UMockdevIoctlData* d = nullptr;
    int n = 0;
    if (request == USBDEVFS_CONTROL && (d = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ctrltransfer), &e))) {
        usbdevfs_ctrltransfer ctrl;
        std::memcpy(&ctrl, d->data, sizeof ctrl);
        mSeen[devnode] = {ctrl.bRequestType, ctrl.bRequest, ctrl.wValue, ctrl.wIndex, ctrl.wLength};
        n = qMin(reply.size(), int(ctrl.wLength));
        if (!reply.isEmpty())
            buf = umockdev_ioctl_data_resolve(d, G_STRUCT_OFFSET(usbdevfs_ctrltransfer, data), ctrl.wLength, &e);
    } else if (request == kUsblpGetDeviceId) {
        mSeen[devnode] = Control();
        if (!reply.isEmpty())
            buf = umockdev_ioctl_data_resolve(arg, 0, 1024, &e);
        n = qMin(reply.size(), 1024);
    }
    if (buf)
        std::memcpy(buf->data, reply.constData(), size_t(n));
    // usbfs answers the length, usblp 0; a stalled request fails with EPIPE.
    const int known = request == USBDEVFS_CONTROL ? (d ? EPIPE : EFAULT)
        : request == kUsblpGetDeviceId            ? EPIPE
                                                  : ENOTTY;
    umockdev_ioctl_client_complete(client, buf ? (request == USBDEVFS_CONTROL ? n : 0) : -1, buf ? 0 : known);
    // The resolved data went back to the caller on completion.
    if (buf)
        g_object_unref(buf);
    if (d)
        g_object_unref(d);
    g_clear_error(&e);
    return true;
}
