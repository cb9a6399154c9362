#include "vqsimstatus.h"

QString vqsimstatus::vqText(quint8 status)
{
    static const char* const texts[] = {
        "", "no such file", "bad request", "no space", "command not supported", "bad offset", "busy", "refused"};
    return QLatin1String(status < 8 ? texts[status] : "error");
}
