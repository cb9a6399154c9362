#include "vqlanaddr.h"
#include "vqmonitorseams.h"

#include <QDir>
#include <QSet>

#ifndef VQ_FIRMWARE_PATH
#define VQ_FIRMWARE_PATH "/opt/vqmonitor/firmware/1.RM"
#endif

QStringList vqUpRomAddressList(const QList<CvqIfAddr>& entries)
{
    QStringList out;
    QSet<quint32> seen;
    const auto live = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
    for (const CvqIfAddr& e : entries) {
        // A down interface keeps stale addresses; asking them goes out the default route.
        if ((e.flags & live) != live || e.ip.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        const quint32 ip = e.ip.toIPv4Address();
        const quint32 mask = e.netmask.toIPv4Address();
        // The first 24 bits always count as network bits: at most a /24 is walked.
        int n = 24;
        while (n < 32 && (mask & (quint32(1) << (31 - n))))
            ++n;
        if (n >= 31)
            continue;  // /31 and /32: no other host to try
        const quint32 hosts = (quint32(1) << (32 - n)) - 1;
        const quint32 net = ip & ~hosts;
        for (quint32 h = 1; h < hosts; ++h) {
            const quint32 a = net | h;
            if (a == ip || seen.contains(a))
                continue;
            seen.insert(a);
            out << QHostAddress(a).toString();
        }
    }
    return out;
}

QList<CvqIfAddr> vqParseIfList(const QString& text)
{
    QList<CvqIfAddr> out;
    for (const QString& item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        CvqIfAddr e;
        const QStringList parts = item.trimmed().split(QLatin1Char('/'));
        if (parts.size() != 2 || !e.ip.setAddress(parts[0]) || !e.netmask.setAddress(parts[1]))
            return {};
        e.flags = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
        out << e;
    }
    return out;
}

namespace {
CvqUpRomConfig defaultConfig()
{
    CvqUpRomConfig c;
    c.firmwareFixed = QStringLiteral(VQ_FIRMWARE_PATH);
    // A leading %ProgramFiles% is the program-files folder this process sees.
    const QString programFiles = QStringLiteral("%ProgramFiles%");
    if (c.firmwareFixed.startsWith(programFiles)) {
        const QString dir = qEnvironmentVariable("ProgramFiles");
        c.firmwareFixed =
            dir.isEmpty() ? QString() : QDir::fromNativeSeparators(dir) + c.firmwareFixed.mid(programFiles.size());
    }
    bool ok = false;
    const uint port = qEnvironmentVariable("VQ_UPROM_PORT").toUInt(&ok);
    if (ok && port > 0 && port < 65536)
        c.port = quint16(port);
    if (qEnvironmentVariableIsSet("VQ_UPROM_IFACES")) {
        const QList<CvqIfAddr> list = vqParseIfList(qEnvironmentVariable("VQ_UPROM_IFACES"));
        c.interfaces = [list] { return list; };
    }
    return c;
}

QList<CvqIfAddr> machineEntries()
{
    QList<CvqIfAddr> out;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry& a : i.addressEntries())
            out << CvqIfAddr{a.ip(), a.netmask(), i.flags()};
    return out;
}
}  // namespace

CvqUpRomConfig vqUpRomConfig()
{
    const auto& seam = vqSeams<CvqMonitorSeams>().upRom;
    if (seam)
        return seam();
    static const CvqUpRomConfig defaults = defaultConfig();
    return defaults;
}

QList<CvqIfAddr> vqUpRomIfEntries()
{
    const CvqUpRomConfig c = vqUpRomConfig();
    return c.interfaces ? c.interfaces() : machineEntries();
}

bool vqUpRomMayContact(const QString& ip)
{
    QHostAddress a;
    if (!a.setAddress(ip) || a.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    return !qEnvironmentVariableIsSet("VQ_LOOPBACK_ONLY") || (a.toIPv4Address() >> 24) == 127;
}
