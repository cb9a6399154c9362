// Entry point: the command-line verbs, the single-instance probe and the normal start.
#include "fvqmain.h"
#include "fvquprom1progress.h"
#include "qvqsingletonapplication.h"
#include "vqswitches.h"

#include "printerlink/printerlink.h"

#include <QDebug>
#include <QFile>
#include <QFontDatabase>

#include <cstdio>
#include <cstring>

#ifndef VQ_FONT_FALLBACK
#define VQ_FONT_FALLBACK "/usr/share/fonts/truetype/vqmonitor/simsun.ttc"
#endif

static void registerFont()
{
    QString font = QCoreApplication::applicationDirPath() + QStringLiteral("/simsun.ttc");
    if (!QFile::exists(font))
        font = QStringLiteral(VQ_FONT_FALLBACK);
    if (!QFile::exists(font))
        return;
    const int id = QFontDatabase::addApplicationFont(font);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty())
        qDebug() << "font" << id;
    else
        qDebug() << "font" << id << families.first();
}

// The normal start and "uprom1": the single-instance probe, one window, the event loop.
template <class Window, class Present> static int runWindow(int argc, char** argv, bool withFont, Present present)
{
#ifndef Q_OS_WIN
    // Everything is drawn by the raster engine: without this the X platform
    // loads its GL integration and a software GL driver, tens of MB, for nothing.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
#endif
    QvqSingletonApplication app(argc, argv, QvqSingletonApplication::vqModeShow);
    if (app.isRunning())
        return 1;
    if (withFont)
        registerFont();
    int rc;
    {
        Window w;
        app.mainWidget = &w;
        w.show();
        present(w);
        rc = app.exec();
        app.mainWidget = nullptr;
    }
    return rc;
}

// The normal start, shown or only in the tray.
static int runMonitor(int argc, char** argv, bool hidden)
{
    return runWindow<FvqMain>(argc, argv, true, [hidden](FvqMain& w) {
        if (hidden) {
            w.hide();
        } else {
            w.raise();
            w.activateWindow();
        }
    });
}

// One LAN upgrade pass in its progress window, shown but not raised; the program ends with the pass.
static int runUpRom1(int argc, char** argv)
{
    return runWindow<FvqUpRom1Progress>(argc, argv, false, [](FvqUpRom1Progress&) {});
}

static void quietHandler(QtMsgType, const QMessageLogContext&, const QString&) {}

// Start-up probe only: 1 when an instance answered.
static int probe(int argc, char** argv, int mode)
{
    // Callers read the exit code and our one line on stderr; keep the platform's chatter out.
    qInstallMessageHandler(quietHandler);
#ifndef Q_OS_WIN
    // The probe shows nothing, so it must not need a display (installers run headless).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "minimal");
#endif
    QvqSingletonApplication app(argc, argv, mode);
    return app.isRunning() ? 1 : 0;
}

int main(int argc, char** argv)
{
    if (argc == 1)
        return runMonitor(argc, argv, false);
    if (argc == 2) {
        const char* verb = argv[1];
        if (!std::strcmp(verb, "getdevct"))
            return qMin(vqGetUsbPrinterCount(), 254);  // an exit code wraps at 256; 255 means -1
        if (!std::strcmp(verb, "hasdev"))
            return vqGetUsbPrinterCount() > 0 ? 1 : 0;
        if (!std::strcmp(verb, "hide"))
            return runMonitor(argc, argv, true);
        if (!std::strcmp(verb, "isrun"))
            return probe(argc, argv, QvqSingletonApplication::vqModePing);
        if (!std::strcmp(verb, "exit"))
            return probe(argc, argv, QvqSingletonApplication::vqModeExit);
        if (!std::strcmp(verb, "uprom1"))
            return vqLanUpRomEnabled ? runUpRom1(argc, argv) : 0;
        if (!std::strcmp(verb, "ver")) {
            std::fputs("ver: " VQ_VERSION "\n", stdout);
            return 0;
        }
        return -1;
    }
    if (argc == 3 && !std::strcmp(argv[1], "hasjob"))
        return vqHasPrintJob(argv[2]) ? 1 : 0;
    return -1;
}
