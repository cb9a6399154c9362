#pragma once
// The Windows device path of a USB printer, from its instance id.

#include <QString>

// \\.\<instance id with "\" as "#">#{usb printer interface guid}
QString vqDevicePath(QString instanceId);
