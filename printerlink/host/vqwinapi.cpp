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

namespace {
const DWORD kAnswerMs = 3000;  // a printer's time to answer the identification request
const DWORD kSliceMs = 100;    // how often a waiting read looks at the stop signal
const DWORD kCancelMs = 1000;  // a cancelled request's time to complete
const size_t kMaxHeld = 16;    // requests given up on while their drivers still hold them

// One request's memory: the kernel writes the OVERLAPPED and the buffer until it completes.
struct Request
{
    OVERLAPPED ov;
    unsigned char buffer[1024];
    std::string path;
};

SRWLOCK gHeldLock = SRWLOCK_INIT;
std::vector<Request*> gHeld;  // never freed while pending; reaped once complete

// Frees held requests that have completed since; true when the device still holds one, or too many are held.
bool reapHeld(const std::string& path)
{
    bool busy = false;
    AcquireSRWLockExclusive(&gHeldLock);
    for (auto it = gHeld.begin(); it != gHeld.end();) {
        // The event is set last, after the buffer and the OVERLAPPED are written.
        if (WaitForSingleObject((*it)->ov.hEvent, 0) == WAIT_OBJECT_0) {
            CloseHandle((*it)->ov.hEvent);
            delete *it;
            it = gHeld.erase(it);
        } else {
            busy = busy || _stricmp((*it)->path.c_str(), path.c_str()) == 0;
            ++it;
        }
    }
    busy = busy || gHeld.size() >= kMaxHeld;
    ReleaseSRWLockExclusive(&gHeldLock);
    return busy;
}

// Waits for the request in slices, ending early on the stop signal; true when it completed.
bool waitDone(HANDLE event, DWORD ms, bool (*stop)())
{
    const DWORD begin = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - begin;
        if (spent >= ms)
            return false;
        if (WaitForSingleObject(event, std::min(kSliceMs, ms - spent)) == WAIT_OBJECT_0)
            return true;
        if (stop && stop())
            return false;
    }
}
}  // namespace

ReadStatus readIeee1284Id(const std::string& devicePath, std::vector<unsigned char>& reply, bool (*stop)())
{
    reply.clear();
    // A device whose driver sat on the last request is not asked again until that one completes.
    if (reapHeld(devicePath))
        return ReadHeld;
    HANDLE h = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return ReadOpenFailed;
    Request* r = new Request();
    r->path = devicePath;
    r->ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!r->ov.hEvent) {
        delete r;
        CloseHandle(h);
        return ReadRequestFailed;
    }
    const BOOL started = DeviceIoControl(h, kIoctlGet1284Id, nullptr, 0, r->buffer, sizeof r->buffer, nullptr, &r->ov);
    const bool pending = !started && GetLastError() == ERROR_IO_PENDING;
    bool done = !pending || waitDone(r->ov.hEvent, kAnswerMs, stop);
    if (!done) {
        CancelIoEx(h, &r->ov);
        done = waitDone(r->ov.hEvent, kCancelMs, nullptr);
    }
    if (!done) {
        // The driver still holds it: the kernel may write these later, so they are kept.
        CloseHandle(h);
        AcquireSRWLockExclusive(&gHeldLock);
        gHeld.push_back(r);
        ReleaseSRWLockExclusive(&gHeldLock);
        return ReadHeld;
    }
    DWORD returned = 0;
    // A request refused at once wrote nothing; a completed one says how it ended (a cancelled one failed).
    const bool ok = (started || pending) && GetOverlappedResult(h, &r->ov, &returned, FALSE);
    CloseHandle(h);
    CloseHandle(r->ov.hEvent);
    if (ok)
        reply.assign(r->buffer, r->buffer + std::min<DWORD>(returned, sizeof r->buffer));
    delete r;
    return ok ? ReadOk : ReadRequestFailed;
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
