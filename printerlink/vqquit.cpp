#include "vqquit.h"

#include <QAtomicInt>
#include <QMutex>
#include <QWaitCondition>

namespace {
QAtomicInt gQuitting(0);
QMutex gQuitMutex;
QWaitCondition gQuitCond;
}  // namespace

bool vqWaitQuit(int ms)
{
    if (gQuitting.loadAcquire() || ms < 1)
        return gQuitting.loadAcquire() != 0;
    QMutexLocker lock(&gQuitMutex);
    // Re-test under the lock so a stop raised just before cannot be missed.
    if (gQuitting.loadAcquire())
        return true;
    gQuitCond.wait(&gQuitMutex, ulong(ms));
    // Only vqQuitAll wakes this condition, so the flag tells a wake-up from a time-out.
    return gQuitting.loadAcquire() != 0;
}

void vqQuitAll()
{
    gQuitting.storeRelease(1);
    QMutexLocker lock(&gQuitMutex);
    gQuitCond.wakeAll();
}
