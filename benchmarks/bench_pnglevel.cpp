// The one-key page's deflate level against the link: from the grabbed picture
// to the page stored on the emulated printer (page, PNG, upload over the serial
// link at about USB full speed, VQ_SIM_SERIAL_BPS), for levels 1 to 6. The key
// press adds the port's pass spacing and two exchanges, the same for every level.
// Usage: bench_pnglevel [rounds] [bytes per second]   (VQ_BIN_DIR: where printersim is)
#include "vqonekeypage.h"
#include "vqscreenlike.h"

#include "printerlink/vqcomlink.h"
#include "vqsimclient.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const QByteArray rate = argc > 2 ? QByteArray(argv[2]) : QByteArray("1000000");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    qputenv("VQ_SIM_SERIAL_BPS", rate);
    QTemporaryDir host, out;
    CvqSimClient sim;
    if (!sim.vqStart(host.path(), {"--out", out.path(), "--fs-limit", "268435456"}, 30000,
                     qEnvironmentVariable("VQ_BIN_DIR", QCoreApplication::applicationDirPath()))) {
        std::fprintf(stderr, "printersim: %s\n", qPrintable(sim.vqError()));
        return 1;
    }
    CvqComLink link(sim.vqPty());
    if (!link.open()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(sim.vqPty()));
        return 1;
    }
    const QImage shot = vqScreenLike();
    std::printf("grab to page stored, link at %s bytes/s, median of %d (ms)\n", rate.constData(), rounds);
    std::printf("level   PNG bytes   page+PNG   upload    total\n");
    for (int level = 1; level <= 6; ++level) {
        std::vector<double> encode, upload, total;
        qint64 size = 0;
        for (int r = 0; r < rounds; ++r) {
            QElapsedTimer t;
            t.start();
            const QByteArray png = vqPagePng(vqPagePicture(shot), level);
            const double e = t.nsecsElapsed() / 1e6;
            quint8 status = 0;
            QString err;
            if (png.isEmpty() || !link.vqLinkPut(QStringLiteral("vqonekeyprint.rst.png"), png, status, err)
                || status != 0) {
                std::fprintf(stderr, "level %d: upload failed (%d %s)\n", level, int(status), qPrintable(err));
                return 1;
            }
            const double all = t.nsecsElapsed() / 1e6;
            size = png.size();
            encode.push_back(e);
            upload.push_back(all - e);
            total.push_back(all);
        }
        std::printf("%5d %11lld %10.0f %8.0f %8.0f\n", level, static_cast<long long>(size), median(encode),
                    median(upload), median(total));
    }
    link.close();
    sim.vqStop();
    return 0;
}
