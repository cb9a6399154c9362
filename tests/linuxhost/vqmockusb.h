#pragma once
// A umockdev testbed of USB printers whose identification requests (usbfs or usblp) this answers.

#include <QMap>
#include <QMutex>
#include <QString>

#include <atomic>

struct _UMockdevTestbed;

class CvqMockUsb
{
public:
    enum Node { Usbfs, Usblp, NoNode };

    CvqMockUsb();
    ~CvqMockUsb();
    // Empty when the testbed stands, else why not.
    QString error() const { return mError; }

    // A device at a port (e.g. "1-1") with one printer interface. Its node answers GET_DEVICE_ID of that
    // interface and setting for a 1024-byte buffer with the id, its length field in front as a standard
    // printer sends it (bare with setBare); anything else stalls, as does an empty id.
    bool addPrinter(const QString& port, quint16 vid, quint16 pid, const QString& serial, int interfaceNumber,
                    int alternateSetting, Node node, const QByteArray& reply = QByteArray());
    // Any further devices in umockdev's text form; paths below /devices/usbN.
    bool addRecord(const QString& record);
    // Announces a device (its path under /sys) as udev would, "add" or "remove"; a removed one leaves the testbed.
    void uevent(const QString& syspath, const char* action);

    // Every printer sends its id without the length field (firmware that does), or with it.
    void setBare(bool bare) { mBare = bare; }

    // Called on umockdev's thread.
    bool handle(const QString& devnode, unsigned long request, void* client);

private:
    _UMockdevTestbed* mBed = nullptr;
    QString mError;
    int mDevices = 0;
    QMutex mMutex;
    std::atomic<bool> mBare{false};
    QMap<QString, QPair<int, QByteArray>> mAnswers;  // node -> the wIndex of its printer interface, the reply
};
