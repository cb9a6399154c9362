#pragma once
// The Win32 calls of the Windows host, kept free of Qt so they build with a
// plain MinGW-w64 toolchain. Strings are the 8-bit (ANSI/UTF-8) bytes Windows uses.

#include <string>
#include <vector>

namespace vqwin {

enum EnumStatus { EnumOk, EnumListFailed, EnumIdFailed };
// SetupAPI: instance ids of the present USB printer interfaces.
EnumStatus listUsbPrinterInstanceIds(std::vector<std::string>& ids);

enum ReadStatus { ReadOk, ReadOpenFailed, ReadRequestFailed };
// CreateFileA + IOCTL_USBPRINT_GET_1284_ID into a 1024-byte buffer; reply holds
// the returned bytes (the caller applies the size and zero-byte rules).
ReadStatus readIeee1284Id(const std::string& devicePath, std::vector<unsigned char>& reply);

// HKEY_LOCAL_MACHINE reads. Missing keys or values, or values of another type,
// give an empty list / false.
std::vector<std::string> regSubkeys(const std::string& path);
bool regString(const std::string& path, const char* value, std::string& out);
bool regDword(const std::string& path, const char* value, unsigned long& out);

// OpenPrinterA with administer rights, then EnumJobsA for the needed byte count:
// -1 when the queue cannot be opened, else 1 with jobs and 0 without.
int queueHasJobs(const char* queueName);

// CreateProcessA without waiting; false when it could not start.
bool startDetached(const std::string& commandLine);

}  // namespace vqwin
