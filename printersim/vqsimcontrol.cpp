#include "vqsimcontrol.h"
#include "vqsimprinter.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <cstdio>

static const int kMaxScenarioBytes = 1024 * 1024;
static const int kMaxScenarios = 16;
static const int kMaxDepth = 4;
static const int kDefaultWaitMs = 60000;
static const int kMaxHoldMs = 24 * 3600 * 1000;
static const int kMaxPending = 10000;

static const QStringList kGlobalWords = {
    QStringLiteral("use"),    QStringLiteral("add"),    QStringLiteral("remove"), QStringLiteral("printers"),
    QStringLiteral("status"), QStringLiteral("echo"),   QStringLiteral("sleep"),  QStringLiteral("wait"),
    QStringLiteral("pause"),  QStringLiteral("resume"), QStringLiteral("load"),   QStringLiteral("steps"),
    QStringLiteral("state"),  QStringLiteral("play"),   QStringLiteral("quit"),   QStringLiteral("help"),
};

bool vqSimSplitLine(const QString& line, QStringList* words)
{
    words->clear();
    QString cur;
    bool inWord = false, quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == '\\' && i + 1 < line.size()) {
                const QChar n = line[++i];
                cur += n == 'n' ? QChar('\n') : n;
            } else if (c == '"') {
                quoted = false;
            } else {
                cur += c;
            }
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words->append(cur);
            cur.clear();
            inWord = false;
        } else {
            cur += c;
            inWord = true;
        }
    }
    if (quoted)
        return false;
    if (inWord)
        words->append(cur);
    return true;
}

// ---- sessions

CvqSimSession::CvqSimSession(CvqSimControl* ctl, Sink sink, bool scenario, QObject* parent)
    : QObject(parent), current(QStringLiteral("p1")), mCtl(ctl), mSink(std::move(sink)), mScenario(scenario)
{
    mTmr.setSingleShot(true);
    connect(&mTmr, &QTimer::timeout, this, [this] {
        if (mCond)
            finishHold(QStringLiteral("err timeout"));
        else
            finishHold(QStringLiteral("ok"));
    });
    mPollTmr.setInterval(20);
    connect(&mPollTmr, &QTimer::timeout, this, [this] {
        if (mCond && mCond() == 1)
            finishHold(QStringLiteral("ok"));
    });
}

void CvqSimSession::vqFeed(const QStringList& lines)
{
    // A session held by sleep or wait queues what comes meanwhile, within reason.
    if (mPending.size() + lines.size() > kMaxPending) {
        mSink(QStringLiteral("err too many lines waiting"));
        return;
    }
    mPending += lines;
    process();
}

void CvqSimSession::process()
{
    while (!mBusy && !mPending.isEmpty()) {
        const QString line = mPending.takeFirst();
        QStringList out;
        const bool done = mCtl->vqRun(this, line, &out);
        for (const QString& o : qAsConst(out)) {
            // A scenario reports what it prints and what fails, not each "ok".
            if (mScenario && (o == QLatin1String("ok") || o.startsWith(QLatin1String("ok "))))
                continue;
            mSink(mScenario && o.startsWith(QLatin1String("err ")) ? origin + ": " + line + ": " + o : o);
        }
        if (!done)
            mBusy = true;
    }
    if (vqIdle())
        emit vqDrained();
}

void CvqSimSession::hold(int ms)
{
    mBusy = true;
    if (ms > 0)
        mTmr.start(qMin(ms, kMaxHoldMs));
    if (mCond)
        mPollTmr.start();
}

void CvqSimSession::finishHold(const QString& reply)
{
    if (!mBusy)
        return;
    mTmr.stop();
    mPollTmr.stop();
    mCond = nullptr;
    if (mPaused)
        mCtl->mPaused.removeAll(this);
    mPaused = false;
    mBusy = false;
    if (!mScenario || reply.startsWith(QLatin1String("err ")))
        mSink(mScenario ? origin + ": " + reply : reply);
    process();
}

void CvqSimSession::vqResume()
{
    if (mPaused)
        finishHold(QStringLiteral("ok"));
}

// ---- control

CvqSimControl::CvqSimControl(CvqSimTree* tree, const QString& outDir, qint64 fsLimit, QObject* parent)
    : QObject(parent), mTree(tree), mOutDir(outDir), mFsLimit(fsLimit)
{
}

CvqSimControl::~CvqSimControl() { qDeleteAll(mOrder); }

void CvqSimControl::vqPrint(const QString& line)
{
    const QByteArray b = line.toUtf8() + '\n';
    fwrite(b.constData(), 1, size_t(b.size()), stdout);
    fflush(stdout);
}

CvqSimPrinter* CvqSimControl::vqPrinter(const QString& name) const { return mPrinters.value(name); }

