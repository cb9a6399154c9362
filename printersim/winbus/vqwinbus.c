/* vqwinbus.sys: the emulator's printers as USB printers of a Windows (Wine) machine.
 *
 * A root-enumerated bus (ROOT\VQWINBUS\0000) whose children are the printers the
 * emulator keeps in its host tree (docs/design.md, "Simulated host layout"):
 *   usb/<entry>/instance_id   the printer function's device, with the USB printer
 *                             interface; its identification request answers
 *   usb/<entry>/ieee1284_id   read afresh at each request (missing: opening fails)
 *   usb/<entry>/read_fails    present: the request fails
 *   usb/<entry>/read_holds    present: the request stays pending until cancelled
 *   serial/<entry>/port_name + serial_number
 *                             the same USB device's serial function, a child of the
 *                             printer with the COM port interface and its PortName
 * The tree's folder is the service's Parameters\Tree value (a DOS path), read at
 * every poll, so a prefix can follow another emulator without a new session.
 * Test equipment only: never shipped. */
#include <ntifs.h>

#define LOG(...) DbgPrint("vqwinbus: " __VA_ARGS__)
#define TAG 'bwqv'
#define MAX_SLOTS 64
#define ID_LEN 200
#define NAME_LEN 128
#define PATH_LEN 400

