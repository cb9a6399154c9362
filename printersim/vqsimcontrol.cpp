#include "vqsimcontrol.h"
#include "vqsimprinter.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <memory>

static const int kMaxScenarioBytes = 1024 * 1024;
static const int kMaxScenarios = 16;
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
        if (quoted && c == '\\' && i + 1 < line.size())
            cur += line[++i] == 'n' ? QChar('\n') : line[i];
        else if (c == '"')
            quoted = !quoted, inWord = true;
        else if (quoted || !c.isSpace())
            cur += c, inWord = true;
        else if (inWord)
            words->append(cur), cur.clear(), inWord = false;
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
        lines << QString::fromUtf8(buf->left(qMin(nl, CvqSimControl::kMaxLine + 1))).remove('\r');
    if (buf->size() > CvqSimControl::kMaxLine) {
        lines << QString::fromUtf8(buf->left(CvqSimControl::kMaxLine + 1));
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
        mCond = nullptr, mBusy = false;
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
    if (!mBusy && drained)
        std::exchange(drained, nullptr)();
}

void CvqSimSession::vqHold(int ms, std::function<int()> cond)
{
    mCond = std::move(cond);
    mDeadline.setRemainingTime(qBound(1, ms, kMaxHoldMs));
    mTmr.start(20);
}

// ---- printers

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
        queues << p->mQueue;
        sns << p->mSn;
        port = qMax(port, p->mUsbPort);
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
    if (!p->vqStart(error))
        return p->vqRemoveFromTree(), false;
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
    auto* session = new CvqSimSession(
        this, [this](const QString& l) { vqPrint(l); }, file, this);
    ++mScenarios;
    session->drained = [this, session] {
        session->deleteLater();
        --mScenarios;
    };
    // Fed from the event loop so that the caller's reply comes first.
    QTimer::singleShot(0, session, [session, lines] { session->vqFeed(lines); });
    return QString();
}

// ---- scenario files

// The steps (each "step NAME" line starts one) and every line in order; false
// at the first line that is no command a scenario may hold.
bool CvqSimControl::vqParseScenario(const QString& file, QMap<QString, QStringList>* steps, QStringList* all,
                                    QString* error)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxScenarioBytes)
        return *error = QStringLiteral("cannot read %1 (or larger than 1 MiB)").arg(file), false;
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
        if (!split || !vqVerb(verb) || verb == QLatin1String("state") || verb == QLatin1String("play"))
            return *error =
                       QStringLiteral("%1:%2: not a scenario line: %3").arg(file).arg(i + 1).arg(lines[i].trimmed()),
                   false;
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
    return vqParseScenario(file, &steps, &all, error) && (mSteps.insert(steps), true);
}

// ---- where the lines come from

QString CvqSimControl::vqListen(quint16 port, QString* error)
{
    auto* server = new QTcpServer(this);
    if (!server->listen(QHostAddress::LocalHost, port))
        return *error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(server->errorString()),
               QString();
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