bool CvqSimControl::vqAddPrinter(const QString& name, CvqSimPrinterConfig cfg, QString* error)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    if (!safe.match(name).hasMatch()) {
        *error = QStringLiteral("a printer name is 1 to 32 letters, digits, '_' or '-'");
        return false;
    }
    if (mPrinters.contains(name)) {
        *error = QStringLiteral("printer %1 exists").arg(name);
        return false;
    }
    cfg.winePrefix = mWinePrefix;
    const int index = mOrder.size() + 1;
    if (cfg.sn.isEmpty())
        cfg.sn = QStringLiteral("QV%1").arg(index, 4, 10, QLatin1Char('0'));
    static const QRegularExpression safeSn(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    if (!safeSn.match(cfg.sn).hasMatch()) {
        *error = QStringLiteral("a serial number is letters, digits, '_' or '-'");
        return false;
    }
    if (cfg.usbPort <= 0) {
        int port = 0;
        for (CvqSimPrinter* p : qAsConst(mOrder))
            port = qMax(port, p->usbPort());
        cfg.usbPort = port + 1;
    }
    QSet<QString> queues, sns;
    for (CvqSimPrinter* p : qAsConst(mOrder)) {
        queues.insert(p->queue());
        sns.insert(p->sn());
    }
    if (sns.contains(cfg.sn)) {
        *error = QStringLiteral("serial number %1 is taken").arg(cfg.sn);
        return false;
    }
    const CvqSimModel* model = vqSimFindModel(cfg.model);
    QString queue = cfg.queue.isEmpty() ? QStringLiteral("Morvane ") + (model ? model->type : cfg.model) : cfg.queue;
    if (queue.contains('/') || queue == QLatin1String(".") || queue == QLatin1String("..") || queue.contains(',')) {
        *error = QStringLiteral("bad queue name");
        return false;
    }
    for (int copy = 1; queues.contains(queue); ++copy)
        queue = (cfg.queue.isEmpty() ? QStringLiteral("Morvane ") + (model ? model->type : cfg.model) : cfg.queue)
            + QStringLiteral(" (Copy %1)").arg(copy);
    cfg.queue = queue;

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
    if (!mKeep)
        vqRemoveAllFromTree();
    // Let the last replies leave before the loop ends.
    QTimer::singleShot(100, qApp, &QCoreApplication::quit);
}

bool CvqSimControl::vqKnownCommand(const QStringList& words) const
{
    QStringList w = words;
    if (!w.isEmpty() && w[0].startsWith('@'))
        w.removeFirst();
    return !w.isEmpty() && (kGlobalWords.contains(w[0]) || CvqSimPrinter::vqIsPrinterCommand(w[0]));
}

bool CvqSimControl::vqParseScenario(const QString& file, Scenario* sc, QString* error)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(file);
        return false;
    }
    if (f.size() > kMaxScenarioBytes) {
        *error = QStringLiteral("%1 is too large").arg(file);
        return false;
    }
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    QStringList* into = &sc->prologue;
    QSet<QString> names;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QStringList w;
        if (!vqSimSplitLine(line, &w)) {
            *error = QStringLiteral("%1:%2: unterminated quote").arg(file).arg(i + 1);
            return false;
        }
        if (w[0] == QLatin1String("step")) {
            if (w.size() != 2 || names.contains(w[1])) {
                *error = QStringLiteral("%1:%2: a step needs one new name").arg(file).arg(i + 1);
                return false;
            }
            names.insert(w[1]);
            sc->steps.append({w[1], QStringList()});
            into = &sc->steps.last().second;
            continue;
        }
        if (!vqKnownCommand(w)) {
            *error = QStringLiteral("%1:%2: unknown command %3").arg(file).arg(i + 1).arg(w[0]);
            return false;
        }
        into->append(line);
    }
    return true;
}

bool CvqSimControl::vqLoad(const QString& file, QString* error)
{
    Scenario sc;
    if (!vqParseScenario(file, &sc, error))
        return false;
    for (const auto& step : qAsConst(sc.steps))
        mSteps.insert(step.first, step.second);
    return true;
}