static const GUID kUsbPrint = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
static const GUID kComPort = {0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
static const WCHAR kEnumKey[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\";
static const WCHAR kPrintClassKey[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\DeviceClasses\\"
                                      L"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\";

/* One printer as the tree shows it. */
typedef struct {
    WCHAR entry[NAME_LEN]; /* folder under usb/ */
    WCHAR id[ID_LEN];      /* device instance id */
    WCHAR com[16];         /* its serial function's port, or empty */
    ULONG port;            /* Port Number the emulator gave its queue, 0: none */
} SLOT;

enum { KIND_BUS, KIND_PRINTER, KIND_SERIAL };

typedef struct EXT {
    int kind;
    DEVICE_OBJECT *lower, *self;           /* bus: the stack below */
    struct EXT *serial;                    /* printer: its serial function */
    int present, removed, iface_on;
    LONG opens;
    UNICODE_STRING link;
    LIST_ENTRY held; /* requests held by read_holds (cancel spin lock) */
    SLOT slot;
} EXT;

static DRIVER_OBJECT *g_drv;
static DEVICE_OBJECT *g_bus_pdo;
static UNICODE_STRING g_params; /* the service's Parameters key */
static volatile LONG g_lock;    /* guards g_slots, g_nslots, g_tree, g_printers */
static SLOT g_slots[MAX_SLOTS];
static ULONG g_nslots;
static WCHAR g_tree[PATH_LEN];
static EXT *g_printers[MAX_SLOTS];
static volatile LONG g_stop;
static PVOID g_thread;

/* Not a KMUTEX: under Wine 8 one stayed owned after a contended wait, with no thread
   holding it, and the poll thread waited on it for good. Held briefly, never nested. */
static void lock(void)
{
    LARGE_INTEGER ms;
    ms.QuadPart = -10000;
    while (InterlockedCompareExchange(&g_lock, 1, 0))
        KeDelayExecutionThread(KernelMode, FALSE, &ms);
}
static void unlock(void) { InterlockedExchange(&g_lock, 0); }

static NTSTATUS done(IRP *irp, NTSTATUS st, ULONG_PTR info)
{
    irp->IoStatus.Status = st;
    irp->IoStatus.Information = info;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return st;
}

static void wcat(WCHAR *dst, ULONG cap, const WCHAR *src)
{
    ULONG n = (ULONG)wcslen(dst);
    while (*src && n + 1 < cap)
        dst[n++] = *src++;
    dst[n] = 0;
}

static void init_oa(OBJECT_ATTRIBUTES *oa, UNICODE_STRING *us, const WCHAR *path)
{
    RtlInitUnicodeString(us, path);
    InitializeObjectAttributes(oa, us, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
}

/* ---- files of the tree */

/* Up to cap bytes of a file; -1 when it cannot be read. */
static LONG read_file(const WCHAR *path, void *buf, ULONG cap)
{
    UNICODE_STRING us;
    OBJECT_ATTRIBUTES oa;
    IO_STATUS_BLOCK io;
    HANDLE h;
    LONG got = 0;
    init_oa(&oa, &us, path);
    if (ZwCreateFile(&h, GENERIC_READ | SYNCHRONIZE, &oa, &io, NULL, 0, FILE_SHARE_READ | FILE_SHARE_DELETE,
                     FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0))
        return -1;
    while ((ULONG)got < cap) {
        NTSTATUS st = ZwReadFile(h, NULL, NULL, NULL, &io, (char *)buf + got, cap - got, NULL, NULL);
        if (st || io.Information == 0)
            break;
        got += (LONG)io.Information;
    }
    ZwClose(h);
    return got;
}

static BOOLEAN exists(const WCHAR *path)
{
    char c;
    return read_file(path, &c, 0) >= 0;
}

/* A one-line text file as UTF-16 (ASCII only; anything else reads as absent). */
static BOOLEAN read_line(const WCHAR *path, WCHAR *out, ULONG cap)
{
    char buf[ID_LEN];
    LONG n = read_file(path, buf, sizeof buf), i;
    if (n <= 0 || (ULONG)n >= cap || n >= (LONG)sizeof buf)
        return FALSE;
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r'))
        n--;
    for (i = 0; i < n; i++) {
        if (buf[i] < 0x20 || buf[i] > 0x7e)
            return FALSE;
        out[i] = buf[i];
    }
    out[n] = 0;
    return n > 0;
}

/* Calls fn for each sub-folder of dir (not "." and ".."). */
static void list_dir(const WCHAR *dir, void (*fn)(const WCHAR *name, void *ctx), void *ctx)
{
    UNICODE_STRING us;
    OBJECT_ATTRIBUTES oa;
    IO_STATUS_BLOCK io;
    HANDLE h;
    ULONG buf[1024];
    BOOLEAN first = TRUE;
    init_oa(&oa, &us, dir);
    if (ZwCreateFile(&h, FILE_LIST_DIRECTORY | SYNCHRONIZE, &oa, &io, NULL, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT | FILE_DIRECTORY_FILE, NULL, 0))
        return;
    while (!ZwQueryDirectoryFile(h, NULL, NULL, NULL, &io, buf, sizeof buf, FileDirectoryInformation, FALSE, NULL,
                                 first)) {
        FILE_DIRECTORY_INFORMATION *e = (FILE_DIRECTORY_INFORMATION *)buf;
        first = FALSE;
        for (;;) {
            WCHAR name[NAME_LEN];
            ULONG n = e->FileNameLength / sizeof(WCHAR);
            if ((e->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) && n < NAME_LEN && e->FileName[0] != '.') {
                RtlCopyMemory(name, e->FileName, n * sizeof(WCHAR));
                name[n] = 0;
                fn(name, ctx);
            }
            if (!e->NextEntryOffset)
                break;
            e = (FILE_DIRECTORY_INFORMATION *)((char *)e + e->NextEntryOffset);
        }
    }
    ZwClose(h);
}

/* ---- the tree's picture */

typedef struct {
    const WCHAR *tree;
    SLOT *slots;
    ULONG n;
} SCAN;

static void tree_path(WCHAR *out, const WCHAR *tree, const WCHAR *a, const WCHAR *b, const WCHAR *c)
{
    out[0] = 0;
    wcat(out, PATH_LEN, tree);
    wcat(out, PATH_LEN, a);
    wcat(out, PATH_LEN, b);
    wcat(out, PATH_LEN, c);
}

/* The name the emulator stores a registry key under: "?" and the like as %XX. */
static void encode_name(WCHAR *out, ULONG cap, const WCHAR *in)
{
    static const WCHAR hex[] = L"0123456789ABCDEF";
    ULONG n = 0;
    for (; *in && n + 4 < cap; in++) {
        if (*in < 0x20 || wcschr(L"\"*/:<>?\\|%", *in)) {
            out[n++] = '%';
            out[n++] = hex[(*in >> 4) & 15];
            out[n++] = hex[*in & 15];
        } else {
            out[n++] = *in;
        }
    }
    out[n] = 0;
}

/* The interface key's name of a printer: ##?#<id with # for \>#{guid}. */
static void iface_key_name(WCHAR *out, ULONG cap, const WCHAR *id)
{
    ULONG n;
    out[0] = 0;
    wcat(out, cap, L"##?#");
    n = (ULONG)wcslen(out);
    wcat(out, cap, id);
    for (; out[n]; n++)
        if (out[n] == '\\')
            out[n] = '#';
    wcat(out, cap, L"#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
}

static void scan_usb(const WCHAR *entry, void *ctx)
{
    SCAN *s = ctx;
    SLOT *slot;
    WCHAR path[PATH_LEN], key[ID_LEN + 60], enc[3 * (ID_LEN + 60)];
    char num[16];
    LONG n, i;
    if (s->n >= MAX_SLOTS)
        return;
    slot = &s->slots[s->n];
    RtlZeroMemory(slot, sizeof *slot);
    wcat(slot->entry, NAME_LEN, entry);
    tree_path(path, s->tree, L"\\usb\\", entry, L"\\instance_id");
    if (!read_line(path, slot->id, ID_LEN) || !wcschr(slot->id, '\\'))
        return;
    iface_key_name(key, ID_LEN + 60, slot->id);
    encode_name(enc, 3 * (ID_LEN + 60), key);
    tree_path(path, s->tree, L"\\registry\\DeviceClasses\\", enc, L"\\#\\Device Parameters\\Port Number");
    n = read_file(path, num, sizeof num - 1);
    for (i = 0; i < n && num[i] >= '0' && num[i] <= '9' && slot->port < 100000; i++)
        slot->port = slot->port * 10 + (num[i] - '0');
    s->n++;
}

/* A serial entry belongs to the printer whose instance id ends in its serial number. */
static void scan_serial(const WCHAR *entry, void *ctx)
{
    SCAN *s = ctx;
    WCHAR path[PATH_LEN], sn[64], com[16];
    ULONG i;
    tree_path(path, s->tree, L"\\serial\\", entry, L"\\serial_number");
    if (!read_line(path, sn, 64))
        return;
    tree_path(path, s->tree, L"\\serial\\", entry, L"\\port_name");
    /* Only a COM name: the port itself is the prefix's dosdevices link. */
    if (!read_line(path, com, 16) || _wcsnicmp(com, L"COM", 3) || !com[3])
        return;
    for (i = 0; i < s->n; i++) {
        const WCHAR *tail = wcsrchr(s->slots[i].id, '\\') + 1;
        if (!_wcsicmp(tail, sn))
            RtlCopyMemory(s->slots[i].com, com, sizeof com);
    }
}

static NTSTATUS read_params_tree(WCHAR *out)
{
    UNICODE_STRING us, vn;
    OBJECT_ATTRIBUTES oa;
    HANDLE key;
    ULONG got;
    NTSTATUS st;
    struct {
        KEY_VALUE_PARTIAL_INFORMATION info;
        WCHAR more[PATH_LEN];
    } v;
    out[0] = 0;
    InitializeObjectAttributes(&oa, &g_params, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    if ((st = ZwOpenKey(&key, KEY_READ, &oa)))
        return st;
    RtlInitUnicodeString(&vn, L"Tree");
    st = ZwQueryValueKey(key, &vn, KeyValuePartialInformation, &v, sizeof v - sizeof(WCHAR), &got);
    ZwClose(key);
    (void)us;
    if (st || v.info.Type != REG_SZ || v.info.DataLength < 6 || v.info.DataLength > (PATH_LEN - 40) * 2)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    wcat(out, PATH_LEN, L"\\??\\");
    RtlCopyMemory(out + 4, v.info.Data, v.info.DataLength);
    out[4 + v.info.DataLength / 2] = 0;
    got = (ULONG)wcslen(out);
    if (got && out[got - 1] == '\\')
        out[got - 1] = 0;
    return STATUS_SUCCESS;
}

/* One look at the tree; TRUE when the printers or their serial functions changed. */
static BOOLEAN poll_tree(void)
{
    static SLOT fresh[MAX_SLOTS]; /* only the poll thread uses it */
    WCHAR *tree = ExAllocatePoolWithTag(PagedPool, PATH_LEN * sizeof(WCHAR), TAG), path[PATH_LEN];
    SCAN s = {tree, fresh, 0};
    BOOLEAN changed;
    if (!tree)
        return FALSE;
    if (!read_params_tree(tree)) {
        tree_path(path, tree, L"\\usb", L"", L"");
        list_dir(path, scan_usb, &s);
        tree_path(path, tree, L"\\serial", L"", L"");
        list_dir(path, scan_serial, &s);
    }
    lock();
    changed = s.n != g_nslots || RtlCompareMemory(fresh, g_slots, s.n * sizeof(SLOT)) != s.n * sizeof(SLOT);
    RtlCopyMemory(g_slots, fresh, s.n * sizeof(SLOT));
    g_nslots = s.n;
    RtlCopyMemory(g_tree, tree, sizeof g_tree);
    unlock();
    ExFreePoolWithTag(tree, TAG);
    return changed;
}

/* The device's own instance id: the printer's from the tree; its serial function is
   interface 1 of the same device, so its device id gains &MI_01. */
static void instance_id(const SLOT *slot, int kind, WCHAR *out, ULONG cap)
{
    const WCHAR *tail = wcsrchr(slot->id, '\\');
    RtlZeroMemory(out, cap * sizeof(WCHAR));
    RtlCopyMemory(out, slot->id, (tail - slot->id) * sizeof(WCHAR));
    if (kind == KIND_SERIAL)
        wcat(out, cap, L"&MI_01");
    wcat(out, cap, tail);
}

/* ---- registry: what Windows' own parts would write, and Wine's leftovers */

static NTSTATUS create_key(HANDLE *key, const WCHAR *path)
{
    UNICODE_STRING us;
    OBJECT_ATTRIBUTES oa;
    init_oa(&oa, &us, path);
    return ZwCreateKey(key, KEY_ALL_ACCESS, &oa, 0, NULL, REG_OPTION_NON_VOLATILE, NULL);
}

static void set_value(HANDLE key, const WCHAR *name, ULONG type, const void *data, ULONG size)
{
    UNICODE_STRING vn;
    RtlInitUnicodeString(&vn, name);
    ZwSetValueKey(key, &vn, 0, type, (PVOID)data, size);
}

/* Deletes a key with everything below it (bounded depth: Enum keys are shallow). */
static void delete_tree(HANDLE key, int depth)
{
    struct {
        KEY_BASIC_INFORMATION info;
        WCHAR more[NAME_LEN];
    } k;
    ULONG got;
    while (depth < 6 && !ZwEnumerateKey(key, 0, KeyBasicInformation, &k, sizeof k - sizeof(WCHAR), &got)) {
        UNICODE_STRING us = {(USHORT)k.info.NameLength, (USHORT)k.info.NameLength, k.info.Name};
        OBJECT_ATTRIBUTES oa;
        HANDLE sub;
        InitializeObjectAttributes(&oa, &us, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, key, NULL);
        if (ZwOpenKey(&sub, KEY_ALL_ACCESS, &oa))
            break;
        delete_tree(sub, depth + 1);
        ZwClose(sub);
    }
    ZwDeleteKey(key);
}

/* Wine keeps listing a device to SetupDiEnumDeviceInfo while its Enum key exists, and a
   device that vanished with its session cannot come back until the key is gone. Windows
   does neither: the key goes once the device is removed, and at start for those a past
   session left. Never while the device is present (Wine then hides it for the session). */
static void forget_device(const WCHAR *id)
{
    WCHAR path[PATH_LEN] = L"";
    HANDLE key;
    wcat(path, PATH_LEN, kEnumKey);
    wcat(path, PATH_LEN, id);
    if (!create_key(&key, path)) {
        delete_tree(key, 0);
        ZwClose(key);
    }
}

/* Devices this driver reported, in Parameters\Devices, so a new session can clean up. */
static void remember_device(const WCHAR *id, BOOLEAN on)
{
    WCHAR path[PATH_LEN] = L"";
    HANDLE key;
    UNICODE_STRING vn;
    ULONG one = 1;
    RtlCopyMemory(path, g_params.Buffer, g_params.Length);
    path[g_params.Length / 2] = 0;
    wcat(path, PATH_LEN, L"\\Devices");
    if (create_key(&key, path))
        return;
    RtlInitUnicodeString(&vn, id);
    on ? ZwSetValueKey(key, &vn, 0, REG_DWORD, &one, sizeof one) : ZwDeleteValueKey(key, &vn);
    ZwClose(key);
}

static void forget_past_devices(void)
{
    WCHAR path[PATH_LEN] = L"";
    HANDLE key;
    struct {
        KEY_VALUE_BASIC_INFORMATION info;
        WCHAR more[ID_LEN];
    } v;
    ULONG got;
    RtlCopyMemory(path, g_params.Buffer, g_params.Length);
    path[g_params.Length / 2] = 0;
    wcat(path, PATH_LEN, L"\\Devices");
    if (create_key(&key, path))
        return;
    while (!ZwEnumerateValueKey(key, 0, KeyValueBasicInformation, &v, sizeof v - sizeof(WCHAR), &got)) {
        UNICODE_STRING vn = {(USHORT)v.info.NameLength, (USHORT)v.info.NameLength, v.info.Name};
        v.info.Name[v.info.NameLength / 2] = 0;
        LOG("forgetting %ls from a past session\n", v.info.Name);
        forget_device(v.info.Name);
        if (ZwDeleteValueKey(key, &vn))
            break;
    }
    ZwClose(key);
}

/* The printer function's "Device Parameters" of its interface: Windows' port monitor writes
   the USB port number there (1 for USB001); a number it wrote stays across replugs. */
static void write_port_number(EXT *ext)
{
    WCHAR path[PATH_LEN] = L"", key_name[ID_LEN + 60];
    HANDLE key;
    ULONG port = ext->slot.port, got, i;
    struct {
        KEY_VALUE_PARTIAL_INFORMATION info;
        ULONG more;
    } v;
    UNICODE_STRING vn;
    iface_key_name(key_name, ID_LEN + 60, ext->slot.id);
    wcat(path, PATH_LEN, kPrintClassKey);
    wcat(path, PATH_LEN, key_name);
    wcat(path, PATH_LEN, L"\\#");
    if (create_key(&key, path))
        return;
    ZwClose(key);
    wcat(path, PATH_LEN, L"\\Device Parameters");
    if (create_key(&key, path))
        return;
    RtlInitUnicodeString(&vn, L"Port Number");
    if (!port && !ZwQueryValueKey(key, &vn, KeyValuePartialInformation, &v, sizeof v, &got) &&
        v.info.Type == REG_DWORD)
        port = *(ULONG *)v.info.Data;
    if (!port) { /* the lowest number no other printer of the tree holds */
        lock();
        for (port = 1;; port++) {
            for (i = 0; i < g_nslots && g_slots[i].port != port; i++)
                ;
            if (i == g_nslots)
                break;
        }
        unlock();
    }
    ZwSetValueKey(key, &vn, 0, REG_DWORD, &port, sizeof port);
    ZwClose(key);
}

/* The device's "Device Parameters"; Wine 8 opens it only when it exists (and then may
   return success with an invalid handle), Windows creates it. */
static NTSTATUS open_device_params(EXT *ext, HANDLE *key)
{
    WCHAR path[PATH_LEN] = L"", id[ID_LEN + 8];
    NTSTATUS st = IoOpenDeviceRegistryKey(ext->self, PLUGPLAY_REGKEY_DEVICE, KEY_ALL_ACCESS, key);
    if (!st && *key != (HANDLE)-1 && *key)
        return st;
    instance_id(&ext->slot, ext->kind, id, ID_LEN + 8);
    wcat(path, PATH_LEN, kEnumKey);
    wcat(path, PATH_LEN, id);
    wcat(path, PATH_LEN, L"\\Device Parameters");
    return create_key(key, path);
}

/* ---- devices */

static EXT *new_pdo(int kind, const SLOT *slot)
{
    DEVICE_OBJECT *dev;
    EXT *ext;
    if (IoCreateDevice(g_drv, sizeof(EXT), NULL, FILE_DEVICE_UNKNOWN,
                       FILE_DEVICE_SECURE_OPEN | FILE_AUTOGENERATED_DEVICE_NAME, FALSE, &dev))
        return NULL;
    ext = dev->DeviceExtension;
    RtlZeroMemory(ext, sizeof *ext);
    ext->kind = kind;
    ext->self = dev;
    ext->present = 1;
    ext->slot = *slot;
    InitializeListHead(&ext->held);
    dev->Flags |= DO_BUFFERED_IO;
    dev->Flags &= ~DO_DEVICE_INITIALIZING;
    return ext;
}

static DEVICE_RELATIONS *relations(EXT **list, ULONG n)
{
    DEVICE_RELATIONS *rel =
        ExAllocatePoolWithTag(PagedPool, sizeof(DEVICE_RELATIONS) + (n ? n - 1 : 0) * sizeof(void *), TAG);
    ULONG i;
    if (!rel)
        return NULL;
    rel->Count = 0;
    for (i = 0; i < n; i++)
        if (list[i]) {
            ObReferenceObject(list[i]->self);
            rel->Objects[rel->Count++] = list[i]->self;
        }
    return rel;
}

/* The bus's children: one printer per slot, the same device object while its id stays. */
static DEVICE_RELATIONS *bus_relations(void)
{
    EXT *next[MAX_SLOTS] = {0};
    DEVICE_RELATIONS *rel;
    ULONG i, j;
    lock();
    for (i = 0; i < g_nslots; i++) {
        for (j = 0; j < MAX_SLOTS; j++)
            if (g_printers[j] && !_wcsicmp(g_printers[j]->slot.id, g_slots[i].id)) {
                next[i] = g_printers[j];
                g_printers[j] = NULL;
                break;
            }
        if (next[i]) {
            next[i]->slot = g_slots[i];
        } else if ((next[i] = new_pdo(KIND_PRINTER, &g_slots[i]))) {
            remember_device(g_slots[i].id, TRUE);
            LOG("plugged %ls\n", g_slots[i].id);
        }
    }
    for (j = 0; j < MAX_SLOTS; j++)
        if (g_printers[j]) { /* unplugged: the PnP manager removes what is no longer listed */
            LOG("unplugged %ls\n", g_printers[j]->slot.id);
            g_printers[j]->present = 0;
            if (g_printers[j]->serial)
                g_printers[j]->serial->present = 0;
        }
    RtlCopyMemory(g_printers, next, sizeof next);
    rel = relations(g_printers, MAX_SLOTS);
    unlock();
    return rel;
}

/* A printer's child: its serial function while the tree lists one for its serial number. */
static DEVICE_RELATIONS *printer_relations(EXT *ext)
{
    DEVICE_RELATIONS *rel;
    lock();
    if (ext->serial && (!ext->present || wcscmp(ext->serial->slot.com, ext->slot.com))) {
        ext->serial->present = 0;
        ext->serial = NULL;
    }
    if (ext->present && ext->slot.com[0] && !ext->serial && (ext->serial = new_pdo(KIND_SERIAL, &ext->slot))) {
        WCHAR id[ID_LEN + 8];
        instance_id(&ext->slot, KIND_SERIAL, id, ID_LEN + 8);
        remember_device(id, TRUE);
        LOG("serial function of %ls on %ls\n", ext->slot.id, ext->slot.com);
    }
    rel = relations(&ext->serial, 1);
    unlock();
    return rel;
}

static void set_iface(EXT *ext, BOOLEAN on)
{
    NTSTATUS st;
    if (on && !ext->link.Buffer &&
        (st = IoRegisterDeviceInterface(ext->self, ext->kind == KIND_SERIAL ? &kComPort : &kUsbPrint, NULL,
                                        &ext->link))) {
        LOG("IoRegisterDeviceInterface %ls %#lx\n", ext->slot.id, st);
        return;
    }
    if (ext->link.Buffer && ext->iface_on != on && !IoSetDeviceInterfaceState(&ext->link, on))
        ext->iface_on = on;
}

/* Held identification requests: completed as cancelled by CancelIoEx, a close or a removal. */
static VOID NTAPI cancel_held(DEVICE_OBJECT *dev, IRP *irp)
{
    (void)dev;
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    done(irp, STATUS_CANCELLED, 0);
}

static NTSTATUS hold(EXT *ext, IRP *irp)
{
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    if (irp->Cancel) {
        IoReleaseCancelSpinLock(irql);
        return done(irp, STATUS_CANCELLED, 0);
    }
    IoSetCancelRoutine(irp, cancel_held);
    IoMarkIrpPending(irp);
    InsertTailList(&ext->held, &irp->Tail.Overlay.ListEntry);
    IoReleaseCancelSpinLock(irql);
    return STATUS_PENDING;
}

/* Releases the held requests of one file (any file when fo is NULL). */
static void release_held(EXT *ext, FILE_OBJECT *fo)
{
    for (;;) {
        KIRQL irql;
        LIST_ENTRY *e;
        IRP *irp = NULL;
        IoAcquireCancelSpinLock(&irql);
        for (e = ext->held.Flink; e != &ext->held; e = e->Flink) {
            IRP *cand = CONTAINING_RECORD(e, IRP, Tail.Overlay.ListEntry);
            if ((!fo || IoGetCurrentIrpStackLocation(cand)->FileObject == fo) && IoSetCancelRoutine(cand, NULL)) {
                RemoveEntryList(e);
                irp = cand;
                break;
            }
        }
        IoReleaseCancelSpinLock(irql);
        if (!irp)
            return;
        done(irp, STATUS_CANCELLED, 0);
    }
}

static void delete_pdo(EXT *ext)
{
    LOG("deleting %ls%ls\n", ext->slot.id, ext->kind == KIND_SERIAL ? L" (serial)" : L"");
    if (ext->link.Buffer)
        RtlFreeUnicodeString(&ext->link);
    IoDeleteDevice(ext->self);
}

static WCHAR *pool_copy(const WCHAR *s, ULONG chars)
{
    WCHAR *p = ExAllocatePoolWithTag(PagedPool, chars * sizeof(WCHAR), TAG);
    if (p)
        RtlCopyMemory(p, s, chars * sizeof(WCHAR));
    return p;
}

/* Device, instance, hardware and compatible ids from the instance id. The serial function
   is interface 1 of the same device: its device id gains &MI_01. Its instance part keeps the
   serial number (Windows would give a generated one there and the number to the parent;
   Wine's configuration manager cannot walk to a parent). */
static ULONG_PTR query_id(EXT *ext, BUS_QUERY_ID_TYPE type)
{
    WCHAR buf[3 * ID_LEN], dev[ID_LEN];
    const WCHAR *tail = wcsrchr(ext->slot.id, '\\');
    const BOOLEAN serial = ext->kind == KIND_SERIAL;
    ULONG n;
    RtlZeroMemory(buf, sizeof buf);
    RtlZeroMemory(dev, sizeof dev);
    RtlCopyMemory(dev, ext->slot.id, (tail - ext->slot.id) * sizeof(WCHAR));
    if (serial)
        wcat(dev, ID_LEN, L"&MI_01");
    switch (type) {
    case BusQueryDeviceID:
        wcat(buf, ID_LEN, dev);
        n = (ULONG)wcslen(buf) + 1;
        break;
    case BusQueryInstanceID:
        wcat(buf, ID_LEN, tail + 1);
        n = (ULONG)wcslen(buf) + 1;
        break;
    case BusQueryHardwareIDs:
        wcat(buf, ID_LEN, dev);
        wcat(buf, ID_LEN, L"&REV_0100");
        n = (ULONG)wcslen(buf) + 1;
        wcat(buf + n, ID_LEN, dev);
        n += (ULONG)wcslen(buf + n) + 2;
        break;
    case BusQueryCompatibleIDs:
        wcat(buf, ID_LEN, serial ? L"USB\\Class_02&SubClass_02&Prot_01" : L"USB\\Class_07&SubClass_01&Prot_02");
        n = (ULONG)wcslen(buf) + 1;
        wcat(buf + n, ID_LEN, serial ? L"USB\\Class_02&SubClass_02" : L"USB\\Class_07&SubClass_01");
        n += (ULONG)wcslen(buf + n) + 2;
        break;
    default:
        return 0;
    }
    return (ULONG_PTR)pool_copy(buf, n);
}

static NTSTATUS pdo_pnp(EXT *ext, IRP *irp)
{
    IO_STACK_LOCATION *sp = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS st = irp->IoStatus.Status;
    ULONG_PTR info = irp->IoStatus.Information;
    HANDLE key;
    switch (sp->MinorFunction) {
    case IRP_MN_QUERY_ID:
        if ((info = query_id(ext, sp->Parameters.QueryId.IdType)))
            st = STATUS_SUCCESS;
        else
            info = irp->IoStatus.Information;
        break;
    case IRP_MN_QUERY_DEVICE_TEXT:
        if (sp->Parameters.QueryDeviceText.DeviceTextType == DeviceTextDescription) {
            const WCHAR *d = ext->kind == KIND_SERIAL ? L"USB Serial Device" : L"USB Printing Support";
            info = (ULONG_PTR)pool_copy(d, (ULONG)wcslen(d) + 1);
            st = info ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
        }
        break;
    case IRP_MN_QUERY_CAPABILITIES: {
        DEVICE_CAPABILITIES *c = sp->Parameters.DeviceCapabilities.Capabilities;
        c->RawDeviceOK = 1; /* no INF: started without a function driver */
        c->Removable = 1;
        c->SurpriseRemovalOK = 1;
        c->UniqueID = 1;
        st = STATUS_SUCCESS;
        break;
    }
    case IRP_MN_START_DEVICE:
        set_iface(ext, TRUE);
        if (ext->kind == KIND_PRINTER) {
            write_port_number(ext);
            IoInvalidateDeviceRelations(ext->self, BusRelations); /* Wine asks no device by itself */
        } else if (!open_device_params(ext, &key)) {
            set_value(key, L"PortName", REG_SZ, ext->slot.com, (ULONG)(wcslen(ext->slot.com) + 1) * sizeof(WCHAR));
            ZwClose(key);
        }
        st = STATUS_SUCCESS;
        break;
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (sp->Parameters.QueryDeviceRelations.Type == TargetDeviceRelation) {
            EXT *self = ext;
            info = (ULONG_PTR)relations(&self, 1);
            st = info ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
        } else if (sp->Parameters.QueryDeviceRelations.Type == BusRelations && ext->kind == KIND_PRINTER) {
            info = (ULONG_PTR)printer_relations(ext);
            st = info ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
        }
        break;
    case IRP_MN_SURPRISE_REMOVAL:
        set_iface(ext, FALSE);
        st = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE:
        set_iface(ext, FALSE);
        release_held(ext, NULL);
        done(irp, STATUS_SUCCESS, 0);
        if (ext->present)
            return STATUS_SUCCESS; /* still listed: Windows would start it again */
        {
            WCHAR id[ID_LEN + 8];
            instance_id(&ext->slot, ext->kind, id, ID_LEN + 8);
            remember_device(id, FALSE);
            forget_device(id);
        }
        /* Windows removes a device only after its last handle closed; Wine does it at once.
           Deleting it now would answer an open handle with "access denied". */
        if (ext->opens)
            ext->removed = 1;
        else
            delete_pdo(ext);
        return STATUS_SUCCESS;
    default:
        break;
    }
    return done(irp, st, info);
}

static NTSTATUS bus_pnp(DEVICE_OBJECT *dev, EXT *ext, IRP *irp)
{
    IO_STACK_LOCATION *sp = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS st;
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoInvalidateDeviceRelations(g_bus_pdo, BusRelations); /* Wine asks no bus by itself */
        break;
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (sp->Parameters.QueryDeviceRelations.Type == BusRelations) {
            DEVICE_RELATIONS *rel = bus_relations();
            if (!rel)
                return done(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
            irp->IoStatus.Information = (ULONG_PTR)rel;
            irp->IoStatus.Status = STATUS_SUCCESS;
        }
        break;
    case IRP_MN_REMOVE_DEVICE:
        g_stop = 1;
        g_bus_pdo = NULL;
        IoSkipCurrentIrpStackLocation(irp);
        st = IoCallDriver(ext->lower, irp);
        IoDetachDevice(ext->lower);
        IoDeleteDevice(dev);
        return st;
    default:
        break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(ext->lower, irp);
}

static NTSTATUS NTAPI dispatch_pnp(DEVICE_OBJECT *dev, IRP *irp)
{
    EXT *ext = dev->DeviceExtension;
    return ext->kind == KIND_BUS ? bus_pnp(dev, ext, irp) : pdo_pnp(ext, irp);
}

/* IOCTL_USBPRINT_GET_1284_ID: the entry's reply bytes as they are now. */
static NTSTATUS get_1284_id(EXT *ext, IRP *irp, ULONG outlen)
{
    WCHAR tree[PATH_LEN], path[PATH_LEN];
    LONG n;
    lock();
    RtlCopyMemory(tree, g_tree, sizeof tree);
    unlock();
    tree_path(path, tree, L"\\usb\\", ext->slot.entry, L"\\read_holds");
    if (exists(path))
        return hold(ext, irp);
    tree_path(path, tree, L"\\usb\\", ext->slot.entry, L"\\read_fails");
    if (exists(path))
        return done(irp, STATUS_IO_DEVICE_ERROR, 0);
    tree_path(path, tree, L"\\usb\\", ext->slot.entry, L"\\ieee1284_id");
    n = read_file(path, irp->AssociatedIrp.SystemBuffer, outlen);
    return n < 0 ? done(irp, STATUS_DEVICE_NOT_CONNECTED, 0) : done(irp, STATUS_SUCCESS, (ULONG)n);
}

static NTSTATUS NTAPI dispatch_io(DEVICE_OBJECT *dev, IRP *irp)
{
    IO_STACK_LOCATION *sp = IoGetCurrentIrpStackLocation(irp);
    EXT *ext = dev->DeviceExtension;
    WCHAR path[PATH_LEN], tree[PATH_LEN];
    if (ext->kind != KIND_PRINTER)
        return done(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    switch (sp->MajorFunction) {
    case IRP_MJ_CREATE:
        lock();
        RtlCopyMemory(tree, g_tree, sizeof tree);
        unlock();
        /* A device whose reply is missing cannot be opened. */
        tree_path(path, tree, L"\\usb\\", ext->slot.entry, L"\\ieee1284_id");
        if (!ext->present || ext->removed || !exists(path))
            return done(irp, STATUS_NO_SUCH_DEVICE, 0);
        InterlockedIncrement(&ext->opens);
        return done(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_CLEANUP:
        release_held(ext, sp->FileObject);
        return done(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_CLOSE:
        done(irp, STATUS_SUCCESS, 0);
        if (!InterlockedDecrement(&ext->opens) && ext->removed)
            delete_pdo(ext);
        return STATUS_SUCCESS;
    case IRP_MJ_DEVICE_CONTROL:
        if (ext->removed)
            return done(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
        if (sp->Parameters.DeviceIoControl.IoControlCode == 0x220034) /* IOCTL_USBPRINT_GET_1284_ID */
            return get_1284_id(ext, irp, sp->Parameters.DeviceIoControl.OutputBufferLength);
        return done(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    default: /* the printer's data pipe is not played: the emulator's link is the serial port */
        return done(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static VOID NTAPI poll_thread(PVOID ctx)
{
    LARGE_INTEGER delay;
    ULONG i;
    (void)ctx;
    delay.QuadPart = -5000000; /* 0.5 s */
    while (!g_stop) {
        if (poll_tree() && g_bus_pdo) {
            EXT *printers[MAX_SLOTS];
            IoInvalidateDeviceRelations(g_bus_pdo, BusRelations);
            /* A serial function that came or went under a printer that stayed. */
            lock();
            RtlCopyMemory(printers, g_printers, sizeof printers);
            for (i = 0; i < MAX_SLOTS; i++)
                if (printers[i])
                    ObReferenceObject(printers[i]->self);
            unlock();
            for (i = 0; i < MAX_SLOTS; i++)
                if (printers[i]) {
                    if (printers[i]->present && !!printers[i]->serial != !!printers[i]->slot.com[0])
                        IoInvalidateDeviceRelations(printers[i]->self, BusRelations);
                    ObDereferenceObject(printers[i]->self);
                }
        }
        KeDelayExecutionThread(KernelMode, FALSE, &delay);
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

static NTSTATUS NTAPI add_device(DRIVER_OBJECT *drv, DEVICE_OBJECT *pdo)
{
    DEVICE_OBJECT *fdo;
    EXT *ext;
    HANDLE th;
    OBJECT_ATTRIBUTES oa;
    NTSTATUS st;
    if (g_bus_pdo)
        return STATUS_DEVICE_ALREADY_ATTACHED;
    if ((st = IoCreateDevice(drv, sizeof(EXT), NULL, FILE_DEVICE_BUS_EXTENDER, 0, FALSE, &fdo)))
        return st;
    ext = fdo->DeviceExtension;
    RtlZeroMemory(ext, sizeof *ext);
    ext->kind = KIND_BUS;
    ext->self = fdo;
    ext->lower = IoAttachDeviceToDeviceStack(fdo, pdo);
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    forget_past_devices();
    poll_tree();
    g_bus_pdo = pdo;
    InitializeObjectAttributes(&oa, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
    if (!PsCreateSystemThread(&th, THREAD_ALL_ACCESS, &oa, NULL, NULL, poll_thread, NULL)) {
        ObReferenceObjectByHandle(th, SYNCHRONIZE, NULL, KernelMode, &g_thread, NULL);
        ZwClose(th);
    }
    return STATUS_SUCCESS;
}

static VOID NTAPI unload(DRIVER_OBJECT *drv)
{
    (void)drv;
    g_stop = 1;
    if (g_thread) {
        KeWaitForSingleObject(g_thread, Executive, KernelMode, FALSE, NULL);
        ObDereferenceObject(g_thread);
    }
    RtlFreeUnicodeString(&g_params);
}

NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT *drv, UNICODE_STRING *reg)
{
    static const WCHAR sub[] = L"\\Parameters";
    int i;
    g_drv = drv;
    g_params.MaximumLength = reg->Length + sizeof sub;
    if (!(g_params.Buffer = ExAllocatePoolWithTag(PagedPool, g_params.MaximumLength, TAG)))
        return STATUS_INSUFFICIENT_RESOURCES;
    RtlCopyUnicodeString(&g_params, reg);
    RtlAppendUnicodeToString(&g_params, sub);
    for (i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; i++)
        drv->MajorFunction[i] = dispatch_io;
    drv->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
    drv->DriverExtension->AddDevice = add_device;
    drv->DriverUnload = unload;
    return STATUS_SUCCESS;
}
