#include "vqwinapi.h"

#include <windows.h>
#include <setupapi.h>
#include <winspool.h>

#include <cstring>

namespace vqwin {

// GUID_DEVINTERFACE_USBPRINT {28d78fad-5a12-11d1-ae5b-0000f803a8c2}
static const GUID kUsbPrintGuid = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
static const DWORD kIoctlGet1284Id = 0x220034;  // IOCTL_USBPRINT_GET_1284_ID

EnumStatus listUsbPrinterInstanceIds(std::vector<std::string>& ids)
{
    ids.clear();
    HDEVINFO list = SetupDiGetClassDevsA(&kUsbPrintGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE)
        return EnumListFailed;
    EnumStatus status = EnumOk;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA info;
        std::memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        if (!SetupDiEnumDeviceInfo(list, index, &info))
            break;
        char id[260] = {0};
        if (!SetupDiGetDeviceInstanceIdA(list, &info, id, sizeof id, nullptr)) {
            status = EnumIdFailed;
            break;
        }
        ids.emplace_back(id);
    }
    SetupDiDestroyDeviceInfoList(list);
    return status;
}

ReadStatus readIeee1284Id(const std::string& devicePath, std::vector<unsigned char>& reply)
{
    reply.clear();
    HANDLE h = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return ReadOpenFailed;
    unsigned char buffer[1024];
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(h, kIoctlGet1284Id, nullptr, 0, buffer, sizeof buffer, &returned, nullptr);
    CloseHandle(h);
    if (!ok)
        return ReadRequestFailed;
    if (returned > sizeof buffer)
        returned = sizeof buffer;
    reply.assign(buffer, buffer + returned);
    return ReadOk;
}

static HKEY openKey(const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

std::vector<std::string> regSubkeys(const std::string& path)
{
    std::vector<std::string> names;
    HKEY key = openKey(path);
    if (!key)
        return names;
    for (DWORD i = 0;; ++i) {
        char name[256];  // registry key names are at most 255 characters
        DWORD len = sizeof name;
        const LONG rc = RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            break;
        names.emplace_back(name, len);
    }
    RegCloseKey(key);
    return names;
}

bool regString(const std::string& path, const char* value, std::string& out)
{
    out.clear();
    HKEY key = openKey(path);
    if (!key)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    bool ok = RegQueryValueExA(key, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS
        && (type == REG_SZ || type == REG_EXPAND_SZ) && size < 65536;
    if (ok) {
        std::vector<char> buf(size + 1, 0);  // the stored value need not be terminated
        ok = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) == ERROR_SUCCESS;
        if (ok)
            out.assign(buf.data());
    }
    RegCloseKey(key);
    return ok;
}

bool regDword(const std::string& path, const char* value, unsigned long& out)
{
    out = 0;
    HKEY key = openKey(path);
    if (!key)
        return false;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    const bool ok = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS
        && type == REG_DWORD && size == sizeof data;
    if (ok)
        out = data;
    RegCloseKey(key);
    return ok;
}

int queueHasJobs(const char* queueName)
{
    char name[200] = {0};
    const size_t len = std::strlen(queueName);
    if (len >= sizeof name)
        return -1;  // no queue name is that long; never truncate into another queue's name
    std::memcpy(name, queueName, len);
    PRINTER_DEFAULTSA defaults;
    std::memset(&defaults, 0, sizeof defaults);
    defaults.DesiredAccess = PRINTER_ACCESS_ADMINISTER;
    HANDLE printer = nullptr;
    if (!OpenPrinterA(name, &printer, &defaults))
        return -1;
    DWORD needed = 0;
    DWORD returned = 0;
    EnumJobsA(printer, 0, 0xFFFFFFFF, 1, nullptr, 0, &needed, &returned);
    ClosePrinter(printer);
    return needed != 0 ? 1 : 0;
}

bool startDetached(const std::string& commandLine)
{
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    STARTUPINFOA si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::memset(&pi, 0, sizeof pi);
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

}  // namespace vqwin
