#include "vqsimcontrol.h"

#include "vqsimargs.h"
#include "vqsimcontrolport.h"
#include "vqsimprinter.h"
#include "vqsimsession.h"
#include "vqsimverbs.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>

#include <cstdio>
#include <memory>

static const int kMaxScenarioBytes = 1024 * 1024;
static const int kMaxScenarios = 16;

CvqSimControl::CvqSimControl(CvqSimTree* tree, const QString& outDir, qint64 fsLimit, const QString& winePrefix,
                             bool bareId)
    : mTree(tree), mOutDir(outDir), mFsLimit(fsLimit), mWinePrefix(winePrefix), mBareId(bareId)
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
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    QStringList queues, sns;
    int port = 0;
    for (CvqSimPrinter* p : qAsConst(mOrder)) {
        queues << p->vqQueue();
        sns << p->vqSn();
        port = qMax(port, p->vqUsbPort());
    }
    cfg.sn = cfg.sn.isEmpty() ? QStringLiteral("QV%1").arg(mOrder.size() + 1, 4, 10, QLatin1Char('0')) : cfg.sn;
    cfg.usbPort = cfg.usbPort > 0 ? cfg.usbPort : port + 1;
    cfg.winePrefix = mWinePrefix;
    cfg.bareId = mBareId;
    QString queue = QStringLiteral("Morvane ") + cfg.model;
    for (int copy = 1; queues.contains(queue); ++copy)
        queue = QStringLiteral("Morvane %1 (Copy %2)").arg(cfg.model).arg(copy);
    if (!safe.match(name).hasMatch() || !safe.match(cfg.sn).hasMatch() || !safe.match(cfg.model).hasMatch())
        *error = QStringLiteral("a printer name, model or serial number is letters, digits, '_' or '-'");
    else if (mPrinters.contains(name) || sns.contains(cfg.sn))
        *error = QStringLiteral("printer %1 or serial number %2 is taken").arg(name, cfg.sn);
    if (!error->isEmpty())
        return false;
    std::unique_ptr<CvqSimPrinter> p(new CvqSimPrinter(name, queue, cfg, mTree, mOutDir, mFsLimit));
    if (!p->vqStart(error)) {
        p->vqRemoveFromTree();
        return false;
    }
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

// ---- the line protocol

const CvqSimControl::Verb* CvqSimControl::vqVerb(const QString& word)
{
    static const Verb verbs[] = {
        {"use", 1, 1, false, &CvqSimControl::use},       {"add", 1, 6, false, &CvqSimControl::add},
        {"remove", 1, 1, false, &CvqSimControl::remove}, {"status", 0, 1, false, &CvqSimControl::status},
        {"sleep", 1, 1, false, &CvqSimControl::sleep},   {"wait", 2, 3, true, &CvqSimControl::wait},
        {"state", 1, 1, false, &CvqSimControl::state},   {"play", 1, 1, false, &CvqSimControl::play},
        {"quit", 0, 0, false, &CvqSimControl::quit},
    };
    for (const Verb& v : verbs)
        if (word == QLatin1String(v.name))
            return &v;
    return nullptr;
}

bool CvqSimControl::vqIsVerb(const QString& word) { return vqVerb(word) || CvqSimVerb::vqFind(word); }

QString CvqSimControl::vqRun(CvqSimSession* s, const QString& line, QStringList* out, bool inState)
{
    Line l{s, nullptr, {}, out, inState, false};
    if (line.size() > CvqSimSession::kMaxLine)
        return QStringLiteral("err line too long");
    if (!vqSimSplitLine(line, &l.w))
        return QStringLiteral("err unterminated quote");
    if (l.w.isEmpty() || l.w[0].startsWith('#'))
        return QString("");
    const QString target = l.w[0].startsWith('@') ? l.w.takeFirst().mid(1) : s->current;
    const Verb* v = vqVerb(l.w.value(0));
    const CvqSimVerb* pv = v ? nullptr : CvqSimVerb::vqFind(l.w.value(0));
    l.p = mPrinters.value(target);
    if (!v && !pv)
        return QStringLiteral("err unknown command ") + l.w.value(0);
    const bool onPrinter = pv || v->onPrinter;
    if (onPrinter && !l.p)
        return QStringLiteral("err no printer ") + target;
    const int args = int(l.w.size()) - 1;
    if (args < (pv ? pv->minArgs : v->minArgs) || args > (pv ? pv->maxArgs : v->maxArgs))
        return QStringLiteral("err bad arguments for ") + l.w[0];
    const QString e = pv ? pv->run(*l.p, l.w, out) : (this->*v->run)(l);
    if (onPrinter)
        l.p->vqSync();
    if (l.hold)
        return QString();
    return e.isEmpty() ? QStringLiteral("ok") : QStringLiteral("err ") + e;
}

QString CvqSimControl::use(Line& l)
{
    if (!mPrinters.contains(l.w[1]))
        return QStringLiteral("no printer ") + l.w[1];
    l.s->current = l.w[1];
    return QString();
}

