#include "vqwinapi.h"

#include <windows.h>
#include <setupapi.h>
#include <winspool.h>

#include <algorithm>
#include <cstring>

namespace vqwin {

// GUID_DEVINTERFACE_USBPRINT, VQ_USB_PRINT_GUID in binary form
static const GUID kUsbPrintGuid = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
static const DWORD kIoctlGet1284Id = 0x220034;  // IOCTL_USBPRINT_GET_1284_ID

EnumStatus listUsbPrinterInstanceIds(std::vector<std::wstring>& ids)
{
    ids.clear();
    HDEVINFO list = SetupDiGetClassDevsW(&kUsbPrintGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE)
        return EnumListFailed;
    EnumStatus status = EnumOk;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA info;
        std::memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        if (!SetupDiEnumDeviceInfo(list, index, &info))
            break;
        wchar_t id[260] = {0};
        if (!SetupDiGetDeviceInstanceIdW(list, &info, id, 260, nullptr)) {
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

static HKEY openKey(const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

std::vector<std::wstring> regSubkeys(const std::wstring& path)
{
    std::vector<std::wstring> names;
    HKEY key = openKey(path);
    if (!key)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];  // registry key names are at most 255 characters
        DWORD len = 256;
        const LONG rc = RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            break;
        names.emplace_back(name, len);
    }
    RegCloseKey(key);
    return names;
}

bool regString(const std::wstring& path, const wchar_t* value, std::wstring& out)
{
    out.clear();
    HKEY key = openKey(path);
    if (!key)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    bool ok = RegQueryValueExW(key, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS
        && (type == REG_SZ || type == REG_EXPAND_SZ) && size < 65536;
    if (ok) {
        // Size is in bytes; the stored value need not be terminated.
        std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1, 0);
        ok = RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) == ERROR_SUCCESS;
        if (ok)
            out.assign(buf.data());
    }
    RegCloseKey(key);
    return ok;
}

bool regDword(const std::wstring& path, const wchar_t* value, unsigned long& out)
{
    out = 0;
    HKEY key = openKey(path);
    if (!key)
        return false;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    const bool ok = RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS
        && type == REG_DWORD && size == sizeof data;
    if (ok)
        out = data;
    RegCloseKey(key);
    return ok;
}

int queueHasJobs(const std::wstring& queueName)
{
    wchar_t name[200] = {0};
    const size_t len = queueName.size();
    if (len >= 200 || queueName.find(L'\0') != std::wstring::npos)
        return -1;  // no queue name is that long; never truncate into another queue's name
    std::memcpy(name, queueName.data(), len * sizeof(wchar_t));
    PRINTER_DEFAULTSW defaults;
    std::memset(&defaults, 0, sizeof defaults);
    defaults.DesiredAccess = PRINTER_ACCESS_USE;  // enough to list jobs, and every user has it
    HANDLE printer = nullptr;
    if (!OpenPrinterW(name, &printer, &defaults))
        return -1;
    DWORD needed = 0;
    DWORD returned = 0;
    EnumJobsW(printer, 0, 0xFFFFFFFF, 1, nullptr, 0, &needed, &returned);
    ClosePrinter(printer);
    return needed != 0 ? 1 : 0;
}

bool startDetached(const std::wstring& commandLine)
{
    const size_t space = std::min(commandLine.find(L' '), commandLine.size());
    std::wstring program = commandLine.substr(0, space);
    std::wstring line = commandLine;
    if (program.find_first_of(L"\\/:\"") == std::wstring::npos) {
        wchar_t system[MAX_PATH];
        const UINT n = GetSystemDirectoryW(system, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return false;
        if (program.size() < 4 || _wcsicmp(program.c_str() + program.size() - 4, L".exe") != 0)
            program += L".exe";
        program = std::wstring(system, n) + L"\\" + program;
        line = L"\"" + program + L"\"" + commandLine.substr(space);
    } else {
        program.clear();
    }
    std::vector<wchar_t> cmd(line.begin(), line.end());  // CreateProcessW writes to it
    cmd.push_back(L'\0');
    STARTUPINFOW si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::memset(&pi, 0, sizeof pi);
    if (!CreateProcessW(program.empty() ? nullptr : program.c_str(), cmd.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

}  // namespace vqwin
