#pragma once
// The simulated host counting its poll cycles (one enumeration each), so tests
// wait for cycles, not time. It can hold the next cycle at its start until
// released (so a change lands whole between two cycles), or slow it down.
#include "printerlink/host/vqhost_sim.h"

#include <QSemaphore>
#include <QTest>
#include <atomic>

class CvqCountingSimHost : public CvqSimHost
{
public:
    std::atomic<int> cycles{0};
    std::atomic<int> holdNextMs{0};
    QSemaphore entered, release;

    EnumResult vqListUsbPrinters(QStringList* ids) override
    {
        if (const int ms = holdNextMs.exchange(0)) {
            entered.release();
            release.tryAcquire(1, ms);
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