// "add NAME [model=TYPE] [sn=TEXT] [port=N] [romver=TEXT] [http=ADDR:PORT]"
QString CvqSimControl::add(Line& l)
{
    const QMap<QString, QString> o = vqSimOptions(l.w, 2);
    const CvqSimPrinterConfig d;
    qint64 port = 0;
    QString e;
    for (const QString& key : o.keys())
        if (!QStringList({"model", "sn", "port", "romver", "http"}).contains(key) || o[key].isNull())
            return QStringLiteral("bad option ") + key;
    if (!vqSimNumber(o.value("port"), &port, 1, 999) || o.value("romver").contains(';'))
        return QStringLiteral("bad option value");
    const CvqSimPrinterConfig cfg{o.value("model", d.model),   o.value("sn"),   int(port),
                                  o.value("romver", d.romver), o.value("http"), {}};
    if (!vqAddPrinter(l.w[1], cfg, &e))
        return e;
    *l.out << mPrinters[l.w[1]]->vqSummary();
    return QString();
}

QString CvqSimControl::remove(Line& l)
{
    CvqSimPrinter* p = mPrinters.take(l.w[1]);
    if (!p)
        return QStringLiteral("no printer ") + l.w[1];
    mOrder.removeAll(p);
    p->vqRemoveFromTree();
    p->deleteLater();
    return QString();
}

// "status [NAME]": one status line per printer.
QString CvqSimControl::status(Line& l)
{
    for (CvqSimPrinter* p : qAsConst(mOrder))
        if (l.w.size() == 1 || p->vqName() == l.w[1])
            *l.out << p->vqStatusLine();
    return l.out->isEmpty() && l.w.size() > 1 ? QStringLiteral("no printer ") + l.w[1] : QString();
}

QString CvqSimControl::sleep(Line& l)
{
    qint64 ms = 0;
    if (!vqSimNumber(l.w[1], &ms, 0, CvqSimSession::kMaxHoldMs))
        return QStringLiteral("sleep takes milliseconds");
    if (!l.inState) {
        l.hold = true;
        l.s->vqHold(int(ms));
    }
    return QString();
}

// "wait COND [timeout=MS]": holds the session until the printer's condition holds.
QString CvqSimControl::wait(Line& l)
{
    QStringList cond = l.w.mid(1);
    qint64 timeout = 60000;
    const bool timed = cond.last().startsWith(QLatin1String("timeout="));
    if (timed && !vqSimNumber(cond.takeLast().mid(8), &timeout, 0, CvqSimSession::kMaxHoldMs))
        return QStringLiteral("bad timeout");
    if (l.p->vqCondition(cond) < 0)
        return QStringLiteral("unknown condition ") + cond.join(' ');
    QPointer<CvqSimPrinter> p(l.p);
    if (!l.inState && l.p->vqCondition(cond) == 0) {
        l.hold = true;
        l.s->vqHold(int(timeout), [p, cond] { return p ? p->vqCondition(cond) : 0; });
    }
    return QString();
}

// "state NAME": a loaded step applied at once.
QString CvqSimControl::state(Line& l)
{
    if (!mSteps.contains(l.w[1]))
        return QStringLiteral("no state ") + l.w[1];
    const QString saved = l.s->current;
    QString e;
    for (const QString& line : mSteps.value(l.w[1])) {
        const QString r = vqRun(l.s, line, l.out, true);
        if (r.startsWith(QLatin1String("err "))) {
            e = QStringLiteral("state %1: %2: %3").arg(l.w[1], line, r.mid(4));
            break;
        }
    }
    l.s->current = saved;
    return e;
}

QString CvqSimControl::play(Line& l) { return vqPlay(l.w[1]); }

QString CvqSimControl::quit(Line&)
{
    vqQuit();
    return QString();
}

// ---- scenario files

// A scenario played whole in a session of its own; replies at once.
QString CvqSimControl::vqPlay(const QString& file)
{
    QMap<QString, QStringList> steps;
    QStringList lines;
    QString e;
    if (!vqParseScenario(file, &steps, &lines, &e))
        return e;
    if (mScenarios >= kMaxScenarios)
        return QStringLiteral("too many scenarios running");
    auto* session =
        new CvqSimSession([this](CvqSimSession* s, const QString& l, QStringList* out) { return vqRun(s, l, out); },
                          [this](const QString& l) { vqPrint(l); }, file, this);
    ++mScenarios;
    session->drained = [this, session] {
        session->deleteLater();
        --mScenarios;
    };
    // Fed from the event loop so that the caller's reply comes first.
    QTimer::singleShot(0, session, [session, lines] { session->vqFeed(lines); });
    return QString();
}

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
        // States do not nest.
        const QString verb = w[0].startsWith('@') ? w.value(1) : w[0];
        if (!split || !vqIsVerb(verb) || verb == QLatin1String("state") || verb == QLatin1String("play")) {
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

QString CvqSimControl::vqListen(quint16 port, QString* error)
{
    auto* controlPort = new CvqSimControlPort(
        [this](CvqSimSession* s, const QString& l, QStringList* out) { return vqRun(s, l, out); }, this);
    return controlPort->vqListen(port, error);
}
