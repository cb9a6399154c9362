#pragma once
// The printer emulator on a simulated host tree of its own (named by
// VQ_SIM_HOST while it lives), for the tests that drive it; they link vqsimclient.

#include "vqsimclient.h"
#include "vqtestsupport.h"

class CvqSimOnHost : public CvqSimClient
{
public:
    ~CvqSimOnHost() { vqStop(); }  // before the tree goes
    // Starts the emulator on a fresh tree; false (see vqError()) when it does not come up.
    bool vqStartOnHost(const QStringList& args)
    {
        mHost.reset(new CvqTempSimHost);
        return vqStart(mHost->root(), args);
    }
    QString vqHostRoot() const { return mHost ? mHost->root() : QString(); }

private:
    std::unique_ptr<CvqTempSimHost> mHost;
};
