#pragma once
// The Win32 calls of the Windows host, kept free of Qt so they build with a
// plain MinGW-w64 toolchain. Names and texts are UTF-16 (the W calls): the 8-bit
// calls would give the local code page's bytes, which differ from machine to machine.

#include <string>
#include <vector>

namespace vqwin {

enum EnumStatus { EnumOk, EnumListFailed, EnumIdFailed };
// SetupAPI: instance ids of the present USB printer interfaces.
EnumStatus listUsbPrinterInstanceIds(std::vector<std::wstring>& ids);

// ReadHeld: the driver kept the request past its cancellation (its memory stays
// allocated, as the kernel may still write it), or it still holds the last one
// (no new request until that completes), or too many such requests are held.
enum ReadStatus { ReadOk, ReadOpenFailed, ReadRequestFailed, ReadHeld };
// CreateFileA (overlapped) + IOCTL_USBPRINT_GET_1284_ID into a 1024-byte buffer;
// reply holds the returned bytes as they came (the caller applies the reply rules).
// An unanswered request is cancelled after 3 s, or as soon as stop (may be null,
// asked every 100 ms) says so; the call returns within about 1 s after that. Device
// paths are ASCII, so the 8-bit call is safe here.
ReadStatus readIeee1284Id(const std::string& devicePath, std::vector<unsigned char>& reply, bool (*stop)() = nullptr);

// HKEY_LOCAL_MACHINE reads. Missing keys or values, or values of another type,
// give an empty list / false.
std::vector<std::wstring> regSubkeys(const std::wstring& path);
bool regString(const std::wstring& path, const wchar_t* value, std::wstring& out);
bool regDword(const std::wstring& path, const wchar_t* value, unsigned long& out);

// OpenPrinterW with the right to use the queue (every user has it; administer rights only an
// elevated administrator), then EnumJobsW for the needed byte count: -1 when the queue
// cannot be opened, else 1 with jobs and 0 without.
int queueHasJobs(const std::wstring& queueName);

// CreateProcessW without waiting; false when it could not start. A program named without a
// folder (e.g. "rundll32") is the one in the system folder, never one found beside the
// program or in the current directory.
bool startDetached(const std::wstring& commandLine);

}  // namespace vqwin
