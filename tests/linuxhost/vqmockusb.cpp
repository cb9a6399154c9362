#include "vqmockusb.h"

// GLib names a structure field "signals": keep Qt's macro away from its headers.
#pragma push_macro("signals")
#undef signals
#include <umockdev.h>
#pragma pop_macro("signals")

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

// ok; umockdev's message, when it gave one, in *error.
bool done(bool ok, GError* e, QString* error)
{
    if (e)
        *error = QString::fromUtf8(e->message);
    g_clear_error(&e);
    return ok;
}

}  // namespace

CvqMockUsb::CvqMockUsb()
{
    if (qgetenv("LD_PRELOAD").contains("libumockdev-preload"))
        mBed = umockdev_testbed_new();
    else
        mError = QStringLiteral("not under the umockdev preload: run through umockdev-wrapper");
}

CvqMockUsb::~CvqMockUsb() { g_clear_object(&mBed); }

bool CvqMockUsb::addRecord(const QString& record)
{
    GError* e = nullptr;
    return mBed && done(umockdev_testbed_add_from_string(mBed, record.toUtf8().constData(), &e), e, &mError);
}

bool CvqMockUsb::addPrinter(const QString& port, quint16 vid, quint16 pid, const QString& serial, int interfaceNumber,
                            int alternateSetting, Node node, const QByteArray& reply)
{
    const int bus = port.section('-', 0, 0).toInt(), devnum = 2 + mDevices++;
    const QString usbfs = QString::asprintf("/dev/bus/usb/%03d/%03d", bus, devnum);
    const QString lp = QString::asprintf("/dev/usb/lp%d", devnum);
    const QString iface = QStringLiteral("/devices/usb%1/%2/%2:1.%3").arg(bus).arg(port).arg(interfaceNumber);
    QString rec = QString::asprintf(
        "P: %s\n%sE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=%04x\nA: idProduct=%04x\nA: busnum=%d\n"
        "A: devnum=%d\nA: serial=%s\n\nP: %s\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceClass=07\n"
        "A: bInterfaceNumber=%02x\nA: bAlternateSetting=%2d\n",
        qPrintable(iface.section('/', 0, -2)), node == Usbfs ? qPrintable("N: " + usbfs.mid(5) + '\n') : "", vid, pid,
        bus, devnum, qPrintable(serial), qPrintable(iface), interfaceNumber, alternateSetting);
    if (node == Usblp)
        rec += QStringLiteral("\nP: %1/usbmisc/%2\nN: %3\nE: SUBSYSTEM=usbmisc\nE: DEVNAME=%4\n")
                   .arg(iface, lp.section('/', -1), lp.mid(5), lp);
    const QString devnode = node == Usbfs ? usbfs : node == Usblp ? lp : QString();
    if (devnode.isEmpty())
        return addRecord(rec);
    QMutexLocker lock(&mMutex);
    mAnswers.insert(devnode, {interfaceNumber << 8 | alternateSetting, reply});
    // The handler goes in before the node exists.
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), this);
    GError* e = nullptr;
    const bool ok = mBed && umockdev_testbed_attach_ioctl(mBed, devnode.toUtf8().constData(), handler, &e);
    g_object_unref(handler);
    return done(ok, e, &mError) && addRecord(rec);
}

void CvqMockUsb::uevent(const QString& syspath, const char* action)
{
    umockdev_testbed_uevent(mBed, syspath.toUtf8().constData(), action);
    if (qstrcmp(action, "remove") == 0)
        umockdev_testbed_remove_device(mBed, syspath.toUtf8().constData());
}

bool CvqMockUsb::handle(const QString& devnode, unsigned long request, void* c)
{
    auto* client = static_cast<UMockdevIoctlClient*>(c);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    QMutexLocker lock(&mMutex);
    const QByteArray id = mAnswers.value(devnode).second;
    const int length = id.size() + 2;
    const QByteArray reply = (id.isEmpty() || mBare ? id : char(length >> 8) + (char(length) + id)).left(1024);
    GError* e = nullptr;
    UMockdevIoctlData *d = nullptr, *buf = nullptr;
    int n = -1;  // a stalled request fails with EPIPE
    if (request == USBDEVFS_CONTROL && !reply.isEmpty()
        && (d = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ctrltransfer), &e))) {
        const auto* ctrl = reinterpret_cast<const usbdevfs_ctrltransfer*>(d->data);
        if (ctrl->bRequestType == 0xA1 && ctrl->bRequest == 0 && ctrl->wValue == 0
            && ctrl->wIndex == mAnswers.value(devnode).first && ctrl->wLength == 1024
            && (buf = umockdev_ioctl_data_resolve(d, G_STRUCT_OFFSET(usbdevfs_ctrltransfer, data), 1024, &e)))
            n = reply.size();  // usbfs answers the length
    } else if (request == kUsblpGetDeviceId && !reply.isEmpty()) {
        buf = umockdev_ioctl_data_resolve(arg, 0, 1024, &e);
        n = buf ? 0 : -1;  // usblp answers 0
    }
    if (buf)
        std::memcpy(buf->data, reply.constData(), size_t(reply.size()));
    umockdev_ioctl_client_complete(client, n, n < 0 ? EPIPE : 0);
    // The resolved data went back to the caller on completion.
    g_clear_object(&buf);
    g_clear_object(&d);
    g_clear_error(&e);
    return true;
}
