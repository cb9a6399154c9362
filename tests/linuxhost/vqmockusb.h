#pragma once
// A umockdev testbed of USB devices for the Linux host: printer interfaces whose
// identification requests (usbfs control transfer or usblp ioctl) this object
// answers. Needs the umockdev preload (run under umockdev-wrapper).

#include <QMap>
#include <QMutex>
#include <QString>

struct _UMockdevTestbed;

class CvqMockUsb
{
public:
    enum Node { Usbfs, Usblp, NoNode };

    CvqMockUsb();
    ~CvqMockUsb();
    // Empty when the testbed stands, else why not.
    QString error() const { return mError; }

    // A device at a port (e.g. "1-1") with one printer interface. Its node answers
    // GET_DEVICE_ID of that interface and setting for a 1024-byte buffer with the
    // reply; anything else stalls, as does an empty reply.
    bool addPrinter(const QString& port, quint16 vid, quint16 pid, const QString& serial, int interfaceNumber,
                    int alternateSetting, Node node, const QByteArray& reply = QByteArray());
    // Any further devices in umockdev's text form; paths below /devices/usbN.
    bool addRecord(const QString& record);
    // Announces a device (its path under /sys) as udev would, e.g. "add" or "remove".
    void uevent(const QString& syspath, const char* action);
    // Takes a device and what lies below it out of the testbed, announcing nothing.
    void remove(const QString& syspath);

    // Called on umockdev's thread.
    bool handle(const QString& devnode, unsigned long request, void* client);

private:
    _UMockdevTestbed* mBed = nullptr;
    QString mError;
    int mDevices = 0;
    QMutex mMutex;
    QMap<QString, QPair<int, QByteArray>> mAnswers;  // node -> the wIndex of its printer interface, the reply
};