bool CvqSimControl::vqPlay(const QString& file, const QString& step, QString* error)
{
    Scenario sc;
    if (!vqParseScenario(file, &sc, error))
        return false;
    if (mScenarios >= kMaxScenarios) {
        *error = QStringLiteral("too many scenarios running");
        return false;
    }
    QStringList lines;
    if (step.isEmpty()) {
        lines = sc.prologue;
        for (const auto& s : qAsConst(sc.steps)) {
            lines << QStringLiteral("echo step ") + s.first;
            lines += s.second;
        }
    } else {
        bool found = false;
        for (const auto& s : qAsConst(sc.steps)) {
            if (s.first == step) {
                lines = s.second;
                found = true;
            }
        }
        if (!found) {
            *error = QStringLiteral("no step %1 in %2").arg(step, file);
            return false;
        }
    }
    for (const auto& s : qAsConst(sc.steps))
        mSteps.insert(s.first, s.second);
    auto* session = new CvqSimSession(
        this, [this](const QString& l) { vqPrint(l); }, true, this);
    session->origin = file;
    ++mScenarios;
    connect(session, &CvqSimSession::vqDrained, this, [this, session] {
        session->disconnect(this);
        session->deleteLater();
        if (--mScenarios == 0)
            emit vqScenarioFinished();
    });
    // Fed from the event loop so that the caller's reply comes first.
    QTimer::singleShot(0, session, [session, lines] { session->vqFeed(lines); });
    return true;
}

static const char* const kHelp[] = {
    "help: use NAME | @NAME CMD | add NAME [model= pid= sn= queue= port= romver= http= unplugged] | remove NAME",
    "help: printers | status [NAME|all] | history [clear] | echo TEXT | sleep MS | wait COND [timeout=MS]",
    "help: pause [MS] | resume | load FILE | steps | state NAME | play FILE [STEP] | quit",
    "help: reset | plug/unplug [device|queue|serial|port|idread|all]",
    "help: activity idle|sleep|warmup|printing|busy|cooling",
    "help: fault NAME[,NAME] [on|off] | faults LIST|none | clear | source LIST | toner PCT|none | drum PCT|none",
    "help: chip on|off | romver V | upromver V|none | pxg N | tll N | jobs N | key | scan [...] | scanjob [...]",
    "help: scanner ok|err | jobstate auto|TEXT | printtime MS | exeout auto|inline|file | raw FIELD V | file OP",
    "help: linkfault KIND[,KIND] [count= after= types= size= gap= delay=] | linkfault clear | httpfault ...",
};

