// The Linux host with one printer under a umockdev testbed and the private CUPS
// scheduler: the poll cycle, the queue request against the full destination list,
// and the hidden monitor's idle CPU share.
// Usage (root): benchmarks/linuxhost.sh [cycles] [idle seconds] [build dir]
#include "printerlink/host/vqcups.h"
#include "printerlink/printerlink.h"
#include "vqmockusb.h"
#include "vqsimtree.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cups/cups.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

double threadCpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Median and mean wall time of one call, and this thread's CPU time per call, in
// milliseconds. The wall time includes the scheduler's and the testbed's answers.
void measure(const char* what, int rounds, const std::function<void()>& call)
{
    std::vector<double> ms;
    QElapsedTimer t;
    const double cpu0 = threadCpuMs();
    for (int i = 0; i < rounds; ++i) {
        t.start();
        call();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    const double cpu = (threadCpuMs() - cpu0) / rounds;
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    std::printf("%-32s %10.3f %10.3f %10.3f\n", what, ms[ms.size() / 2], sum / ms.size(), cpu);
}

// CPU ticks (user + system) of a process.
qint64 cpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields.at(11).toLongLong() + fields.at(12).toLongLong() : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? qMax(1, atoi(argv[1])) : 1000;
    const int idleSecs = argc > 2 ? atoi(argv[2]) : 60;
    const QString monitor = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    CvqMockUsb usb;
    const QString id = QStringLiteral("USB\\VID_1A2B&PID_0101&MI_00\\1-1");
    if (!usb.addPrinter("1-1", 0x1a2b, 0x0101, "QV0001", 0, 0, CvqMockUsb::Usbfs)
        || !usb.addSerialPort("1-1", 1, "ttyACM0", "QV0001")) {
        std::fprintf(stderr, "testbed: %s\n", qPrintable(usb.error()));
        return 1;
    }
    usb.setReply(usb.nodeOf("1-1", CvqMockUsb::Usbfs),
                 vqMakeDeviceId("Morvane P4120W", "V1.3.6500", "QV0001", CvqStsFields()));
    if (QProcess::execute("lpadmin", {"-p", "Office", "-v", "usb://Morvane/P4120W?serial=QV0001", "-E"}) != 0) {
        std::fprintf(stderr, "no private scheduler: run through benchmarks/linuxhost.sh\n");
        return 1;
    }
    const QMap<QString, CvqState> states = vqPollCycle();
    if (states.size() != 1 || !states.first().connected || states.first().vqComName != "ttyACM0") {
        std::fprintf(stderr, "setup failed: the printer is not connected\n");
        return 1;
    }

    std::printf("%-32s %10s %10s %10s\n", "one printer, one queue", "median ms", "mean ms", "own CPU ms");
    measure("poll cycle", cycles, [] { vqPollCycle(); });
    measure("enumeration", cycles, [] {
        QStringList ids;
        vqHost().vqListUsbPrinters(&ids);
    });
    measure("queue lookup", cycles, [&] { vqGetUsbPrinterQueues({id}); });
    measure("serial ports", cycles, [] { vqHost().vqSerialPorts(); });
    measure("queue request (two attributes)", cycles, [] {
        QList<CvqCupsQueue> q;
        vqcups::queues(&q);
    });
    measure("cupsGetDests2", cycles, [] {
        cups_dest_t* dests = nullptr;
        cupsFreeDests(cupsGetDests2(CUPS_HTTP_DEFAULT, &dests), dests);
    });
    measure("identification read", cycles, [&] {
        QByteArray reply;
        vqHost().vqReadIeee1284(id, &reply);
    });
    std::fflush(stdout);

    if (monitor.isEmpty() || idleSecs <= 0)
        return 0;
    // The monitor answers the same testbed and scheduler through the inherited environment;
    // its own copy so no other monitor takes it for a second instance.
    QTemporaryDir dir;
    const QString copy = dir.filePath("monitor");
    if (!QFile::copy(monitor, copy)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(monitor));
        return 1;
    }
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner);
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(copy, {"hide"});
    if (!p.waitForStarted(5000))
        return 1;
    QThread::sleep(3);
    const qint64 t0 = cpuTicks(p.processId());
    QThread::sleep(ulong(idleSecs));
    const qint64 t1 = cpuTicks(p.processId());
    p.terminate();
    if (!p.waitForFinished(5000))
        p.kill();
    p.waitForFinished(5000);
    if (t0 < 0 || t1 < 0) {
        std::fprintf(stderr, "the monitor ended early\n");
        return 1;
    }
    std::printf("hidden monitor over %d s: %.3f %% of one core\n", idleSecs,
                100.0 * double(t1 - t0) / double(sysconf(_SC_CLK_TCK)) / idleSecs);
    return 0;
}
