// Stands in for a system program in tst_winhost: writes its own command line (UTF-16) to
// <its path without .exe>.cmdline and exits. Written under another name and then moved, so
// a reader never sees half of it.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n < 5 || n >= MAX_PATH)
        return 1;
    const std::wstring record = std::wstring(self, n - 4) + L".cmdline", part = record + L".part";
    const wchar_t* line = GetCommandLineW();
    const HANDLE f = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    const DWORD bytes = DWORD(wcslen(line) * sizeof(wchar_t));
    const bool ok = WriteFile(f, line, bytes, &written, nullptr) && written == bytes;
    CloseHandle(f);
    return ok && MoveFileExW(part.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
