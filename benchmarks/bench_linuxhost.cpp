// The Linux host with one printer under a umockdev testbed and the private CUPS
// scheduler: the poll cycle, the queue request against the full destination list,
// the time from a printer's plug (its uevent) to the first cycle showing it, and
// the hidden monitor's idle CPU share.
// Usage (root): benchmarks/linuxhost.sh [cycles] [idle seconds] [build dir]
#include "printerlink/host/vqcups.h"
#include "printerlink/printerlink.h"
#include "vqmockusb.h"
#include "vqsimtree.h"

#include <QCoreApplication>
#include <QDir>
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

// CPU ticks (user + system) of a process or, under /proc/<pid>/task, of a thread.
qint64 cpuTicks(const QString& statPath)
{
    QFile f(statPath);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields.at(11).toLongLong() + fields.at(12).toLongLong() : -1;
}

qint64 cpuTicks(qint64 pid) { return cpuTicks(QStringLiteral("/proc/%1/stat").arg(pid)); }

// Each thread's name and ticks, to tell which worker costs what.
QMap<QString, qint64> threadTicks(qint64 pid)
{
    QMap<QString, qint64> out;
    const QString dir = QStringLiteral("/proc/%1/task/").arg(pid);
    for (const QString& tid : QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(dir + tid + "/comm");
        const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll().trimmed()) : tid;
        out[name + " " + tid] = cpuTicks(dir + tid + "/stat");
    }
    return out;
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
    const QByteArray reply = vqMakeDeviceId("Morvane P4120W", "V1.3.6500", "QV0001", CvqStsFields());
    if (!usb.addPrinter("1-1", 0x1a2b, 0x0101, "QV0001", 0, 0, CvqMockUsb::Usbfs, reply)
        || !usb.addRecord(
            "P: /devices/usb1/1-1/1-1:1.1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=cdc_acm\n"
            "A: bInterfaceClass=02\nA: bInterfaceNumber=01\n\nP: /devices/usb1/1-1/1-1:1.1/tty/ttyACM0\n"
            "N: ttyACM0\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/ttyACM0\nE: ID_SERIAL_SHORT=QV0001\n")) {
        std::fprintf(stderr, "testbed: %s\n", qPrintable(usb.error()));
        return 1;
    }
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

    // Back-to-back cycles from the uevent on: the monitor's core thread adds its wait
    // for the next cycle (up to a second) to this.
    std::vector<double> plugMs;
    int slowest = 0;
    for (int k = 1; k <= 20; ++k) {
        const QString port = QStringLiteral("3-%1").arg(k);
        const QString plugged = QStringLiteral("USB\\VID_1A2B&PID_0101&MI_00\\") + port;
        if (!usb.addPrinter(port, 0x1a2b, 0x0101, "QV0001", 0, 0, CvqMockUsb::Usbfs, reply))
            break;
        QElapsedTimer t;
        t.start();
        usb.uevent("/sys/devices/usb3/" + port, "add");
        int cycles = 1;
        while (!vqPollCycle().value(plugged).connected && t.elapsed() < 5000)
            ++cycles;
        plugMs.push_back(t.nsecsElapsed() / 1e6);
        slowest = qMax(slowest, cycles);
        usb.uevent("/sys/devices/usb3/" + port, "remove");
    }
    std::sort(plugMs.begin(), plugMs.end());
    if (!plugMs.empty())
        std::printf("%-32s %10.3f %10s %10s (%zu plugs, at most %d cycles)\n", "plug to shown",
                    plugMs[plugMs.size() / 2], "", "", plugMs.size(), slowest);
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
    // The LAN upgrade pass walks a loopback /24 of its own (the same work as on a
    // desktop's network, no traffic off the machine), then no network at all.
    const QString lan = QStringLiteral("127.%1.%2.1/255.255.255.0").arg(200 + getpid() % 50).arg(getpid() % 256);
    for (const QString& ifaces : {lan, QString()}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VQ_LOOPBACK_ONLY", "1");
        env.insert("VQ_UPROM_IFACES", ifaces);
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(copy, {"hide"});
        if (!p.waitForStarted(5000))
            return 1;
        QThread::sleep(3);
        const qint64 t0 = cpuTicks(p.processId());
        const QMap<QString, qint64> threads0 = threadTicks(p.processId());
        QThread::sleep(ulong(idleSecs));
        const qint64 t1 = cpuTicks(p.processId());
        const QMap<QString, qint64> threads1 = threadTicks(p.processId());
        p.terminate();
        if (!p.waitForFinished(5000))
            p.kill();
        p.waitForFinished(5000);
        if (t0 < 0 || t1 < 0) {
            std::fprintf(stderr, "the monitor ended early\n");
            return 1;
        }
        const auto share = [&](qint64 ticks) {
            return 100.0 * double(ticks) / double(sysconf(_SC_CLK_TCK)) / idleSecs;
        };
        std::printf("hidden monitor over %d s, LAN pass %s: %.3f %% of one core\n", idleSecs,
                    ifaces.isEmpty() ? "without hosts" : "over a /24", share(t1 - t0));
        qint64 rest = t1 - t0;
        for (auto it = threads1.cbegin(); it != threads1.cend(); ++it) {
            const qint64 ticks = it.value() - threads0.value(it.key(), 0);
            rest -= ticks;
            if (ticks > 0)
                std::printf("  thread %-24s %.3f %%\n", qPrintable(it.key()), share(ticks));
        }
        // Short-lived threads (the LAN pass's workers) and those that ended in between.
        std::printf("  %-31s %.3f %%\n", "threads that ended", share(rest));
        std::fflush(stdout);
    }
    return 0;
}
