// printersim: plays printers of the family on the simulated host. See README.md.

#include "vqsimclient.h"
#include "vqsimcontrol.h"
#include "vqsimhttp.h"
#include "vqsimprinter.h"
#include "vqsimtree.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <csignal>
#include <memory>
#include <sys/prctl.h>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

static const int kMaxLine = 4096;
static const qint64 kMaxUnread = 4 * 1024 * 1024;
// A control client that has not sent the token by then is closed.
static const int kTokenMs = 10000;

namespace {
int gSignalFd[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    ssize_t r = ::write(gSignalFd[1], &c, 1);
    (void)r;
}

// Splits a byte stream into bounded lines.
class CvqLineBuffer
{
public:
    // Complete lines; an overlong line comes out as a null QString once.
    QStringList vqAdd(const QByteArray& bytes)
    {
        QStringList lines;
        for (char c : bytes) {
            if (c == '\n') {
                if (mSkipping)
                    lines << QString();
                else
                    lines << QString::fromUtf8(mBuf).remove('\r');
                mBuf.clear();
                mSkipping = false;
            } else if (!mSkipping) {
                mBuf += c;
                if (mBuf.size() > kMaxLine) {
                    mBuf.clear();
                    mSkipping = true;
                }
            }
        }
        return lines;
    }
    QString vqRest()
    {
        const QString r = mSkipping ? QString() : QString::fromUtf8(mBuf);
        mBuf.clear();
        return r;
    }

private:
    QByteArray mBuf;
    bool mSkipping = false;
};

void feed(CvqSimSession* s, const QStringList& lines, const CvqSimSession::Sink& sink)
{
    for (const QString& l : lines) {
        if (l.isNull())
            sink(QStringLiteral("err line too long"));
        else
            s->vqFeed(l);
    }
}

// Client mode: the emulator's address and token come from its --control-file.
int runClient(const QString& file, const QStringList& lines)
{
    QFile f(file);
    CvqSimClient client;
    if (!f.open(QIODevice::ReadOnly) || !client.vqConnect(QString::fromUtf8(f.read(256)).trimmed())) {
        fprintf(stderr, "printersim: cannot reach the emulator named in %s: %s\n", qPrintable(file),
                qPrintable(f.isOpen() ? client.vqError() : f.errorString()));
        return 2;
    }
    int rc = 0;
    for (const QString& line : lines) {
        const QStringList replies = client.vqCmd(line, 600000);
        if (replies.isEmpty()) {
            fprintf(stderr, "printersim: no reply to: %s\n", qPrintable(line));
            return 2;
        }
        for (const QString& r : replies)
            printf("%s\n", qPrintable(r));
        if (replies.last().startsWith(QLatin1String("err ")))
            rc = 1;
    }
    fflush(stdout);
    return rc;
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("printersim"));
    ::signal(SIGPIPE, SIG_IGN);

