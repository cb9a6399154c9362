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

QByteArray vqMakeDeviceId(const QString& model, const QString& romver, const QString& sn, const CvqStsFields& sts,
                          int pxg, int tll)
{
    QByteArray hex;
    auto put = [&hex](quint32 v, int digits) {
        hex += QByteArray::number(v, 16).rightJustified(digits, '0').toUpper();
    };
    put(sts.jobPrintedCount, 4);
    put(sts.inPrintJob, 2);
    for (quint8 b : sts.statusBytes)
        put(b, 2);
    put(sts.crumStatus, 2);
    put(sts.crumT, 4);
    put(sts.crumD, 4);
    put(sts.allPrintCount & 0xFFFFFF, 6);
    QByteArray id = "MFG:Morvane;CMD:PCL,PWG;CLS:PRINTER;MDL:" + model.toUtf8() + ";EX:0;ROMVER:" + romver.toUtf8()
        + ";SN:" + sn.toUtf8() + ";";
    if (pxg > 0)
        id += "PXG:" + QByteArray::number(pxg) + ";";
    return id + "TLL:" + QByteArray::number(tll) + ";STS:" + vqShiftSts(hex) + ";";
}

QByteArray vqWithIdLength(const QByteArray& id)
{
    const int length = qMin(id.size() + 2, 0xFFFF);
    return QByteArray(1, char(length >> 8)) + char(length & 0xFF) + id;
}

CvqSimTree::CvqSimTree(const QString& root) : mRoot(root)
{
    for (const char* dir : {"/usb", "/registry/Printers", "/registry/DeviceClasses", "/spooler", "/serial"})
        QDir().mkpath(mRoot + dir);
}

QString CvqSimTree::vqEntryName(const QString& instanceId)
{
    return vqSimNameEncode(QString(instanceId).replace('\\', '#'));
}

QString CvqSimTree::named(const char* dir, const QString& name) const { return mRoot + dir + vqSimNameEncode(name); }

bool CvqSimTree::vqWriteFileAtomic(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.commit();
}

bool CvqSimTree::remove(const QString& path) { return !QFileInfo::exists(path) || QFile::remove(path); }

bool CvqSimTree::removeDir(const QString& path) { return QDir(path).removeRecursively(); }

bool CvqSimTree::vqAddDevice(const QString& instanceId, const QByteArray& idReply)
{
    return put(usb(instanceId, "instance_id"), instanceId.toUtf8() + '\n')
        && (idReply.isEmpty() ? vqRemoveDeviceReply(instanceId) : vqSetDeviceReply(instanceId, idReply));
}

bool CvqSimTree::vqAddQueue(const QString& queue, const QString& instanceId, int port, quint32 attributes)
{
    const QString q = named("/registry/Printers/", queue);
    return put(q + "/Port", "USB" + QByteArray::number(port).rightJustified(3, '0') + '\n')
        && put(q + "/Attributes", QByteArray::number(attributes) + '\n')
        && vqSetDevicePortNumber(instanceId, QByteArray::number(port) + '\n') && vqAddSpoolerQueue(queue);
}

bool CvqSimTree::vqSetQueueValue(const QString& queue, const QString& value, const QByteArray& text)
{
    return put(named("/registry/Printers/", queue) + '/' + vqSimNameEncode(value), text);
}

bool CvqSimTree::vqSetDevicePortNumber(const QString& instanceId, const QByteArray& text)
{
    const QString key = QStringLiteral("##?#") + QString(instanceId).replace('\\', '#') + "#" VQ_USB_PRINT_GUID;
    return put(named("/registry/DeviceClasses/", key) + "/#/Device Parameters/Port Number", text);
}

bool CvqSimTree::vqAddSpoolerQueue(const QString& queue) { return QDir().mkpath(named("/spooler/", queue) + "/jobs"); }

bool CvqSimTree::vqAddJob(const QString& queue, const QString& job)
{
    return put(named("/spooler/", queue) + "/jobs/" + vqSimNameEncode(job), "job\n");
}

bool CvqSimTree::vqClearJobs(const QString& queue)
{
    return removeDir(named("/spooler/", queue) + "/jobs") && vqAddSpoolerQueue(queue);
}

bool CvqSimTree::vqAddSerialPort(const QString& entry, const QString& portName, const QString& serialNumber)
{
    const QString dir = named("/serial/", entry);
    return put(dir + "/port_name", portName.toUtf8() + '\n')
        && put(dir + "/serial_number", serialNumber.toUtf8() + '\n');
}

QStringList CvqSimTree::vqLaunched() const
{
    QFile f(mRoot + "/launched");
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
}
