#include "vqsimcontrol.h"
#include "vqsimprinter.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <memory>

static const int kMaxLine = 4096;
static const int kMaxScenarioBytes = 1024 * 1024;
static const int kMaxScenarios = 16;
static const int kDefaultWaitMs = 60000;
static const int kMaxHoldMs = 24 * 3600 * 1000;
static const int kMaxPending = 10000;
static const qint64 kMaxUnread = 4 * 1024 * 1024;
// A control client that has not sent the token by then is closed.
static const int kTokenMs = 10000;

bool vqSimSplitLine(const QString& line, QStringList* words)
{
    words->clear();
    QString cur;
    bool inWord = false, quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == '\\' && i + 1 < line.size()) {
            const QChar n = line[++i];
            cur += n == 'n' ? QChar('\n') : n;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (c.isSpace() && !quoted) {
            if (inWord)
                words->append(cur);
            cur.clear();
            inWord = false;
        } else {
            cur += c;
            inWord = true;
        }
    }
    if (inWord)
        words->append(cur);
    return !quoted;
}

// The complete lines taken out of buf; a line too long comes out cut (and is refused).
static QStringList takeLines(QByteArray* buf)
{
    QStringList lines;
    for (int nl; (nl = buf->indexOf('\n')) >= 0; buf->remove(0, nl + 1))
        lines << QString::fromUtf8(buf->left(qMin(nl, kMaxLine + 1))).remove('\r');
    if (buf->size() > kMaxLine) {
        lines << QString::fromUtf8(buf->left(kMaxLine + 1));
        buf->clear();
    }
    return lines;
}

// ---- sessions

CvqSimSession::CvqSimSession(CvqSimControl* ctl, Sink sink, const QString& origin, QObject* parent)
    : QObject(parent), mCtl(ctl), mSink(std::move(sink)), mOrigin(origin)
{
    // A held session looks every 20 ms whether its time is up or its condition holds.
    connect(&mTmr, &QTimer::timeout, this, [this] {
        const bool met = mCond && mCond() == 1;
        if (!met && !mDeadline.hasExpired())
            return;
        mTmr.stop();
        report(QStringLiteral("(held)"), met || !mCond ? "ok" : "err timeout");
        mCond = nullptr;
        mBusy = false;
        process();
    });
}

void CvqSimSession::vqFeed(const QStringList& lines)
{
    // A session held by sleep or wait queues what comes meanwhile, within reason.
    if (mPending.size() + lines.size() > kMaxPending)
        return mSink(QStringLiteral("err too many lines waiting"));
    mPending += lines;
    process();
}

// A scenario reports what fails, not each "ok".
void CvqSimSession::report(const QString& line, const QString& reply)
{
    if (mOrigin.isEmpty())
        mSink(reply);
    else if (reply.startsWith(QLatin1String("err ")))
        mSink(mOrigin + ": " + line + ": " + reply);
}

void CvqSimSession::process()
{
    while (!mBusy && !mPending.isEmpty()) {
        const QString line = mPending.takeFirst();
        QStringList out;
        const QString reply = mCtl->vqRun(this, line, &out);
        for (const QString& o : qAsConst(out))
            mSink(o);
        mBusy = reply.isNull();
        if (!reply.isEmpty())
            report(line, reply);
    }
    if (!mBusy)
        emit vqDrained();
}

void CvqSimSession::vqHold(int ms, std::function<int()> cond)
{
    mCond = std::move(cond);
    mDeadline.setRemainingTime(qBound(1, ms, kMaxHoldMs));
    mTmr.start(20);
}

// ---- printers

CvqSimControl::CvqSimControl(CvqSimTree* tree, const QString& outDir, qint64 fsLimit, const QString& winePrefix,
                             bool quiet)
    : mTree(tree), mOutDir(outDir), mFsLimit(fsLimit), mWinePrefix(winePrefix), mQuiet(quiet)
{
}

CvqSimControl::~CvqSimControl() { qDeleteAll(mOrder); }

void CvqSimControl::vqPrint(const QString& line)
{
    const QByteArray b = line.toUtf8() + '\n';
    fwrite(b.constData(), 1, size_t(b.size()), stdout);
    fflush(stdout);
}

