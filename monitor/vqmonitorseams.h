#pragma once
// The monitor's test seams (printerlink/vqseams.h says how seams are used).

#include "vqupromconfig.h"

#include "printerlink/vqseams.h"
#include "printerlink/vqstate.h"

#include <QDateTime>
#include <QImage>
#include <QMap>
#include <functional>

struct CvqMonitorSeams
{
    // The loop of the printer-button services (vqRunPortLoop).
    std::function<QMap<QString, CvqState>()> poll;  // default vqPollCycle
    std::function<quint32()> tick;                  // default vqTickCount
    std::function<bool(int ms)> wait;               // default vqWaitQuit; true: stop
    // One-key print's picture of the PC; default the whole primary screen, null when none.
    std::function<QImage()> grab;
    // Scan to PC's folders: their parent (default the user's desktop), and the
    // time in their names (default the local time).
    std::function<QString()> desktop;
    std::function<QDateTime()> now;
    // The LAN upgrade's settings; default vqUpRomConfig()'s own.
    std::function<CvqUpRomConfig()> upRom;
};