    QCommandLineParser cl;
    cl.setApplicationDescription(QStringLiteral("Plays printers of the family on the simulated host."));
    cl.addHelpOption();
    const QCommandLineOption optHost(QStringLiteral("host"), QStringLiteral("Simulated host root."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption optPrinters(QStringLiteral("printers"), QStringLiteral("Printers at start."),
                                         QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption optUnplugged(QStringLiteral("unplugged"), QStringLiteral("Start them unplugged."));
    const QCommandLineOption optHttp(QStringLiteral("http"), QStringLiteral("Web server of p1 (127.x.x.x only)."),
                                     QStringLiteral("ADDR:PORT"));
    const QCommandLineOption optControl(QStringLiteral("control"),
                                        QStringLiteral("Control port on 127.0.0.1 (0: a free one)."),
                                        QStringLiteral("PORT"));
    const QCommandLineOption optControlFile(QStringLiteral("control-file"),
                                            QStringLiteral("Write \"127.0.0.1:PORT TOKEN\" there (mode 0600)."),
                                            QStringLiteral("FILE"));
    const QCommandLineOption optWine(QStringLiteral("wine-prefix"),
                                     QStringLiteral("Serial ports as COM5, COM6 … of this Wine prefix."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption optOut(QStringLiteral("out"), QStringLiteral("Output folder."), QStringLiteral("DIR"));
    const QCommandLineOption optLoad(QStringLiteral("load"), QStringLiteral("Load a scenario's steps."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption optScenario(QStringLiteral("scenario"), QStringLiteral("Play a scenario."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption optStep(QStringLiteral("step"), QStringLiteral("Only this step of the scenario."),
                                     QStringLiteral("NAME"));
    const QCommandLineOption optExit(QStringLiteral("exit-after-scenario"), QStringLiteral("Quit after the scenario."));
    const QCommandLineOption optNoStdin(QStringLiteral("no-stdin"), QStringLiteral("Ignore standard input."));
    const QCommandLineOption optKeep(QStringLiteral("keep"), QStringLiteral("Keep host entries at exit."));
    const QCommandLineOption optQuiet(QStringLiteral("quiet"), QStringLiteral("No event lines."));
    const QCommandLineOption optFsLimit(QStringLiteral("fs-limit"), QStringLiteral("File system bound per printer."),
                                        QStringLiteral("BYTES"));
    const QCommandLineOption optParent(QStringLiteral("exit-with-parent"),
                                       QStringLiteral("Quit when the starting process ends."));
    const QCommandLineOption optSend(QStringLiteral("send"),
                                     QStringLiteral("Client mode: send the LINEs to the emulator of a --control-file."),
                                     QStringLiteral("FILE"));
    for (const auto* o :
         {&optHost, &optPrinters, &optUnplugged, &optHttp, &optControl, &optControlFile, &optWine, &optOut, &optLoad,
          &optScenario, &optStep, &optExit, &optNoStdin, &optKeep, &optQuiet, &optFsLimit, &optParent, &optSend})
        cl.addOption(*o);
    cl.addPositionalArgument(QStringLiteral("LINE"), QStringLiteral("Control lines (with --send)."),
                             QStringLiteral("[LINE...]"));
    cl.process(app);

    if (cl.isSet(optSend))
        return runClient(cl.value(optSend), cl.positionalArguments());
    if (!cl.positionalArguments().isEmpty()) {
        fprintf(stderr, "printersim: unexpected argument %s\n", qPrintable(cl.positionalArguments().first()));
        return 2;
    }

    QString root = cl.value(optHost);
    if (root.isEmpty())
        root = qEnvironmentVariable("VQ_SIM_HOST");
    if (root.isEmpty()) {
        fprintf(stderr, "printersim: no host tree: give --host DIR or set VQ_SIM_HOST\n");
        return 2;
    }
    if (!QDir().mkpath(root)) {
        fprintf(stderr, "printersim: cannot create %s\n", qPrintable(root));
        return 2;
    }
    bool ok = false;
    const int count = cl.value(optPrinters).toInt(&ok);
    if (!ok || count < 0 || count > 64) {
        fprintf(stderr, "printersim: --printers takes 0 to 64\n");
        return 2;
    }
    qint64 fsLimit = CvqSimFs::kDefaultLimit;
    if (cl.isSet(optFsLimit)) {
        fsLimit = cl.value(optFsLimit).toLongLong(&ok);
        if (!ok || fsLimit < 0 || fsLimit > (qint64(1) << 32)) {
            fprintf(stderr, "printersim: --fs-limit takes 0 to 4294967296\n");
            return 2;
        }
    }
    if (cl.isSet(optHttp)) {
        QHostAddress a;
        quint16 p;
        QString e;
        if (!CvqSimHttp::vqParseLoopback(cl.value(optHttp), &a, &p, &e)) {
            fprintf(stderr, "printersim: %s\n", qPrintable(e));
            return 2;
        }
    }
    QString outDir = cl.value(optOut);
    if (!outDir.isEmpty() && !QDir().mkpath(outDir)) {
        fprintf(stderr, "printersim: cannot create %s\n", qPrintable(outDir));
        return 2;
    }

    const QString wine = cl.isSet(optWine) ? QDir(cl.value(optWine)).absolutePath() : QString();
    if (cl.isSet(optWine) && !QFileInfo(wine + QStringLiteral("/dosdevices")).isDir()) {
        fprintf(stderr, "printersim: %s has no dosdevices folder\n", qPrintable(wine));
        return 2;
    }

    CvqSimTree tree(QDir(root).absolutePath());
    CvqSimControl ctl(&tree, outDir.isEmpty() ? QString() : QDir(outDir).absolutePath(), fsLimit);
    ctl.vqSetQuiet(cl.isSet(optQuiet));
    ctl.vqSetKeep(cl.isSet(optKeep));
    ctl.vqSetWinePrefix(wine);
    const CvqSimModel& first = vqSimModels().at(0);
    const CvqSimModel& second = vqSimModels().at(1);
    for (int i = 1; i <= count; ++i) {
        CvqSimPrinterConfig cfg;
        cfg.model = (i % 2 == 1 ? first : second).type;
        cfg.usbPort = i;
        cfg.plugged = !cl.isSet(optUnplugged);
        if (i == 1)
            cfg.http = cl.value(optHttp);
        QString e;
        if (!ctl.vqAddPrinter(QStringLiteral("p%1").arg(i), cfg, &e)) {
            fprintf(stderr, "printersim: %s\n", qPrintable(e));
            ctl.vqRemoveAllFromTree();
            return 1;
        }
    }
    for (const QString& f : cl.values(optLoad)) {
        QString e;
        if (!ctl.vqLoad(f, &e)) {
            fprintf(stderr, "printersim: %s\n", qPrintable(e));
            ctl.vqRemoveAllFromTree();
            return 2;
        }
    }

    // SIGINT and SIGTERM end the program cleanly through the event loop.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalFd) == 0) {
        auto* sn = new QSocketNotifier(gSignalFd[0], QSocketNotifier::Read, &app);
        QObject::connect(sn, &QSocketNotifier::activated, &ctl, [&ctl, sn] {
            char c;
            ssize_t r = ::read(gSignalFd[0], &c, 1);
            (void)r;
            sn->setEnabled(false);
            ctl.vqQuit();
        });
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
        // A test that dies must not leave its printers running.
        if (cl.isSet(optParent)) {
            const pid_t parent = ::getppid();
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent)
                ::raise(SIGTERM);
        }
    }

    // Any local user can reach a loopback port: a client's first line must be
    // this run's token, which only the starter sees (standard output, the 0600 file).
    QTcpServer server;
    QString control;
    const QString controlFile = cl.value(optControlFile);
    if (cl.isSet(optControl)) {
        const uint port = cl.value(optControl).toUInt(&ok);
        if (!ok || port > 65535 || !server.listen(QHostAddress::LocalHost, quint16(port))) {
            fprintf(stderr, "printersim: cannot listen on 127.0.0.1:%s: %s\n", qPrintable(cl.value(optControl)),
                    qPrintable(server.errorString()));
            ctl.vqRemoveAllFromTree();
            return 2;
        }
        quint32 random[4];
        QRandomGenerator::system()->fillRange(random);
        const QString token = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(random), 16).toHex());
        control = QStringLiteral("127.0.0.1:%1 %2").arg(server.serverPort()).arg(token);
        QSaveFile f(controlFile);
        if (!controlFile.isEmpty()
            && !(f.open(QIODevice::WriteOnly) && f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
                 && f.write(control.toUtf8() + '\n') > 0 && f.commit())) {
            fprintf(stderr, "printersim: cannot write %s: %s\n", qPrintable(controlFile), qPrintable(f.errorString()));
            ctl.vqRemoveAllFromTree();
            return 2;
        }
        QObject::connect(&server, &QTcpServer::newConnection, &ctl, [&server, &ctl, token] {
            while (QTcpSocket* sock = server.nextPendingConnection()) {
                const CvqSimSession::Sink sink = [sock](const QString& l) {
                    // A client that does not read its replies is let go.
                    if (sock->bytesToWrite() > kMaxUnread) {
                        sock->abort();
                        return;
                    }
                    sock->write(l.toUtf8() + '\n');
                };
                auto* session = new CvqSimSession(&ctl, sink, false, sock);
                const auto lines = std::make_shared<CvqLineBuffer>();
                const auto known = std::make_shared<bool>(false);
                QTimer::singleShot(kTokenMs, sock, [sock, known] {
                    if (!*known)
                        sock->abort();
                });
                QObject::connect(sock, &QTcpSocket::readyRead, session, [sock, session, lines, known, sink, token] {
                    if (sock->state() != QAbstractSocket::ConnectedState)
                        return;
                    QStringList in = lines->vqAdd(sock->readAll());
                    if (!*known && !in.isEmpty()) {
                        if (in.takeFirst() != token) {
                            sock->write("err bad token\n");
                            sock->disconnectFromHost();
                            return;
                        }
                        *known = true;
                    }
                    feed(session, in, sink);
                });
                QObject::connect(sock, &QTcpSocket::disconnected, sock, &QObject::deleteLater);
            }
        });
    } else if (!controlFile.isEmpty()) {
        fprintf(stderr, "printersim: --control-file needs --control\n");
        ctl.vqRemoveAllFromTree();
        return 2;
    }

    for (CvqSimPrinter* p : ctl.vqPrinters())
        ctl.vqPrint(p->vqSummary());
    if (!control.isEmpty())
        ctl.vqPrint(QStringLiteral("control ") + control);
    ctl.vqPrint(QStringLiteral("ready"));

    CvqLineBuffer stdinLines;
    CvqSimSession stdinSession(
        &ctl, [&ctl](const QString& l) { ctl.vqPrint(l); }, false);
    QSocketNotifier* stdinNote = nullptr;
    // A background job must not touch the terminal: reading it would stop us.
    const bool stdinIsOurs = !::isatty(STDIN_FILENO) || ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
    if (!cl.isSet(optNoStdin) && stdinIsOurs) {
        stdinNote = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        QObject::connect(stdinNote, &QSocketNotifier::activated, &ctl, [&] {
            char buf[4096];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                // End of input: take a last unterminated line, then stop listening.
                stdinNote->setEnabled(false);
                const QString rest = stdinLines.vqRest();
                if (!rest.isEmpty())
                    stdinSession.vqFeed(rest);
                return;
            }
            feed(&stdinSession, stdinLines.vqAdd(QByteArray(buf, int(n))),
                 [&ctl](const QString& l) { ctl.vqPrint(l); });
        });
    }

    if (cl.isSet(optScenario)) {
        if (cl.isSet(optExit))
            QObject::connect(&ctl, &CvqSimControl::vqScenarioFinished, &ctl, &CvqSimControl::vqQuit);
        QString e;
        if (!ctl.vqPlay(cl.value(optScenario), cl.value(optStep), &e)) {
            fprintf(stderr, "printersim: %s\n", qPrintable(e));
            ctl.vqRemoveAllFromTree();
            return 2;
        }
    }

    const int rc = app.exec();
    server.close();
    if (!controlFile.isEmpty())
        QFile::remove(controlFile);
    return rc;
}