bool CvqSimControl::vqAddPrinter(const QString& name, CvqSimPrinterConfig cfg, QString* error)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    QStringList queues, sns;
    int port = 0;
    for (CvqSimPrinter* p : qAsConst(mOrder)) {
        queues << p->queue();
        sns << p->sn();
        port = qMax(port, p->usbPort());
    }
    cfg.sn = cfg.sn.isEmpty() ? QStringLiteral("QV%1").arg(mOrder.size() + 1, 4, 10, QLatin1Char('0')) : cfg.sn;
    cfg.usbPort = cfg.usbPort > 0 ? cfg.usbPort : port + 1;
    cfg.winePrefix = mWinePrefix;
    const QString queue = cfg.queue.isEmpty() ? QStringLiteral("Morvane ") + cfg.model : cfg.queue;
    cfg.queue = queue;
    for (int copy = 1; queues.contains(cfg.queue); ++copy)
        cfg.queue = queue + QStringLiteral(" (Copy %1)").arg(copy);
    if (!safe.match(name).hasMatch() || name.size() > 32 || !safe.match(cfg.sn).hasMatch())
        *error = QStringLiteral("a printer name or serial number is letters, digits, '_' or '-'");
    else if (mPrinters.contains(name) || sns.contains(cfg.sn))
        *error = QStringLiteral("printer %1 or serial number %2 is taken").arg(name, cfg.sn);
    else if (queue.contains('/') || queue.contains(',') || queue == QLatin1String(".") || queue == QLatin1String(".."))
        *error = QStringLiteral("bad queue name");
    if (!error->isEmpty())
        return false;
    std::unique_ptr<CvqSimPrinter> p(new CvqSimPrinter(name, cfg, mTree, mOutDir, mFsLimit));
    if (!p->vqStart(error)) {
        p->vqRemoveFromTree();
        return false;
    }
    connect(p.get(), &CvqSimPrinter::vqEvent, this, [this](const QString& line) {
        if (!mQuiet)
            vqPrint(line);
    });
    mPrinters.insert(name, p.get());
    mOrder.append(p.release());
    return true;
}

void CvqSimControl::vqRemoveAllFromTree()
{
    for (CvqSimPrinter* p : qAsConst(mOrder))
        p->vqRemoveFromTree();
}

void CvqSimControl::vqQuit()
{
    if (mQuitting)
        return;
    mQuitting = true;
    vqRemoveAllFromTree();
    // Let the last replies leave before the loop ends.
    QTimer::singleShot(100, qApp, &QCoreApplication::quit);
}

// ---- the verbs

// One control line as a verb sees it: its words, the printer it is for (when
// it exists), where data lines go.
struct CvqSimControl::Line
{
    CvqSimControl* ctl;
    CvqSimSession* s;
    CvqSimPrinter* p;
    QStringList w;
    QStringList* out;
    bool inState;
};

struct CvqSimControl::Verb
{
    const char* name;
    int minArgs, maxArgs;  // after the verb
    bool inScenario;       // may stand in a scenario file
    bool onPrinter;        // acts on the line's printer, which must exist
    std::function<QString(Line&)> run;
};

