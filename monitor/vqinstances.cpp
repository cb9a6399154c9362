#include "vqinstances.h"

#include "qvqsingletonapplication.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

#include <cstdio>
#include <vector>

#include <windows.h>
#include <tlhelp32.h>

namespace {

struct CvqFound
{
    DWORD pid;
    HANDLE process;  // query and synchronize: held, so the id is not reused meanwhile
};

// Switches on a privilege of our token when we hold it (an elevated administrator does):
// debug opens other accounts' processes, impersonate lets us start one as the shell's user.
void enablePrivilege(const wchar_t* name)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES tp = {};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
    CloseHandle(token);
}

QString imageOf(HANDLE process)
{
    std::vector<wchar_t> buf(32768);
    DWORD size = DWORD(buf.size());
    if (!QueryFullProcessImageNameW(process, 0, buf.data(), &size))
        return QString();
    return QString::fromWCharArray(buf.data(), int(size));
}

// Every other process whose image is the wanted file, in any session.
std::vector<CvqFound> findProcesses(const QString& wanted)
{
    std::vector<CvqFound> found;
    const HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry)) {
        if (entry.th32ProcessID == 0 || entry.th32ProcessID == GetCurrentProcessId())
            continue;
        const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!process)
            continue;  // system processes; with the debug privilege every user's opens
        const QString image = imageOf(process);
        if (!image.isEmpty() && QvqSingletonApplication::vqComparablePath(image) == wanted)
            found.push_back({entry.th32ProcessID, process});
        else
            CloseHandle(process);
    }
    CloseHandle(snap);
    return found;
}

// Waits until each has ended or the time is up; keeps those still running.
void waitForEnd(std::vector<CvqFound>& found, int ms)
{
    const QDeadlineTimer deadline(ms);
    std::vector<CvqFound> left;
    for (const CvqFound& f : found) {
        if (WaitForSingleObject(f.process, DWORD(qMax<qint64>(0, deadline.remainingTime()))) == WAIT_OBJECT_0)
            CloseHandle(f.process);
        else
            left.push_back(f);
    }
    found.swap(left);
}

struct CvqCloseWindows
{
    const std::vector<CvqFound>* found;
    int posted;
};

// Qt's own windows of those processes on this desktop get a close, as from their title bar;
// the tray's message window and Qt's helper windows are left alone.
BOOL CALLBACK closeWindow(HWND window, LPARAM param)
{
    auto* ctx = reinterpret_cast<CvqCloseWindows*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    for (const CvqFound& f : *ctx->found) {
        if (f.pid != pid)
            continue;
        wchar_t name[128] = {};
        GetClassNameW(window, name, 127);
        const QString cls = QString::fromWCharArray(name);
        if (cls.startsWith(QLatin1String("Qt5")) && cls.contains(QLatin1String("QWindow"))
            && PostMessageW(window, WM_CLOSE, 0, 0))
            ++ctx->posted;
    }
    return TRUE;
}

// "exit" over the pipe, to the monitor of this account at that path.
bool askOverPipe(const QString& program)
{
    QLocalSocket socket;
    socket.connectToServer(QvqSingletonApplication::vqLocalName(program));
    if (!socket.waitForConnected(1000)
        || QvqSingletonApplication::vqPipeServerUser(&socket) != QvqSingletonApplication::vqUserSid())
        return false;
    return socket.write("exit\n", 5) > 0 && socket.waitForBytesWritten(1000);
}

}  // namespace

int vqCloseAll(const QString& program, int politeMs, int hardMs)
{
    enablePrivilege(L"SeDebugPrivilege");
    const QString wanted = QvqSingletonApplication::vqComparablePath(program);
    std::vector<CvqFound> found = findProcesses(wanted);
    if (found.empty())
        return vqNoneRan;
    CvqCloseWindows windows{&found, 0};
    const bool piped = askOverPipe(program);
    EnumWindows(closeWindow, reinterpret_cast<LPARAM>(&windows));
    // Other sessions see neither our pipe nor our windows: those are only ended.
    if (piped || windows.posted > 0)
        waitForEnd(found, politeMs);
    for (const CvqFound& f : found) {
        if (const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, f.pid)) {
            TerminateProcess(process, 1);
            CloseHandle(process);
        }
    }
    waitForEnd(found, hardMs);
    for (const CvqFound& f : found) {
        std::fprintf(stderr, "%s (process %lu) did not close.\n",
                     QDir::toNativeSeparators(program).toLocal8Bit().constData(), f.pid);
        CloseHandle(f.process);
    }
    return found.empty() ? vqAllClosed : vqSomeStay;
}

// The shell's token, made primary for a new process; null without a shell or the rights.
static HANDLE shellToken()
{
    DWORD pid = 0;
    if (const HWND shell = GetShellWindow())
        GetWindowThreadProcessId(shell, &pid);
    if (!pid)
        return nullptr;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return nullptr;
    HANDLE token = nullptr, primary = nullptr;
    if (OpenProcessToken(process, TOKEN_DUPLICATE, &token)) {
        DuplicateTokenEx(
            token, TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID,
            nullptr, SecurityImpersonation, TokenPrimary, &primary);
        CloseHandle(token);
    }
    CloseHandle(process);
    return primary;
}

bool vqStartAsShellUser(const QString& program, const QString& argument)
{
    const QFileInfo file(program);
    QString command = '"' + QDir::toNativeSeparators(file.absoluteFilePath()) + '"';
    if (!argument.isEmpty())
        command += ' ' + argument;
    const std::wstring dir = QDir::toNativeSeparators(file.absolutePath()).toStdWString();
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    bool started = false;
    if (const HANDLE token = shellToken()) {
        enablePrivilege(L"SeImpersonatePrivilege");
        std::wstring line = command.toStdWString();
        started = CreateProcessWithTokenW(token, 0, nullptr, &line[0], 0, nullptr, dir.c_str(), &si, &pi);
        CloseHandle(token);
    }
    if (!started) {
        std::wstring line = command.toStdWString();
        started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi);
    }
    if (!started)
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}
