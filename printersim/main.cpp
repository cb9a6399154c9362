// printersim: plays printers of the family on the simulated host. See README.md.

#include "vqsimclient.h"
#include "vqsimcontrol.h"
#include "vqsimprinter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QSaveFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int gSignalFd[2] = {-1, -1};

void onSignal(int) { [[maybe_unused]] const ssize_t r = ::write(gSignalFd[1], "x", 1); }

// The command line's options; the reason when it is refused.
QString parseArgs(QCommandLineParser& cl)
{
    cl.setApplicationDescription(QStringLiteral("Plays printers of the family on the simulated host."));
    cl.addHelpOption();
    cl.addOptions({
        {"host", "Simulated host root (default: $VQ_SIM_HOST).", "DIR"},
        {"printers", "Printers at start (0 to 64).", "N", "1"},
        {"http", "Web server of p1 (127.x.x.x only).", "ADDR:PORT"},
        {"control", "Control port on 127.0.0.1 (0: a free one).", "PORT"},
        {"control-file", "With --control: write \"127.0.0.1:PORT TOKEN\" there (mode 0600).", "FILE"},
        {"wine-prefix", "Serial ports as COM5, COM6 … of this Wine prefix.", "DIR"},
        {"bare-id", "The identification reply is the bare text, without the IEEE 1284 length field."},
        {"out", "Output folder.", "DIR"},
        {"load", "Load a scenario's steps.", "FILE"},
        {"no-stdin", "Accepted for older callers: standard input is never read."},
        {"quiet", "Accepted for older callers: there are no event lines."},
        {"fs-limit", "File system bound per printer.", "BYTES", QString::number(CvqSimFs::kDefaultLimit)},
        {"exit-with-parent", "Quit when the starting process ends."},
        {"send", "Client mode: send the LINEs to the emulator of a --control-file.", "FILE"},
    });
    cl.addPositionalArgument(QStringLiteral("LINE"), QStringLiteral("Control lines (with --send)."), "[LINE...]");
    cl.process(*QCoreApplication::instance());
    qint64 n = 0;
    QHostAddress addr;
    quint16 port = 0;
    QString e;
    if (cl.isSet("send"))
        return QString();
    if (!cl.positionalArguments().isEmpty())
        e = QStringLiteral("unexpected argument ") + cl.positionalArguments().first();
    else if (cl.value("host").isEmpty() && qEnvironmentVariableIsEmpty("VQ_SIM_HOST"))
        e = QStringLiteral("no host tree: give --host DIR or set VQ_SIM_HOST");
    else if (!vqSimNumber(cl.value("printers"), &n, 0, 64)
             || !vqSimNumber(cl.value("fs-limit"), &n, 0, qint64(1) << 32))
        e = QStringLiteral("--printers takes 0 to 64, --fs-limit 0 to 4294967296");
    else if (cl.isSet("control") ? !vqSimNumber(cl.value("control"), &n, 0, 65535) : cl.isSet("control-file"))
        e = QStringLiteral("--control takes a port number; --control-file needs it");
    else if (cl.isSet("wine-prefix") && !QFileInfo(cl.value("wine-prefix") + QStringLiteral("/dosdevices")).isDir())
        e = cl.value("wine-prefix") + QStringLiteral(" has no dosdevices folder");
    else if (cl.isSet("http"))
        CvqSimHttp::vqParseLoopback(cl.value("http"), &addr, &port, &e);
    return e;
}

// Client mode: the emulator's address and token come from its --control-file.
int runClient(const QString& file, const QStringList& lines)
{
    QFile f(file);
    CvqSimClient client;
    if (!f.open(QIODevice::ReadOnly) || !client.vqConnect(QString::fromUtf8(f.read(256)).trimmed()))
        return fprintf(stderr, "printersim: cannot reach the emulator named in %s: %s\n", qPrintable(file),
                       qPrintable(f.isOpen() ? client.vqError() : f.errorString())),
               2;
    int rc = 0;
    for (const QString& line : lines) {
        const QStringList replies = client.vqCmd(line, 600000);
        if (replies.isEmpty())
            return fprintf(stderr, "printersim: no reply to: %s\n", qPrintable(line)), 2;
        for (const QString& r : replies)
            printf("%s\n", qPrintable(r));
        rc = replies.last().startsWith(QLatin1String("err ")) ? 1 : rc;
    }
    fflush(stdout);
    return rc;
}

