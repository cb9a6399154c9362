// One LAN upgrade pass over a loopback /24 (253 addresses) with 2 and 8
// workers: most addresses refuse at once, N of them accept and never answer
// (each costs the 2 s identification time-out).
// Usage: bench_lanpass [silent hosts]
#include "cvqlanuprom.h"
#include "vqlanaddr.h"
#include "vqmonitorseams.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTcpServer>

#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char** argv)
{
    qputenv("VQ_LOOPBACK_ONLY", "1");
    QCoreApplication app(argc, argv);
    const int silent = argc > 1 ? qBound(0, atoi(argv[1]), 200) : 8;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const QString net = QStringLiteral("127.%1.%2.")
                            .arg(QRandomGenerator::global()->bounded(64, 250))
                            .arg(QRandomGenerator::global()->bounded(1, 250));
    // Silent hosts: the kernel accepts their connections, nobody answers.
    std::vector<std::unique_ptr<QTcpServer>> servers;
    quint16 port = 0;
    for (int h = 0; h < silent; ++h) {
        servers.emplace_back(new QTcpServer);
        if (!servers.back()->listen(QHostAddress(net + QString::number(10 + h)), port)) {
            std::fprintf(stderr, "cannot listen on %s%d\n", qPrintable(net), 10 + h);
            return 1;
        }
        port = servers.back()->serverPort();
    }
    CvqUpRomConfig config;
    config.port = port ? port : 9;
    const QList<CvqIfAddr> ifs = vqParseIfList(net + QStringLiteral("1/255.255.255.0"));
    config.interfaces = [ifs] { return ifs; };
    vqSeams<CvqMonitorSeams>().upRom = [config] { return config; };

    std::printf("%-8s %-8s %10s\n", "workers", "silent", "pass ms");
    for (bool onePass : {false, true}) {
        // Background mode waits 10 s first; the bench times the pass itself, so it
        // runs the one-pass thread for 8 workers and a bare 2-worker pass for 2.
        QElapsedTimer t;
        t.start();
        if (onePass) {
            CvqLanUpRomTrd trd;
            trd.onePass = true;
            trd.start();
            trd.wait();
        } else {
            QStringList pending = vqUpRomAddressList(ifs);
            QMutex mutex;
            CvqLanUpRomSlaveTrd a(0, &pending, &mutex), b(1, &pending, &mutex);
            a.start();
            b.start();
            a.wait();
            b.wait();
        }
        std::printf("%-8d %-8d %10lld\n", onePass ? 8 : 2, silent, static_cast<long long>(t.elapsed()));
    }
    return 0;
}