const QList<CvqSimControl::Verb>& CvqSimControl::vqVerbs()
{
    static const QString ok = QStringLiteral("ok");
    static const QList<Verb> verbs = {
        {"use", 1, 1, true, false,
         [](Line& l) {
             if (!l.ctl->mPrinters.contains(l.w[1]))
                 return QStringLiteral("err no printer ") + l.w[1];
             l.s->current = l.w[1];
             return ok;
         }},
        // "add NAME [model=TYPE] [sn=TEXT] [port=N] [romver=TEXT] [http=ADDR:PORT]"
        {"add", 1, 6, true, false,
         [](Line& l) {
             const QMap<QString, QString> o = vqSimOptions(l.w, 2);
             CvqSimPrinterConfig cfg;
             qint64 port = 0;
             QString e;
             for (const QString& key : o.keys())
                 if (!QStringList({"model", "sn", "port", "romver", "http"}).contains(key) || o[key].isNull())
                     return QStringLiteral("err bad option ") + key;
             if (!vqSimNumber(o.value("port"), &port, 1, 999) || o.value("romver").contains(';'))
                 return QStringLiteral("err bad option value");
             cfg.model = o.value("model", cfg.model);
             cfg.sn = o.value("sn");
             cfg.usbPort = int(port);
             cfg.romver = o.value("romver", cfg.romver);
             cfg.http = o.value("http");
             if (!l.ctl->vqAddPrinter(l.w[1], cfg, &e))
                 return QStringLiteral("err ") + e;
             *l.out << l.ctl->mPrinters[l.w[1]]->vqSummary();
             return ok;
         }},
        {"remove", 1, 1, true, false,
         [](Line& l) {
             CvqSimPrinter* p = l.ctl->mPrinters.take(l.w[1]);
             if (!p)
                 return QStringLiteral("err no printer ") + l.w[1];
             l.ctl->mOrder.removeAll(p);
             p->vqRemoveFromTree();
             p->deleteLater();
             return ok;
         }},
        // "status [NAME|all]": one status line per printer.
        {"status", 0, 1, true, false,
         [](Line& l) {
             const QString which = l.w.value(1, QStringLiteral("all"));
             if (which != QLatin1String("all") && !l.ctl->mPrinters.contains(which))
                 return QStringLiteral("err no printer ") + which;
             for (CvqSimPrinter* p : qAsConst(l.ctl->mOrder))
                 if (which == QLatin1String("all") || p->name() == which)
                     *l.out << p->vqStatusLine();
             return ok;
         }},
        {"sleep", 1, 1, true, false,
         [](Line& l) {
             qint64 ms = 0;
             if (!vqSimNumber(l.w[1], &ms, 0, kMaxHoldMs))
                 return QStringLiteral("err sleep takes milliseconds");
             if (l.inState)
                 return ok;
             l.s->vqHold(int(ms));
             return QString();
         }},
        // "wait COND [timeout=MS]": holds the session until the printer's condition holds.
        {"wait", 2, 3, true, true,
         [](Line& l) {
             QStringList cond = l.w.mid(1);
             qint64 timeout = kDefaultWaitMs;
             if (cond.last().startsWith(QLatin1String("timeout="))
                 && !vqSimNumber(cond.takeLast().mid(8), &timeout, 0, kMaxHoldMs))
                 return QStringLiteral("err bad timeout");
             if (l.p->vqCondition(cond) < 0)
                 return QStringLiteral("err unknown condition ") + cond.join(' ');
             if (l.inState || l.p->vqCondition(cond) == 1)
                 return ok;
             QPointer<CvqSimPrinter> p(l.p);
             l.s->vqHold(int(timeout), [p, cond] { return p ? p->vqCondition(cond) : 0; });
             return QString();
         }},
        // "state NAME": a loaded step applied at once.
        {"state", 1, 1, false, false,
         [](Line& l) {
             if (!l.ctl->mSteps.contains(l.w[1]))
                 return QStringLiteral("err no state ") + l.w[1];
             const QString saved = l.s->current;
             QString reply = ok;
             for (const QString& line : l.ctl->mSteps.value(l.w[1])) {
                 const QString r = l.ctl->vqRun(l.s, line, l.out, true);
                 if (r.startsWith(QLatin1String("err "))) {
                     reply = QStringLiteral("err state %1: %2: %3").arg(l.w[1], line, r.mid(4));
                     break;
                 }
             }
             l.s->current = saved;
             return reply;
         }},
        {"play", 1, 1, false, false, [](Line& l) { return l.ctl->vqPlay(l.w[1]); }},
        {"quit", 0, 0, true, false,
         [](Line& l) {
             l.ctl->vqQuit();
             return ok;
         }},
    };
    return verbs;
}

const CvqSimControl::Verb* CvqSimControl::vqVerb(const QString& word)
{
    for (const Verb& v : vqVerbs())
        if (word == QLatin1String(v.name))
            return &v;
    return nullptr;
}

QString CvqSimControl::vqRun(CvqSimSession* s, const QString& line, QStringList* out, bool inState)
{
    Line l{this, s, nullptr, {}, out, inState};
    if (line.size() > kMaxLine)
        return QStringLiteral("err line too long");
    if (!vqSimSplitLine(line, &l.w))
        return QStringLiteral("err unterminated quote");
    if (l.w.isEmpty() || l.w[0].startsWith('#'))
        return QString("");
    const QString target = l.w[0].startsWith('@') ? l.w.takeFirst().mid(1) : s->current;
    const bool printerCommand = CvqSimPrinter::vqIsCommand(l.w.value(0));
    const Verb* v = vqVerb(l.w.value(0));
    l.p = mPrinters.value(target);
    if (!printerCommand && !v)
        return QStringLiteral("err unknown command ") + l.w.value(0);
    if (!l.p && (printerCommand || v->onPrinter))
        return QStringLiteral("err no printer ") + target;
    if (printerCommand) {
        const QString e = l.p->vqControl(l.w, out);
        return e.isEmpty() ? QStringLiteral("ok") : QStringLiteral("err ") + e;
    }
    if (l.w.size() - 1 < v->minArgs || l.w.size() - 1 > v->maxArgs)
        return QStringLiteral("err bad arguments for ") + l.w[0];
    return v->run(l);
}

