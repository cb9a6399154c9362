#pragma once
// A umockdev testbed of USB devices for the Linux host: printer interfaces whose
// identification requests (usbfs control transfer or usblp ioctl) this object
// answers. Needs the umockdev preload (run under umockdev-wrapper).

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QString>

struct _UMockdevTestbed;

class CvqMockUsb
{
public:
    enum Node { Usbfs, Usblp, NoNode };
    struct Control
    {
        int requestType = -1, request = -1, value = -1, index = -1, length = -1;
    };

    CvqMockUsb();
    ~CvqMockUsb();
    // Empty when the testbed stands, else why not.
    QString error() const { return mError; }

    // A device at a port (e.g. "1-1") with one printer interface. The identification
    // reply starts empty: the request stalls.
    bool addPrinter(const QString& port, quint16 vid, quint16 pid, const QString& serial, int interfaceNumber,
                    int alternateSetting, Node node);
    // A CDC-ACM serial port on an interface of the device at that port, its USB serial
    // number as udev reports it.
    bool addSerialPort(const QString& port, int interfaceNumber, const QString& tty, const QString& serial);
    // Any further devices in umockdev's text form; paths below /devices/usbN.
    bool addRecord(const QString& record);
    // Announces a device (its path under /sys) as udev would, e.g. "add" or "remove".
    void uevent(const QString& syspath, const char* action);
    // Takes a device and what lies below it out of the testbed, announcing nothing;
    // its node under /dev too when named (umockdev leaves a serial port's behind).
    void remove(const QString& syspath, const QString& devnode = QString());
    // The bytes the device answers with at that node; empty: the request stalls.
    void setReply(const QString& devnode, const QByteArray& reply);
    Control lastControl(const QString& devnode) const;
    QString nodeOf(const QString& port, Node node) const { return mNodes.value(port + QString::number(node)); }

    // Called on umockdev's thread.
    bool handle(const QString& devnode, unsigned long request, void* client);

private:
    bool attach(const QString& devnode);

    _UMockdevTestbed* mBed = nullptr;
    QString mError;
    QMap<QString, QString> mNodes;  // port + node kind -> /dev path
    QMap<int, bool> mHubs;
    int mNextLp = 0;
    mutable QMutex mMutex;
    QMap<QString, QByteArray> mReplies;
    QMap<QString, Control> mSeen;
};
