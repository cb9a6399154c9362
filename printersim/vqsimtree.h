#pragma once
// Writes and edits a simulated host tree (the VQ_SIM_HOST layout): devices,
// identification texts, queues, jobs and serial ports. Used by the emulator and
// by the tests. Every file is replaced atomically; every name given is stored
// encoded (vqSimNameEncode).

#include <QByteArray>
#include <QString>

// Fields of the status memory as a printer reports them.
struct CvqStsFields
{
    quint16 jobPrintedCount = 0;
    quint8 inPrintJob = 0;
    quint8 statusBytes[10] = {0, 0, 0, 0, 0x80, 0, 0, 4, 0, 0};  // idle, tray 1 loaded
    quint8 crumStatus = 0x1A;                                    // levels present
    quint16 crumT = 8000;                                        // hundredths of a per cent
    quint16 crumD = 8000;
    quint32 allPrintCount = 0;
};

// Shifts plain hex digits into the wire form of the STS value (each character shifted by 17).
QByteArray vqShiftSts(const QByteArray& hexDigits);
// A complete identification text of one printer.
QByteArray vqMakeDeviceId(const QString& model, const QString& romver, const QString& sn, const CvqStsFields& sts,
                          int pxg = 0, int tll = 10);
// A standard USB printer's identification reply: the id's IEEE 1284 length field (two
// bytes, big-endian, counting themselves; at most 0xFFFF) in front of it.
QByteArray vqWithIdLength(const QByteArray& id);

class CvqSimTree
{
public:
    explicit CvqSimTree(const QString& root);
    const QString& root() const { return mRoot; }

    // Stored entry name of a device: its instance id with "\" as "#", encoded.
    static QString vqEntryName(const QString& instanceId);

    // A present USB printer interface; an empty id reply means "cannot be opened".
    bool vqAddDevice(const QString& instanceId, const QByteArray& idReply);
    bool vqSetDeviceReply(const QString& instanceId, const QByteArray& idReply)
    {
        return put(usb(instanceId, "ieee1284_id"), idReply);
    }
    bool vqRemoveDeviceReply(const QString& instanceId) { return remove(usb(instanceId, "ieee1284_id")); }
    bool vqSetReadFails(const QString& instanceId, bool fails) { return flag(usb(instanceId, "read_fails"), fails); }
    bool vqRemoveDevice(const QString& instanceId) { return removeDir(usb(instanceId, "")); }
    bool vqSetEnumerationFails(bool fails) { return flag(mRoot + "/usb/.enumeration_fails", fails); }

    // Registry queue bound to the device on port USB<port>; attributes default to
    // "do complete first" only.
    bool vqAddQueue(const QString& queue, const QString& instanceId, int port, quint32 attributes = 0x200);
    bool vqSetQueueValue(const QString& queue, const QString& value, const QByteArray& text);
    bool vqSetDevicePortNumber(const QString& instanceId, const QByteArray& text);
    bool vqRemoveQueue(const QString& queue)
    {
        return removeDir(named("/registry/Printers/", queue)) && removeDir(named("/spooler/", queue));
    }

    bool vqAddSpoolerQueue(const QString& queue);
    bool vqAddJob(const QString& queue, const QString& job);
    bool vqClearJobs(const QString& queue);

    bool vqAddSerialPort(const QString& entry, const QString& portName, const QString& serialNumber);
    bool vqRemoveSerialPort(const QString& entry) { return removeDir(named("/serial/", entry)); }

    QStringList vqLaunched() const;

    // Writes a file atomically (temporary file, then rename).
    static bool vqWriteFileAtomic(const QString& path, const QByteArray& data);

private:
    QString usb(const QString& id, const char* file) const { return mRoot + "/usb/" + vqEntryName(id) + '/' + file; }
    QString named(const char* dir, const QString& name) const;
    static bool put(const QString& path, const QByteArray& data) { return vqWriteFileAtomic(path, data); }
    static bool remove(const QString& path);
    // An empty file that is there or not.
    static bool flag(const QString& path, bool on) { return on ? put(path, {}) : remove(path); }
    static bool removeDir(const QString& path);

    QString mRoot;
};