// SIGINT and SIGTERM end the program cleanly through the event loop; with
// withParent, so does the end of the process that started it.
void catchSignals(CvqSimControl* ctl, bool withParent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalFd) != 0)
        return;
    auto* sn = new QSocketNotifier(gSignalFd[0], QSocketNotifier::Read, ctl);
    QObject::connect(sn, &QSocketNotifier::activated, ctl, [ctl, sn] {
        sn->setEnabled(false);
        ctl->vqQuit();
    });
    // glibc's signal() keeps the handler and restarts interrupted calls.
    ::signal(SIGINT, onSignal);
    ::signal(SIGTERM, onSignal);
    // A test that dies must not leave its printers running.
    const pid_t parent = ::getppid();
    if (withParent && ::prctl(PR_SET_PDEATHSIG, SIGTERM) == 0 && ::getppid() != parent)
        ::raise(SIGTERM);
}

// The start-up printers p1 … pN, the scenarios to load, the control port and
// file; the exit code of a failure (1: a printer would not start) with *e.
int start(const QCommandLineParser& cl, CvqSimControl* ctl, QString* control, QString* e)
{
    for (int i = 1; i <= cl.value("printers").toInt(); ++i) {
        CvqSimPrinterConfig cfg;
        cfg.model = vqSimModels().at((i - 1) % 2).type;
        cfg.usbPort = i;
        cfg.http = i == 1 ? cl.value("http") : QString();
        if (!ctl->vqAddPrinter(QStringLiteral("p%1").arg(i), cfg, e))
            return 1;
    }
    for (const QString& f : cl.values("load"))
        if (!ctl->vqLoad(f, e))
            return 2;
    if (cl.isSet("control") && (*control = ctl->vqListen(quint16(cl.value("control").toUInt()), e)).isEmpty())
        return 2;
    // Replaced whole, later removed: only a file of its own, never a device or a link named by mistake.
    const QFileInfo place(cl.value("control-file"));
    QSaveFile f(place.filePath());
    if (!cl.isSet("control-file"))
        return 0;
    if (place.isSymLink() || (place.exists() && !place.isFile()))
        *e = QStringLiteral("--control-file %1 is not a plain file").arg(place.filePath());
    else if (!(f.open(QIODevice::WriteOnly) && f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
               && f.write(control->toUtf8() + '\n') > 0 && f.commit()))
        *e = QStringLiteral("cannot write %1: %2").arg(f.fileName(), f.errorString());
    return e->isEmpty() ? 0 : 2;
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("printersim"));
    ::signal(SIGPIPE, SIG_IGN);
    QCommandLineParser cl;
    QString e = parseArgs(cl), control;
    const QString host = cl.isSet("host") ? cl.value("host") : qEnvironmentVariable("VQ_SIM_HOST");
    const QString out = cl.value("out");
    for (const QString& dir : {host, out})
        if (e.isEmpty() && !cl.isSet("send") && !dir.isEmpty() && !QDir().mkpath(dir))
            e = QStringLiteral("cannot create ") + dir;
    if (!e.isEmpty())
        return fprintf(stderr, "printersim: %s\n", qPrintable(e)), 2;
    if (cl.isSet("send"))
        return runClient(cl.value("send"), cl.positionalArguments());
    CvqSimTree tree(QDir(host).absolutePath());
    const QString wine = cl.isSet("wine-prefix") ? QDir(cl.value("wine-prefix")).absolutePath() : QString();
    CvqSimControl ctl(&tree, out.isEmpty() ? QString() : QDir(out).absolutePath(), cl.value("fs-limit").toLongLong(),
                      wine, cl.isSet("bare-id"));
    if (const int rc = start(cl, &ctl, &control, &e))
        return fprintf(stderr, "printersim: %s\n", qPrintable(e)), ctl.vqRemoveAllFromTree(), rc;
    catchSignals(&ctl, cl.isSet("exit-with-parent"));
    for (CvqSimPrinter* p : ctl.vqPrinters())
        ctl.vqPrint(p->vqSummary());
    if (!control.isEmpty())
        ctl.vqPrint(QStringLiteral("control ") + control);
    ctl.vqPrint(QStringLiteral("ready"));
    const int rc = app.exec();
    const QFileInfo place(cl.value("control-file"));
    if (cl.isSet("control-file") && place.isFile() && !place.isSymLink())
        QFile::remove(place.filePath());
    return rc;
}