bool CvqSimControl::vqRun(CvqSimSession* s, const QString& rawLine, QStringList* out, int depth)
{
    const QString line = rawLine.trimmed();
    if (line.isEmpty() || line.startsWith('#'))
        return true;
    QStringList w;
    if (!vqSimSplitLine(line, &w)) {
        *out << QStringLiteral("err unterminated quote");
        return true;
    }
    QString target = s->current;
    if (w[0].startsWith('@')) {
        target = w.takeFirst().mid(1);
        if (w.isEmpty()) {
            *out << QStringLiteral("err no command after @") + target;
            return true;
        }
    }
    const QString cmd = w[0];
    const int n = w.size();
    auto ok = [out](const QString& text = QString()) {
        *out << (text.isEmpty() ? QStringLiteral("ok") : "ok " + text);
    };
    auto err = [out](const QString& text) { *out << QStringLiteral("err ") + text; };
    auto number = [](const QString& t, int* v) {
        bool good = false;
        *v = t.toInt(&good);
        return good && *v >= 0;
    };

    if (cmd == QLatin1String("help")) {
        for (const char* h : kHelp)
            *out << QLatin1String(h);
        ok();
    } else if (cmd == QLatin1String("use") && n == 2) {
        if (!mPrinters.contains(w[1]))
            return err(QStringLiteral("no printer ") + w[1]), true;
        s->current = w[1];
        ok();
    } else if (cmd == QLatin1String("add") && n >= 2) {
        CvqSimPrinterConfig cfg;
        cfg.usbPort = 0;
        for (int i = 2; i < n; ++i) {
            const QString key = w[i].section('=', 0, 0);
            const QString value = w[i].section('=', 1);
            if (w[i] == QLatin1String("unplugged"))
                cfg.plugged = false;
            else if (key == QLatin1String("model"))
                cfg.model = value;
            else if (key == QLatin1String("pid")
                     && QRegularExpression(QStringLiteral("^[0-9A-Fa-f]{4}$")).match(value).hasMatch())
                cfg.pid = value.toUpper();
            else if (key == QLatin1String("sn"))
                cfg.sn = value;
            else if (key == QLatin1String("queue"))
                cfg.queue = value;
            else if (key == QLatin1String("romver") && !value.contains(';'))
                cfg.romver = value;
            else if (key == QLatin1String("http"))
                cfg.http = value;
            else if (key == QLatin1String("port") && number(value, &cfg.usbPort) && cfg.usbPort > 0)
                ;
            else
                return err(QStringLiteral("bad option ") + w[i]), true;
        }
        QString e;
        if (!vqAddPrinter(w[1], cfg, &e))
            return err(e), true;
        *out << mPrinters[w[1]]->vqSummary();
        ok();
    } else if (cmd == QLatin1String("remove") && n == 2) {
        CvqSimPrinter* p = mPrinters.take(w[1]);
        if (!p)
            return err(QStringLiteral("no printer ") + w[1]), true;
        mOrder.removeAll(p);
        p->vqRemoveFromTree();
        p->deleteLater();
        ok();
    } else if (cmd == QLatin1String("printers")) {
        for (CvqSimPrinter* p : qAsConst(mOrder))
            *out << p->vqSummary();
        ok();
    } else if (cmd == QLatin1String("status") && n <= 2) {
        const QString which = n == 2 ? w[1] : QStringLiteral("all");
        if (which != QLatin1String("all") && !mPrinters.contains(which))
            return err(QStringLiteral("no printer ") + which), true;
        for (CvqSimPrinter* p : qAsConst(mOrder))
            if (which == QLatin1String("all") || p->name() == which)
                *out << p->vqStatusLine();
        ok();
    } else if (cmd == QLatin1String("echo")) {
        *out << QStringLiteral("echo ") + w.mid(1).join(' ');
        ok();
    } else if (cmd == QLatin1String("sleep") && n == 2) {
        int ms = 0;
        if (!number(w[1], &ms))
            return err(QStringLiteral("sleep takes milliseconds")), true;
        if (depth > 0)
            return ok(), true;
        s->hold(qMax(ms, 1));
        return false;
    } else if (cmd == QLatin1String("wait") && n >= 2) {
        int timeout = kDefaultWaitMs;
        QStringList cond = w.mid(1);
        if (cond.last().startsWith(QLatin1String("timeout="))) {
            if (!number(cond.takeLast().mid(8), &timeout))
                return err(QStringLiteral("bad timeout")), true;
        }
        CvqSimPrinter* p = mPrinters.value(target);
        if (!p)
            return err(QStringLiteral("no printer ") + target), true;
        if (p->vqCondition(cond) < 0)
            return err(QStringLiteral("unknown condition ") + cond.join(' ')), true;
        if (depth > 0)
            return ok(), true;
        if (p->vqCondition(cond) == 1)
            return ok(), true;
        QPointer<CvqSimPrinter> guard(p);
        s->mCond = [guard, cond] { return guard ? guard->vqCondition(cond) : 0; };
        s->hold(qMax(timeout, 1));
        return false;
    } else if (cmd == QLatin1String("pause") && n <= 2) {
        int ms = 0;
        if (n == 2 && !number(w[1], &ms))
            return err(QStringLiteral("pause takes milliseconds")), true;
        if (depth > 0)
            return ok(), true;
        s->mPaused = true;
        mPaused.append(s);
        s->hold(ms);
        return false;
    } else if (cmd == QLatin1String("resume")) {
        const auto paused = mPaused;
        mPaused.clear();
        ok(QString::number(paused.size()));
        for (const auto& p : paused)
            if (p)
                QTimer::singleShot(0, p.data(), [p] {
                    if (p)
                        p->vqResume();
                });
    } else if (cmd == QLatin1String("load") && n == 2) {
        QString e;
        if (!vqLoad(w[1], &e))
            return err(e), true;
        ok();
    } else if (cmd == QLatin1String("steps")) {
        for (auto it = mSteps.cbegin(); it != mSteps.cend(); ++it)
            *out << QStringLiteral("step ") + it.key();
        ok();
    } else if (cmd == QLatin1String("state") && n == 2) {
        if (!mSteps.contains(w[1]))
            return err(QStringLiteral("no state ") + w[1]), true;
        if (depth >= kMaxDepth)
            return err(QStringLiteral("states nested too deep")), true;
        const QString saved = s->current;
        for (const QString& l : mSteps.value(w[1])) {
            QStringList sub;
            vqRun(s, l, &sub, depth + 1);
            if (!sub.isEmpty() && sub.last().startsWith(QLatin1String("err "))) {
                s->current = saved;
                return err(QStringLiteral("state %1: %2: %3").arg(w[1], l, sub.last().mid(4))), true;
            }
        }
        s->current = saved;
        ok();
    } else if (cmd == QLatin1String("play") && (n == 2 || n == 3)) {
        QString e;
        if (!vqPlay(w[1], w.value(2), &e))
            return err(e), true;
        ok();
    } else if (cmd == QLatin1String("quit")) {
        ok();
        vqQuit();
    } else if (CvqSimPrinter::vqIsPrinterCommand(cmd)) {
        CvqSimPrinter* p = mPrinters.value(target);
        if (!p)
            return err(QStringLiteral("no printer ") + target), true;
        const QString e = p->vqControl(w, out);
        if (e.isEmpty())
            ok();
        else
            err(e);
    } else if (kGlobalWords.contains(cmd)) {
        err(QStringLiteral("bad arguments for ") + cmd);
    } else {
        err(QStringLiteral("unknown command ") + cmd);
    }
    return true;
}
