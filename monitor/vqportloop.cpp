#include "vqportloop.h"
#include "vqmonitorseams.h"

#include "printerlink/vqpoll.h"

#include <QDeadlineTimer>

quint32 vqTickCount()
{
    const auto& seam = vqSeams<CvqMonitorSeams>().tick;
    return seam ? seam() : quint32(QDeadlineTimer::current(Qt::PreciseTimer).deadline());
}

int vqPortSpacing(bool seen, quint32 last, quint32 now)
{
    // A last pass "later" than now means the tick wrapped: no wait.
    if (!seen || last > now || now - last >= 1000)
        return 0;
    return int(1000 - (now - last));
}

void vqRunPortLoop(const std::function<void(const CvqState&)>& pass)
{
    const CvqMonitorSeams& seams = vqSeams<CvqMonitorSeams>();
    const auto poll = seams.poll ? seams.poll : [] { return vqPollCycle(); };
    const auto wait = seams.wait ? seams.wait : [](int ms) { return vqWaitQuit(ms); };
    QMap<QString, quint32> lastPass;
    for (;;) {
        const QMap<QString, CvqState> states = poll();
        if (wait(0))
            return;
        bool served = false;
        for (const CvqState& s : states) {
            if (!s.connected || s.vqComName.isEmpty())
                continue;
            const QString& port = s.vqComName;
            quint32 now = vqTickCount();
            const int rest = vqPortSpacing(lastPass.contains(port), lastPass.value(port), now);
            if (rest > 0) {
                if (wait(rest))
                    return;
                now = vqTickCount();
            }
            lastPass[port] = now;
            pass(s);
            served = true;
        }
        if (!served && wait(1000))
            return;
    }
}
