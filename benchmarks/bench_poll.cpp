// One poll cycle on the simulated host with 1, 8 and 32 printers attached.
// Usage: bench_poll [cycles]
#include "printerlink/printerlink.h"
#include "vqsimtree.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

static void addPrinters(CvqSimTree& tree, int n)
{
    for (int i = 0; i < n; ++i) {
        const CvqProduct& row = vqProducts.at(i);
        const QString sn = QStringLiteral("QV%1").arg(i, 4, 10, QLatin1Char('0'));
        const QString id = QStringLiteral("USB\\VID_%1&PID_%2\\%3").arg(row.vidpid.vid, row.vidpid.pid, sn);
        CvqStsFields sts;
        sts.crumT = quint16(100 * (10 + i));
        tree.vqAddDevice(id, vqMakeDeviceId(row.name, "V1.3.6500", sn, sts));
        tree.vqAddQueue(row.name + QStringLiteral(" #") + QString::number(i), id, i + 1);
        tree.vqAddSerialPort(QStringLiteral("p%1").arg(i, 3, 10, QLatin1Char('0')),
                             QStringLiteral("/dev/pts/%1").arg(i), sn);
    }
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? qMax(1, atoi(argv[1])) : 200;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    std::printf("%-9s %12s %12s %14s\n", "printers", "median ms", "mean ms", "ms/printer");
    for (int n : {1, 8, 32}) {
        QTemporaryDir dir;
        CvqSimTree tree(dir.path());
        addPrinters(tree, n);
        qputenv("VQ_SIM_HOST", dir.path().toLocal8Bit());
        if (vqPollCycle().size() != n) {
            std::fprintf(stderr, "setup failed for %d printers\n", n);
            return 1;
        }
        std::vector<double> ms;
        QElapsedTimer t;
        for (int i = 0; i < cycles; ++i) {
            t.start();
            const auto map = vqPollCycle();
            ms.push_back(t.nsecsElapsed() / 1e6);
            if (map.size() != n || !map.first().connected)
                return 1;
        }
        std::sort(ms.begin(), ms.end());
        double sum = 0;
        for (double v : ms)
            sum += v;
        const double median = ms[ms.size() / 2];
        std::printf("%-9d %12.3f %12.3f %14.3f\n", n, median, sum / ms.size(), median / n);
    }
    return 0;
}
