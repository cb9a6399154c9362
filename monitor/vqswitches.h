#pragma once
// Build-time feature switches; nothing changes them at run time. Their values
// come from the CMake options VQ_ONE_KEY_PRINT, VQ_SCAN_TO_PC and VQ_LAN_UP_ROM,
// given only to the sources compiled per switch set (monitor/CMakeLists.txt).
#if !defined(VQ_ONE_KEY_PRINT) || !defined(VQ_SCAN_TO_PC) || !defined(VQ_LAN_UP_ROM)
#error "vqswitches.h: list this source in VQ_MONITOR_SWITCHED_SOURCES"
#endif
constexpr bool vqOneKeyPrintEnabled = VQ_ONE_KEY_PRINT;
constexpr bool vqScanToPcEnabled = VQ_SCAN_TO_PC;
constexpr bool vqLanUpRomEnabled = VQ_LAN_UP_ROM;
