#include "vqsimtree.h"
#include "printerlink/host/vqsimname.h"
#include "printerlink/host/vqusbguid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

QByteArray vqShiftSts(const QByteArray& hexDigits)
{
    QByteArray out = hexDigits;
    for (char& c : out)
        c = char(c + 17);
    return out;
}

QByteArray vqEncodeSts(const CvqStsFields& f)
{
    QByteArray hex;
    auto put = [&hex](quint32 v, int digits) {
        hex += QByteArray::number(v, 16).rightJustified(digits, '0').toUpper();
    };
    put(f.jobPrintedCount, 4);
    put(f.inPrintJob, 2);
    for (quint8 b : f.statusBytes)
        put(b, 2);
    put(f.crumStatus, 2);
    put(f.crumT, 4);
    put(f.crumD, 4);
    if (f.withAllPrintCount)
        put(f.allPrintCount & 0xFFFFFF, 6);
    return vqShiftSts(hex);
}

QByteArray vqMakeDeviceId(const QString& model, const QString& romver, const QString& sn, const CvqStsFields& sts,
                          int pxg, int tll)
{
    QByteArray id = "MFG:Morvane;CMD:PCL,PWG;CLS:PRINTER;MDL:" + model.toUtf8() + ";EX:0;ROMVER:" + romver.toUtf8()
        + ";SN:" + sn.toUtf8() + ";";
    if (pxg > 0)
        id += "PXG:" + QByteArray::number(pxg) + ";";
    id += "TLL:" + QByteArray::number(tll) + ";STS:" + vqEncodeSts(sts) + ";";
    return id;
}

CvqSimTree::CvqSimTree(const QString& root) : mRoot(root)
{
    QDir().mkpath(mRoot + "/usb");
    QDir().mkpath(mRoot + "/registry/Printers");
    QDir().mkpath(mRoot + "/registry/DeviceClasses");
    QDir().mkpath(mRoot + "/spooler");
    QDir().mkpath(mRoot + "/serial");
}

QString CvqSimTree::vqEntryName(const QString& instanceId)
{
    QString e = instanceId;
    return vqSimNameEncode(e.replace('\\', '#'));
}

bool CvqSimTree::vqWriteFileAtomic(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(data);
    return f.commit();
}

static bool removeFile(const QString& path) { return !QFileInfo::exists(path) || QFile::remove(path); }

bool CvqSimTree::vqAddDevice(const QString& instanceId, const QByteArray& idReply)
{
    const QString dir = mRoot + "/usb/" + vqEntryName(instanceId);
    if (!vqWriteFileAtomic(dir + "/instance_id", instanceId.toUtf8() + '\n'))
        return false;
    return idReply.isEmpty() ? removeFile(dir + "/ieee1284_id") : vqWriteFileAtomic(dir + "/ieee1284_id", idReply);
}

bool CvqSimTree::vqSetDeviceReply(const QString& instanceId, const QByteArray& idReply)
{
    return vqWriteFileAtomic(mRoot + "/usb/" + vqEntryName(instanceId) + "/ieee1284_id", idReply);
}

bool CvqSimTree::vqRemoveDeviceReply(const QString& instanceId)
{
    return removeFile(mRoot + "/usb/" + vqEntryName(instanceId) + "/ieee1284_id");
}

bool CvqSimTree::vqSetReadFails(const QString& instanceId, bool fails)
{
    const QString path = mRoot + "/usb/" + vqEntryName(instanceId) + "/read_fails";
    return fails ? vqWriteFileAtomic(path, QByteArray()) : removeFile(path);
}

bool CvqSimTree::vqRemoveDevice(const QString& instanceId)
{
    return QDir(mRoot + "/usb/" + vqEntryName(instanceId)).removeRecursively();
}

bool CvqSimTree::vqSetEnumerationFails(bool fails)
{
    const QString path = mRoot + "/usb/.enumeration_fails";
    return fails ? vqWriteFileAtomic(path, QByteArray()) : removeFile(path);
}

static QString deviceClassKey(const QString& instanceId)
{
    QString key = instanceId;
    key.replace('\\', '#');
    return vqSimNameEncode(QStringLiteral("##?#") + key + QLatin1String("#" VQ_USB_PRINT_GUID));
}

bool CvqSimTree::vqAddQueue(const QString& queue, const QString& instanceId, int port, quint32 attributes)
{
    const QString q = mRoot + "/registry/Printers/" + vqSimNameEncode(queue);
    return vqWriteFileAtomic(q + "/Port", "USB" + QByteArray::number(port).rightJustified(3, '0') + '\n')
        && vqWriteFileAtomic(q + "/Attributes", QByteArray::number(attributes) + '\n')
        && vqSetDevicePortNumber(instanceId, QByteArray::number(port) + '\n') && vqAddSpoolerQueue(queue);
}

bool CvqSimTree::vqSetQueueValue(const QString& queue, const QString& value, const QByteArray& text)
{
    return vqWriteFileAtomic(mRoot + "/registry/Printers/" + vqSimNameEncode(queue) + '/' + vqSimNameEncode(value),
                             text);
}

bool CvqSimTree::vqSetDevicePortNumber(const QString& instanceId, const QByteArray& text)
{
    return vqWriteFileAtomic(
        mRoot + "/registry/DeviceClasses/" + deviceClassKey(instanceId) + "/#/Device Parameters/Port Number", text);
}

bool CvqSimTree::vqRemoveQueue(const QString& queue)
{
    return QDir(mRoot + "/registry/Printers/" + vqSimNameEncode(queue)).removeRecursively()
        && QDir(mRoot + "/spooler/" + vqSimNameEncode(queue)).removeRecursively();
}

bool CvqSimTree::vqAddSpoolerQueue(const QString& queue)
{
    return QDir().mkpath(mRoot + "/spooler/" + vqSimNameEncode(queue) + "/jobs");
}

bool CvqSimTree::vqAddJob(const QString& queue, const QString& job)
{
    return vqWriteFileAtomic(mRoot + "/spooler/" + vqSimNameEncode(queue) + "/jobs/" + vqSimNameEncode(job), "job\n");
}

bool CvqSimTree::vqClearJobs(const QString& queue)
{
    QDir jobs(mRoot + "/spooler/" + vqSimNameEncode(queue) + "/jobs");
    return jobs.removeRecursively() && QDir().mkpath(jobs.path());
}

bool CvqSimTree::vqAddSerialPort(const QString& entry, const QString& portName, const QString& serialNumber)
{
    const QString dir = mRoot + "/serial/" + vqSimNameEncode(entry);
    return vqWriteFileAtomic(dir + "/port_name", portName.toUtf8() + '\n')
        && vqWriteFileAtomic(dir + "/serial_number", serialNumber.toUtf8() + '\n');
}

bool CvqSimTree::vqRemoveSerialPort(const QString& entry)
{
    return QDir(mRoot + "/serial/" + vqSimNameEncode(entry)).removeRecursively();
}

QStringList CvqSimTree::vqLaunched() const
{
    QFile f(mRoot + "/launched");
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}
