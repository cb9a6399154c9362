#pragma once
// Test seams, one way for the whole program: each layer keeps the hooks a test
// may replace in one struct, held once per process and read through
// vqSeams<T>(); an empty hook means the real thing. A test replaces hooks for
// a scope with CvqSeamScope<T>, which puts the previous ones back at its end.
// Hooks are set before the threads that read them start and restored after
// those threads end.

#include <functional>

template <typename T> T& vqSeams()
{
    static T seams;
    return seams;
}

template <typename T> class CvqSeamScope
{
public:
    CvqSeamScope() : mSaved(vqSeams<T>()) {}
    ~CvqSeamScope() { vqSeams<T>() = mSaved; }
    CvqSeamScope(const CvqSeamScope&) = delete;
    CvqSeamScope& operator=(const CvqSeamScope&) = delete;

    T* operator->() const { return &vqSeams<T>(); }

private:
    T mSaved;
};

class CvqHost;

// The library's hooks.
struct CvqLinkSeams
{
    CvqHost* host = nullptr;                // every host call (vqHost())
    std::function<bool(int ms)> scanPause;  // the scan page loop's pauses; true ends the job
};
