#include "vqdevicepath.h"
#include "vqusbguid.h"

QString vqDevicePath(QString instanceId)
{
    instanceId.replace('\\', '#');
    return QStringLiteral("\\\\.\\") + instanceId + QStringLiteral("#" VQ_USB_PRINT_GUID);
}
