// Key press to print command: the one-key print thread against the emulator.
// Each round presses the key and waits until the print program has run; the
// time includes the wait for the port's next pass (up to 1000 ms). On a
// platform that grabs nothing (offscreen) a 1920 x 1080 picture stands in.
// Usage: bench_onekey [rounds]   (VQ_BIN_DIR: where printersim is; default beside this program)
#include "cvqonekeyprinttrd.h"
#include "vqmonitorseams.h"

#include "vqsimclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 8;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QTemporaryDir host, out;
    CvqSimClient sim;
    if (!sim.vqStart(host.path(), {"--out", out.path()}, 30000,
                     qEnvironmentVariable("VQ_BIN_DIR", QCoreApplication::applicationDirPath()))) {
        std::fprintf(stderr, "printersim: %s\n", qPrintable(sim.vqError()));
        return 1;
    }
    qputenv("VQ_SIM_HOST", host.path().toLocal8Bit());
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || screen->grabWindow(0).isNull()) {
        vqSeams<CvqMonitorSeams>().grab = [] {
            QImage shot(1920, 1080, QImage::Format_RGB32);
            shot.fill(QColor(40, 80, 120));
            return shot;
        };
    }
    CvqOneKeyPrintTrd trd;
    trd.start();
    std::vector<double> ms;
    for (int i = 1; i <= rounds; ++i) {
        QElapsedTimer t;
        t.start();
        sim.vqCmd("key");
        // The screen is grabbed on this thread: keep its events going while waiting.
        QElapsedTimer wait;
        wait.start();
        while (sim.vqStatus().value("printed").toInt() < i && wait.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(2);
        }
        if (sim.vqStatus().value("printed").toInt() < i) {
            std::fprintf(stderr, "round %d: nothing printed\n", i);
            break;
        }
        ms.push_back(t.nsecsElapsed() / 1e6);
        sim.vqCmd(QStringLiteral("sleep %1").arg(137 * i % 1000));  // press at different points of the spacing
    }
    vqQuitAll();
    trd.wait();
    sim.vqStop();
    if (ms.empty())
        return 1;
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    std::printf("key press to print command, %zu presses: median %.0f ms, max %.0f ms, min %.0f ms (goal < 1500 ms)\n",
                sorted.size(), sorted[sorted.size() / 2], sorted.back(), sorted.front());
    return 0;
}
