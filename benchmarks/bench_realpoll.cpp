// One poll cycle on the platform's own host (no VQ_SIM_HOST): wall time and this
// process's CPU per cycle, for the printers attached. Under Wine, benchmarks/winpoll.sh
// plays them through the stand-in USB printer bus.
// Usage: bench_realpoll [cycles]
#include "printerlink/printerlink.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

// This process's own CPU time in ms (msvcrt's clock() counts wall time).
static double cpuMs()
{
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& f) { return (quint64(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return (ticks(kernel) + ticks(user)) / 1e4;
#else
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
#endif
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? qMax(1, atoi(argv[1])) : 100;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (!qEnvironmentVariableIsEmpty("VQ_SIM_HOST"))
        return std::fprintf(stderr, "bench_realpoll: unset VQ_SIM_HOST, this measures the real host\n"), 2;
    const int n = vqPollCycle().size();
    std::vector<double> ms;
    QElapsedTimer t;
    const double cpu0 = cpuMs();
    for (int i = 0; i < cycles; ++i) {
        t.start();
        const int got = vqPollCycle().size();
        ms.push_back(t.nsecsElapsed() / 1e6);
        if (got != n)
            return std::fprintf(stderr, "bench_realpoll: %d printers, then %d at cycle %d\n", n, got, i), 1;
    }
    const double cpu = (cpuMs() - cpu0) / cycles;
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    std::printf("%-9s %12s %12s %14s\n", "printers", "median ms", "mean ms", "own CPU ms");
    std::printf("%-9d %12.3f %12.3f %14.3f\n", n, ms[ms.size() / 2], sum / ms.size(), cpu);
    return 0;
}
