// ThreadSanitizer builds only. Qt is not instrumented, so the ordering that
// QMutex, QWaitCondition and a QThread's end give is invisible to it. The calls
// our code makes (only those) land here first, as the executable's definitions
// win over the library's, tell the sanitizer what they order, then go on to Qt.
#include <QMutex>
#include <QThread>
#include <QVariant>
#include <QWaitCondition>

#include <climits>
#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

template <typename F> static F next(const char* symbol) { return reinterpret_cast<F>(dlsym(RTLD_NEXT, symbol)); }

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = next<void (*)(QMutex*)>("_ZN6QMutex4lockEv");
    real(this);
    __tsan_acquire(this);
}

void QMutex::unlock() noexcept
{
    static const auto real = next<void (*)(QMutex*)>("_ZN6QMutex6unlockEv");
    __tsan_release(this);
    real(this);
}

// The wait gives the mutex up and takes it back inside Qt.
bool QWaitCondition::wait(QMutex* mutex, unsigned long time)
{
    static const auto real =
        next<bool (*)(QWaitCondition*, QMutex*, unsigned long)>("_ZN14QWaitCondition4waitEP6QMutexm");
    __tsan_release(mutex);
    const bool woken = real(this, mutex, time);
    __tsan_acquire(this);
    __tsan_acquire(mutex);
    return woken;
}

void QWaitCondition::wakeAll()
{
    static const auto real = next<void (*)(QWaitCondition*)>("_ZN14QWaitCondition7wakeAllEv");
    __tsan_release(this);
    real(this);
}

// The thread's run() is over when finished() is emitted (on the thread); a
// wait() that saw the end orders everything run() did before what follows.
// Slots run in the order they were connected: one hook at start(), another
// at the first wait() so that slots connected in between are covered too.
static void releaseAtEnd(QThread* thread, const char* name)
{
    if (thread->property(name).toBool())
        return;
    thread->setProperty(name, true);
    // Nothing captured: the hook's own state would be handed over by Qt's locks.
    QObject::connect(
        thread, &QThread::finished, thread, [] { __tsan_release(QThread::currentThread()); }, Qt::DirectConnection);
}

void QThread::start(Priority priority)
{
    static const auto real = next<void (*)(QThread*, Priority)>("_ZN7QThread5startENS_8PriorityE");
    releaseAtEnd(this, "vqTsanStartHook");
    real(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto real = next<bool (*)(QThread*, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    releaseAtEnd(this, "vqTsanWaitHook");
    const bool ended = real(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}

bool QThread::wait(unsigned long time)  // as Qt's, on to the one above
{
    return wait(time == ULONG_MAX ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(qint64(time)));
}
