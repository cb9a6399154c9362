#pragma once
// USB printers on Linux: the sysfs walk, instance ids per physical port, and the
// identification read through usbfs with the printer driver's own ioctl as fallback.

#include "vqhost.h"

// One printer-class interface of a USB device.
struct CvqLinuxUsbPrinter
{
    QString instanceId;    // USB\VID_vvvv&PID_pppp&MI_ii\<port>
    QString port;          // the device's sysfs name: bus and hub ports, e.g. "1-1.2"
    QString interfaceDir;  // sysfs folder of the interface
    QString serial;        // USB serial number; empty when the device has none
    int interfaceNumber = 0;
    int alternateSetting = 0;
    int busnum = 0;
    int devnum = 0;
};

namespace vqlinux {

// Present printer-class interfaces, ordered by port and interface. A machine
// without USB in sysfs has none.
CvqHost::EnumResult listPrinters(QList<CvqLinuxUsbPrinter>* printers);
// The interface an instance id names, when the same vendor and product still sit
// at that port and the interface is still a printer.
bool resolve(const QString& instanceId, CvqLinuxUsbPrinter* printer);
// GET_DEVICE_ID through usbfs, else through the usblp node; the device's bytes unchanged.
CvqHost::ReadResult readIeee1284(const QString& instanceId, QByteArray* reply);
// The same for an interface already resolved.
CvqHost::ReadResult readIeee1284(const CvqLinuxUsbPrinter& printer, QByteArray* reply);

}  // namespace vqlinux