// A scenario played whole in a session of its own; replies at once.
QString CvqSimControl::vqPlay(const QString& file)
{
    QMap<QString, QStringList> steps;
    QStringList lines;
    QString e;
    if (!vqParseScenario(file, &steps, &lines, &e))
        return QStringLiteral("err ") + e;
    if (mScenarios >= kMaxScenarios)
        return QStringLiteral("err too many scenarios running");
    auto* session = new CvqSimSession(
        this, [this](const QString& l) { vqPrint(l); }, file, this);
    ++mScenarios;
    connect(session, &CvqSimSession::vqDrained, this, [this, session] {
        session->disconnect(this);
        session->deleteLater();
        --mScenarios;
    });
    // Fed from the event loop so that the caller's reply comes first.
    QTimer::singleShot(0, session, [session, lines] { session->vqFeed(lines); });
    return QStringLiteral("ok");
}

// ---- scenario files

// The steps (each "step NAME" line starts one) and every line in order; false
// at the first line that is no command a scenario may hold.
bool CvqSimControl::vqParseScenario(const QString& file, QMap<QString, QStringList>* steps, QStringList* all,
                                    QString* error)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxScenarioBytes) {
        *error = QStringLiteral("cannot read %1 (or larger than 1 MiB)").arg(file);
        return false;
    }
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    QStringList* step = nullptr;
    for (int i = 0; i < lines.size(); ++i) {
        QStringList w;
        const bool split = vqSimSplitLine(lines[i], &w);
        if (w.isEmpty() || w[0].startsWith('#'))
            continue;
        if (split && w[0] == QLatin1String("step") && w.size() == 2 && !steps->contains(w[1])) {
            step = &(*steps)[w[1]];
            continue;
        }
        const QString verb = w[0].startsWith('@') ? w.value(1) : w[0];
        if (!split || !(CvqSimPrinter::vqIsCommand(verb) || (vqVerb(verb) && vqVerb(verb)->inScenario))) {
            *error = QStringLiteral("%1:%2: not a scenario line: %3").arg(file).arg(i + 1).arg(lines[i].trimmed());
            return false;
        }
        all->append(lines[i]);
        if (step)
            step->append(lines[i]);
    }
    return true;
}

bool CvqSimControl::vqLoad(const QString& file, QString* error)
{
    QMap<QString, QStringList> steps;
    QStringList all;
    if (!vqParseScenario(file, &steps, &all, error))
        return false;
    mSteps.insert(steps);
    return true;
}

// ---- where the lines come from

QString CvqSimControl::vqListen(quint16 port, QString* error)
{
    auto* server = new QTcpServer(this);
    if (!server->listen(QHostAddress::LocalHost, port)) {
        *error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(server->errorString());
        return QString();
    }
    // Any local user can reach a loopback port: a client's first line must be
    // this run's token, which only the starter sees.
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    const QString token = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(random), 16).toHex());
    connect(server, &QTcpServer::newConnection, this, [this, server, token] {
        while (QTcpSocket* sock = server->nextPendingConnection()) {
            sock->setReadBufferSize(64 * 1024);
            auto* session = new CvqSimSession(
                this,
                [sock](const QString& l) {
                    // A client that does not read its replies is let go.
                    if (sock->bytesToWrite() > kMaxUnread)
                        return sock->abort();
                    sock->write(l.toUtf8() + '\n');
                },
                QString(), sock);
            const auto buf = std::make_shared<QByteArray>();
            QTimer::singleShot(kTokenMs, sock, [sock, session] {
                if (!session->property("known").toBool())
                    sock->abort();
            });
            connect(sock, &QTcpSocket::readyRead, session, [sock, session, buf, token] {
                *buf += sock->readAll();
                if (sock->state() != QAbstractSocket::ConnectedState)
                    return;
                QStringList lines = takeLines(buf.get());
                if (!session->property("known").toBool() && !lines.isEmpty()) {
                    if (lines.takeFirst() != token) {
                        sock->write("err bad token\n");
                        return sock->disconnectFromHost();
                    }
                    session->setProperty("known", true);
                }
                session->vqFeed(lines);
            });
            connect(sock, &QTcpSocket::disconnected, sock, &QObject::deleteLater);
        }
    });
    return QStringLiteral("127.0.0.1:%1 %2").arg(server->serverPort()).arg(token);
}
