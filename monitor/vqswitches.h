#pragma once
// Build-time feature switches; nothing changes them at run time.
constexpr bool vqOneKeyPrintEnabled = true;
constexpr bool vqScanToPcEnabled = false;
constexpr bool vqLanUpRomEnabled = false;
