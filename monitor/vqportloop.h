#pragma once
// The loop of the printer-button services (one-key print, scan to PC): a
// poll cycle, then one pass per connected printer that has a serial port,
// each port at most once per 1000 ms on a wrapping 32-bit millisecond tick.

#include "printerlink/vqstate.h"

#include <QMap>
#include <functional>

// Milliseconds since an arbitrary start, wrapping at 2^32 (CvqMonitorSeams::tick when set).
quint32 vqTickCount();

// How long a port must still wait when its last pass began at last (seen:
// there was one); 0 when 1000 ms have passed or the tick has wrapped.
int vqPortSpacing(bool seen, quint32 last, quint32 now);

// Runs until a stop; pass(state) serves one printer. A cycle that served no
// port waits 1000 ms, so a PC without printers does not spin. Poll, tick and
// waits are CvqMonitorSeams' when set.
void vqRunPortLoop(const std::function<void(const CvqState&)>& pass);
