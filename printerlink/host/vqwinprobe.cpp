// Console probe that exercises every Win32 call of the Windows host, proving
// the Qt-free sources compile and link for 32-bit Windows.
#include "vqwinapi.h"

#include <cstdio>

int main(int argc, char** argv)
{
    std::vector<std::string> ids;
    const int st = vqwin::listUsbPrinterInstanceIds(ids);
    std::printf("enumeration %d, %u devices\n", st, unsigned(ids.size()));
    for (const std::string& id : ids) {
        std::vector<unsigned char> reply;
        std::string link = id;
        for (char& c : link)
            if (c == '\\')
                c = '#';
        const std::string path = "\\\\.\\" + link + "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
        std::printf("%s: read %d, %u bytes\n", id.c_str(), vqwin::readIeee1284Id(path, reply), unsigned(reply.size()));
    }
    const std::string printers = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";
    for (const std::string& q : vqwin::regSubkeys(printers)) {
        std::string port;
        unsigned long attr = 0;
        vqwin::regString(printers + "\\" + q, "Port", port);
        vqwin::regDword(printers + "\\" + q, "Attributes", attr);
        std::printf("queue %s port %s attributes 0x%lx jobs %d\n", q.c_str(), port.c_str(), attr,
                    vqwin::queueHasJobs(q.c_str()));
    }
    if (argc > 1)
        vqwin::startDetached(argv[1]);
    return 0;
}
