// Console probe that exercises every Win32 call of the Windows host, proving
// the Qt-free sources compile and link for 32-bit Windows. Prints UTF-8, so a
// test can compare names whatever the machine's code page.
#include "printerlink/host/vqusbguid.h"
#include "printerlink/host/vqwinapi.h"

#include <windows.h>

#include <cstdio>

static std::string utf8(const std::wstring& w)
{
    if (w.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

int main()
{
    std::vector<std::wstring> ids;
    const int st = vqwin::listUsbPrinterInstanceIds(ids);
    std::printf("enumeration %d, %u devices\n", st, unsigned(ids.size()));
    for (const std::wstring& id : ids) {
        std::vector<unsigned char> reply;
        std::string link = utf8(id);
        for (char& c : link)
            if (c == '\\')
                c = '#';
        const std::string path = "\\\\.\\" + link + "#" VQ_USB_PRINT_GUID;
        std::printf("%s: read %d, %u bytes\n", utf8(id).c_str(), vqwin::readIeee1284Id(path, reply),
                    unsigned(reply.size()));
    }
    const std::wstring printers = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";
    for (const std::wstring& q : vqwin::regSubkeys(printers)) {
        std::wstring port;
        unsigned long attr = 0;
        vqwin::regString(printers + L"\\" + q, L"Port", port);
        vqwin::regDword(printers + L"\\" + q, L"Attributes", attr);
        std::printf("queue %s port %s attributes 0x%lx jobs %d\n", utf8(q).c_str(), utf8(port).c_str(), attr,
                    vqwin::queueHasJobs(q));
    }
    // Starting a program is exercised with an argument: "vqwinprobe.exe <command line>".
    const wchar_t* cmd = GetCommandLineW();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(cmd, &argc);
    if (argv && argc > 1)
        std::printf("start %d\n", vqwin::startDetached(argv[1]) ? 1 : 0);
    LocalFree(argv);
    return 0;
}
