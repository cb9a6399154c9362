#pragma once
// The USB printer interface class, as Windows writes it in device paths and
// registry keys. A literal macro so narrow, wide and Qt strings can all splice
// it in at compile time; the Win32 calls also need it as a GUID (vqwinapi.cpp).
#define VQ_USB_PRINT_GUID "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"
