#include "vqhost.h"
#include "../vqseams.h"

#include <QSerialPortInfo>

CvqHost& vqPlatformHost();    // defined by the platform's host file
CvqHost* vqSimHostInForce();  // defined by the simulated host's file

QList<CvqSerialPortEntry> vqSystemSerialPorts()
{
    QList<CvqSerialPortEntry> out;
    for (const QSerialPortInfo& p : QSerialPortInfo::availablePorts())
        out.append({p.portName(), p.serialNumber(), p.hasVendorIdentifier() ? int(p.vendorIdentifier()) : -1});
    return out;
}

CvqHost& vqHost()
{
    if (CvqHost* h = vqSeams<CvqLinkSeams>().host)
        return *h;
    if (CvqHost* sim = vqSimHostInForce())
        return *sim;
    return vqPlatformHost();
}
