#include "vqhost.h"
#include "vqhost_sim.h"

#include <QAtomicPointer>
#include <QFileInfo>

CvqHost& vqPlatformHost();  // defined by the platform's host file

static QAtomicPointer<CvqHost> gOverride;

void vqSetHostOverride(CvqHost* host)
{
    gOverride.storeRelease(host);
}

CvqHost& vqHost()
{
    if (CvqHost* h = gOverride.loadAcquire())
        return *h;
    // Stateless: the root is read from the environment on every call.
    static CvqSimHost sim;
    if (!CvqSimHost::vqRootFromEnv().isEmpty())
        return sim;
    return vqPlatformHost();
}
