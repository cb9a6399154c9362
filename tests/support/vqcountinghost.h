#pragma once
// The simulated host counting its poll cycles (one enumeration each), so tests
// wait for cycles, not time. It can hold the next cycle at its start a while
// (so a change lands whole between two cycles).
#include "printerlink/host/vqhost_sim.h"

#include <QSemaphore>
#include <QTest>
#include <atomic>

class CvqCountingSimHost : public CvqSimHost
{
public:
    std::atomic<int> cycles{0}, holdNextMs{0};
    QSemaphore entered;  // released when a held cycle starts

    EnumResult vqListUsbPrinters(QStringList* ids) override
    {
        if (const int ms = holdNextMs.exchange(0)) {
            entered.release();
            QTest::qSleep(ms);
        }
        const EnumResult r = CvqSimHost::vqListUsbPrinters(ids);
        ++cycles;
        return r;
    }
    bool waitCycles(int n)
    {
        const int target = cycles + n;
        return QTest::qWaitFor([&] { return cycles >= target; }, 20000);
    }
};
