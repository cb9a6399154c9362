#include "vqhost_sim.h"
#include "vqsimname.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// Windows' instance id buffer is 260 bytes including the terminator.
static const int kMaxInstanceIdBytes = 259;
// The identification buffer; a longer file reads as a full buffer.
static const int kIdBufferBytes = 1024;

QString CvqSimHost::vqRootFromEnv()
{
    const QByteArray env = qgetenv("VQ_SIM_HOST");
    if (env.isEmpty())
        return QString();
    const QString path = QString::fromLocal8Bit(env);
    return QFileInfo(path).isDir() ? path : QString();
}

QString CvqSimHost::root() { return vqRootFromEnv(); }

// Stateless: the root is read from the environment on every call.
CvqHost* vqSimHostInForce()
{
    static CvqSimHost sim;
    return CvqSimHost::vqRootFromEnv().isEmpty() ? nullptr : &sim;
}

QStringList CvqSimHost::vqSortedEntries(const QString& dir, bool dirsOnly)
{
    const QStringList stored =
        QDir(dir).entryList((dirsOnly ? QDir::Dirs : QDir::Files) | QDir::NoDotAndDotDot, QDir::Unsorted);
    std::vector<QByteArray> bytes;
    bytes.reserve(size_t(stored.size()));
    for (const QString& s : stored) {
        const QString name = vqSimNameDecode(s);
        if (!name.isNull())
            bytes.push_back(name.toUtf8());
    }
    std::sort(bytes.begin(), bytes.end());
    QStringList sorted;
    sorted.reserve(int(bytes.size()));
    for (const QByteArray& b : bytes)
        sorted.append(QString::fromUtf8(b));
    return sorted;
}

// Only regular files are read: opening a FIFO or a device could block the poll
// thread for good, so the open never waits and anything else is refused.
static bool readBytes(const QString& path, QByteArray* out, qint64 maxBytes)
{
    QFile f;
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)
        || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
#else
    f.setFileName(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
        return false;
#endif
    *out = f.read(maxBytes);
    return true;
}

bool CvqSimHost::vqReadLine(const QString& path, QString* out, qint64 maxBytes)
{
    QByteArray b;
    if (!readBytes(path, &b, maxBytes))
        return false;
    if (b.endsWith('\n'))
        b.chop(1);
    if (b.endsWith('\r'))
        b.chop(1);
    *out = QString::fromUtf8(b);
    return true;
}

CvqHost::EnumResult CvqSimHost::vqListUsbPrinters(QStringList* instanceIds)
{
    instanceIds->clear();
    const QString usb = root() + QStringLiteral("/usb");
    if (QFileInfo::exists(usb + QStringLiteral("/.enumeration_fails")))
        return EnumListFailed;
    for (const QString& entry : vqSortedEntries(usb, true)) {
        QByteArray id;
        if (!readBytes(usb + '/' + vqSimNameEncode(entry) + QStringLiteral("/instance_id"), &id, 4096))
            return EnumIdFailed;
        if (id.endsWith('\n'))
            id.chop(1);
        if (id.size() > kMaxInstanceIdBytes || id.contains('\0'))
            return EnumIdFailed;
        instanceIds->append(QString::fromUtf8(id));
    }
    return EnumOk;
}

CvqHost::ReadResult CvqSimHost::vqReadIeee1284(const QString& instanceId, QByteArray* reply)
{
    reply->clear();
    const QString usb = root() + QStringLiteral("/usb");
    // The device is opened by its instance id; Windows matches device paths ignoring case.
    auto open = [&](const QString& entry, ReadResult* result) {
        const QString dir = usb + '/' + vqSimNameEncode(entry);
        QString id;
        if (!vqReadLine(dir + QStringLiteral("/instance_id"), &id) || id.compare(instanceId, Qt::CaseInsensitive) != 0)
            return false;
        if (!readBytes(dir + QStringLiteral("/ieee1284_id"), reply, kIdBufferBytes)) {
            *result = ReadOpenFailed;
        } else if (QFileInfo::exists(dir + QStringLiteral("/read_fails"))) {
            reply->clear();
            *result = ReadRequestFailed;
        } else {
            *result = ReadOk;
        }
        return true;
    };
    ReadResult result = ReadOpenFailed;
    // Trees written by our tools name the entry after the id (backslashes as "#"):
    // try that entry before scanning them all, so a cycle stays linear in devices.
    QString guess = instanceId;
    guess.replace('\\', '#');
    if (open(guess, &result))
        return result;
    for (const QString& entry : vqSortedEntries(usb, true))
        if (open(entry, &result))
            return result;
    return ReadOpenFailed;
}

int CvqSimHost::vqQueueHasJobs(const QByteArray& queueName)
{
    const QString name = QString::fromUtf8(queueName);
    if (name.isEmpty())
        return -1;
    const QString dir = root() + QStringLiteral("/spooler/") + vqSimNameEncode(name);
    if (!QFileInfo(dir).isDir())
        return -1;
    QDir jobs(dir + QStringLiteral("/jobs"));
    return jobs.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty() ? 0 : 1;
}

QList<CvqSerialPortEntry> CvqSimHost::vqSerialPorts()
{
    QList<CvqSerialPortEntry> ports;
    const QString serial = root() + QStringLiteral("/serial");
    for (const QString& entry : vqSortedEntries(serial, true)) {
        CvqSerialPortEntry e;
        const QString dir = serial + '/' + vqSimNameEncode(entry);
        if (!vqReadLine(dir + QStringLiteral("/port_name"), &e.portName))
            continue;
        vqReadLine(dir + QStringLiteral("/serial_number"), &e.serialNumber);
        ports.append(e);
    }
    return ports;
}

QMap<QString, QString> CvqSimHost::vqUsbPrinterQueues(const QStringList& instanceIds)
{
    return vqFindUsbPrinterQueues(*this, instanceIds);
}

void CvqSimHost::vqShowQueue(const QString& queueName)
{
    const QString command = vqPrinterQueueCommand(queueName);
    QFile f(root() + QStringLiteral("/launched"));
    if (!command.isEmpty() && f.open(QIODevice::WriteOnly | QIODevice::Append))
        f.write(command.toUtf8() + '\n');
}

QStringList CvqSimHost::vqQueueNames() { return vqSortedEntries(root() + QStringLiteral("/registry/Printers"), true); }

static quint32 readDecimal(const QString& path)
{
    QString text;
    if (!CvqSimHost::vqReadLine(path, &text, 64))
        return 0;
    bool ok = false;
    const quint32 v = text.trimmed().toUInt(&ok);
    return ok ? v : 0;
}

QString CvqSimHost::vqQueuePort(const QString& queue)
{
    QString port;
    vqReadLine(root() + QStringLiteral("/registry/Printers/") + vqSimNameEncode(queue) + QStringLiteral("/Port"),
               &port);
    return port;
}

quint32 CvqSimHost::vqQueueAttributes(const QString& queue)
{
    return readDecimal(root() + QStringLiteral("/registry/Printers/") + vqSimNameEncode(queue)
                       + QStringLiteral("/Attributes"));
}

QStringList CvqSimHost::vqDeviceClassKeys()
{
    return vqSortedEntries(root() + QStringLiteral("/registry/DeviceClasses"), true);
}

quint32 CvqSimHost::vqDevicePortNumber(const QString& key)
{
    return readDecimal(root() + QStringLiteral("/registry/DeviceClasses/") + vqSimNameEncode(key)
                       + QStringLiteral("/#/Device Parameters/Port Number"));
}
