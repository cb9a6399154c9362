/* vqwinbusinst.exe: installs the stand-in USB printer bus (vqwinbus.sys, from beside this
 * program) into the Windows (Wine) machine it runs on, and points it at a host tree.
 *   vqwinbusinst install TREE   copy the driver, add its service and root device, start it
 *   vqwinbusinst tree TREE      only point the running bus at another tree
 * TREE is the emulator's --host folder as a DOS path (Z:\...). Exit 0 on success, 1 when a
 * step failed (the step and the error on stderr), 2 on a bad command line. */
#include <windows.h>
#include <setupapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

static const WCHAR kService[] = L"vqwinbus";
static const WCHAR kParams[] = L"SYSTEM\\CurrentControlSet\\Services\\vqwinbus\\Parameters";
/* The "System devices" class, as root-enumerated buses have. */
static const GUID kSystemClass = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

static int fail(const char *step)
{
    fprintf(stderr, "vqwinbusinst: %s failed (error %lu)\n", step, GetLastError());
    return 1;
}

/* An absolute DOS path short enough for the driver's buffers. */
static BOOL valid_tree(const WCHAR *t)
{
    size_t n = wcslen(t);
    return n >= 3 && n < 300 && iswalpha(t[0]) && t[1] == L':' && t[2] == L'\\' && !wcschr(t, L'"');
}

static int set_tree(const WCHAR *tree)
{
    HKEY key;
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kParams, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(key, L"Tree", 0, REG_SZ, (const BYTE *)tree, (DWORD)(wcslen(tree) + 1) * sizeof(WCHAR));
        RegCloseKey(key);
    }
    SetLastError((DWORD)rc);
    return rc == ERROR_SUCCESS ? 0 : fail("writing the tree's folder");
}

/* The whole of a small file; NULL when it cannot be read. The caller frees it. */
static char *slurp(const WCHAR *path, DWORD *size)
{
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, 0, NULL);
    char *buf = NULL;
    DWORD got = 0;
    *size = h == INVALID_HANDLE_VALUE ? 0 : GetFileSize(h, NULL);
    if (*size && *size < (1u << 24) && (buf = malloc(*size)) && (!ReadFile(h, buf, *size, &got, NULL) || got != *size)) {
        free(buf);
        buf = NULL;
    }
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    return buf;
}

static BOOL same_file(const WCHAR *a, const WCHAR *b)
{
    DWORD na, nb;
    char *da = slurp(a, &na), *db = slurp(b, &nb);
    BOOL same = da && db && na == nb && !memcmp(da, db, na);
    free(da);
    free(db);
    return same;
}

static int copy_driver(void)
{
    WCHAR from[MAX_PATH], to[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, from, MAX_PATH);
    WCHAR *slash = n && n < MAX_PATH ? wcsrchr(from, L'\\') : NULL;
    UINT m = GetSystemDirectoryW(to, MAX_PATH);
    if (!slash || !m || m + 30 > MAX_PATH || (size_t)(slash - from) + 20 > MAX_PATH)
        return fail("finding the driver's folders");
    wcscpy(slash + 1, L"vqwinbus.sys");
    wcscat(to, L"\\drivers\\vqwinbus.sys");
    /* A session of a prefix that has the bus loads it at start, so it is in use: fine when
       it is this very file. */
    return CopyFileW(from, to, FALSE) || same_file(from, to) ? 0 : fail("copying vqwinbus.sys beside this program");
}

static int add_service(void)
{
    SC_HANDLE scm = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS), svc;
    if (!scm)
        return fail("opening the service manager");
    /* Wine loads a driver only by this absolute form of the path. */
    svc = CreateServiceW(scm, kService, L"Stand-in USB printer bus", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                         SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, L"\\SystemRoot\\System32\\drivers\\vqwinbus.sys",
                         NULL, NULL, NULL, NULL, NULL);
    if (!svc && GetLastError() != ERROR_SERVICE_EXISTS)
        return CloseServiceHandle(scm), fail("adding the service");
    if (svc)
        CloseServiceHandle(svc);
    CloseServiceHandle(scm);
    return 0;
}

/* The root device whose driver is the bus; it starts with every session from now on. */
static int add_root_device(void)
{
    static const WCHAR hwid[] = L"root\\vqwinbus\0";
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kSystemClass, NULL);
    SP_DEVINFO_DATA dev;
    int rc = 0;
    memset(&dev, 0, sizeof dev);
    dev.cbSize = sizeof dev;
    if (set == INVALID_HANDLE_VALUE)
        return fail("creating a device list");
    if (!SetupDiOpenDeviceInfoW(set, L"ROOT\\VQWINBUS\\0000", NULL, 0, &dev)) {
        if (!SetupDiCreateDeviceInfoW(set, L"VQWINBUS", &kSystemClass, NULL, NULL, DICD_GENERATE_ID, &dev))
            rc = fail("creating the root device");
        else if (!SetupDiSetDeviceRegistryPropertyW(set, &dev, SPDRP_HARDWAREID, (const BYTE *)hwid, sizeof hwid))
            rc = fail("setting its hardware id");
        else if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &dev))
            rc = fail("registering the root device");
        else if (!SetupDiSetDeviceRegistryPropertyW(set, &dev, SPDRP_SERVICE, (const BYTE *)kService, sizeof kService))
            rc = fail("binding the root device to the service");
    }
    SetupDiDestroyDeviceInfoList(set);
    return rc;
}

static int start_service(void)
{
    SC_HANDLE scm = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS), svc;
    int rc = 0;
    if (!scm)
        return fail("opening the service manager");
    svc = OpenServiceW(scm, kService, SERVICE_START);
    if (!svc)
        rc = fail("opening the service");
    else if (!StartServiceW(svc, 0, NULL) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        rc = fail("starting the service");
    if (svc)
        CloseServiceHandle(svc);
    CloseServiceHandle(scm);
    return rc;
}

int wmain(int argc, WCHAR **argv)
{
    int rc;
    if (argc != 3 || (wcscmp(argv[1], L"install") && wcscmp(argv[1], L"tree")) || !valid_tree(argv[2])) {
        fprintf(stderr, "usage: vqwinbusinst install|tree TREE   (TREE: the emulator's host folder, X:\\...)\n");
        return 2;
    }
    if (!wcscmp(argv[1], L"tree"))
        return set_tree(argv[2]);
    if ((rc = copy_driver()) || (rc = add_service()) || (rc = set_tree(argv[2])) || (rc = add_root_device()))
        return rc;
    return start_service();
}
