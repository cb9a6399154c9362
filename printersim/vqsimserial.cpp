#include "vqsimserial.h"
#include "vqsimoptions.h"
#include "vqsimprinter.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

// Bytes the printer keeps waiting for a PC that does not read.
static const qint64 kMaxQueued = 2 * 1024 * 1024;
// Unread answers older than this are stale.
static const qint64 kStaleMs = 2000;

CvqSimSerial::CvqSimSerial(CvqSimPrinter* printer) : mPrinter(printer)
{
    mDelayTmr.setSingleShot(true);
    connect(&mDelayTmr, &QTimer::timeout, this, [this] {
        mDelayDone = true;
        pump();
    });
}

CvqSimSerial::~CvqSimSerial() { vqClose(); }

void CvqSimSerial::vqClose()
{
    delete mReadNote;
    delete mWriteNote;
    mReadNote = mWriteNote = nullptr;
    if (mMaster >= 0)
        ::close(mMaster);
    if (mSlave >= 0)
        ::close(mSlave);
    mMaster = mSlave = -1;
    mPath.clear();
    mReader.vqClear();
    mOut.clear();
    mOutBytes = 0;
    mDelayTmr.stop();
}

bool CvqSimSerial::vqOpen(QString* error)
{
    mMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (mMaster < 0 || ::grantpt(mMaster) != 0 || ::unlockpt(mMaster) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: ") + QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    char name[128] = {};
    if (::ptsname_r(mMaster, name, sizeof name) != 0) {
        *error = QStringLiteral("cannot name the pseudo-terminal");
        return false;
    }
    mPath = QString::fromLocal8Bit(name);
    // Holding the slave open keeps the master readable (no hang-up) while no
    // PC has the port open; raw mode so nothing is echoed or translated.
    mSlave = ::open(name, O_RDWR | O_NOCTTY);
    if (mSlave < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(mPath, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    termios tio;
    if (::tcgetattr(mSlave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(mSlave, TCSANOW, &tio);
    }
    ::fcntl(mMaster, F_SETFL, ::fcntl(mMaster, F_GETFL) | O_NONBLOCK);
    mReadNote = new QSocketNotifier(mMaster, QSocketNotifier::Read);
    connect(mReadNote, &QSocketNotifier::activated, this, &CvqSimSerial::onReadable);
    mWriteNote = new QSocketNotifier(mMaster, QSocketNotifier::Write);
    mWriteNote->setEnabled(false);
    connect(mWriteNote, &QSocketNotifier::activated, this, &CvqSimSerial::onWritable);
    return true;
}

QString CvqSimSerial::vqSetFault(const QStringList& args)
{
    static const QStringList kinds = {
        QStringLiteral("pieces"),      QStringLiteral("noise"),     QStringLiteral("splithead"),
        QStringLiteral("garbled"),     QStringLiteral("oversize"),  QStringLiteral("echo"),
        QStringLiteral("stale"),       QStringLiteral("truncated"), QStringLiteral("wrongecho"),
        QStringLiteral("wrongoffset"), QStringLiteral("late"),      QStringLiteral("silence"),
    };
    Fault f;
    for (const QString& k : args.value(0).split(',', Qt::SkipEmptyParts)) {
        if (!kinds.contains(k))
            return QStringLiteral("unknown link fault ") + k;
        f.kinds.insert(k);
    }
    if (f.kinds.isEmpty())
        return QStringLiteral("no link fault given");
    const CvqSimOptions opts(args, 1);
    for (const CvqSimOptions::Item& o : opts.vqItems()) {
        if (o.key == QLatin1String("types")) {
            for (const QString& t : o.value.split(',', Qt::SkipEmptyParts)) {
                bool ok = false;
                const int type = t.toInt(&ok);
                if (!ok || type < 0 || type > 255)
                    return QStringLiteral("bad type ") + t;
                f.types.insert(type);
            }
            continue;
        }
        bool ok = false;
        const int v = o.value.toInt(&ok);
        if (!ok || v < 0 || v > 600000)
            return QStringLiteral("bad value in ") + o.text;
        if (o.key == QLatin1String("count"))
            f.count = v;
        else if (o.key == QLatin1String("after"))
            f.after = v;
        else if (o.key == QLatin1String("size") && v >= 1)
            f.size = v;
        else if (o.key == QLatin1String("gap"))
            f.gap = v;
        else if (o.key == QLatin1String("delay"))
            f.delay = v;
        else
            return QStringLiteral("unknown option ") + o.text;
    }
    f.active = true;
    mFault = f;
    return QString();
}

// Bytes per second the printer takes from the PC (VQ_SIM_SERIAL_BPS, e.g.
// 1000000 for USB full speed); 0: as fast as the pseudo-terminal goes.
static qint64 serialRate()
{
    static const qint64 rate = qMax(0, qEnvironmentVariableIntValue("VQ_SIM_SERIAL_BPS"));
    return rate;
}

void CvqSimSerial::onReadable()
{
    char buf[8192];
    const qint64 rate = serialRate();
    // A bounded share per wake-up, so a flooding PC cannot starve the rest.
    for (int round = 0; round < 64; ++round) {
        qint64 want = sizeof buf;
        if (rate > 0) {
            // A bucket of at most 10 ms of bytes: an idle link saves up no burst.
            if (!mRateClock.isValid())
                mRateClock.start();
            const qint64 now = mRateClock.elapsed();
            mRateCredit = qMin(rate / 100, mRateCredit + (now - mRateAt) * rate / 1000);
            mRateAt = now;
            if (mRateCredit <= 0) {
                mReadNote->setEnabled(false);
                QTimer::singleShot(int(1 - mRateCredit * 1000 / rate), this, [this] { mReadNote->setEnabled(true); });
                return;
            }
            want = qMin(want, mRateCredit);
        }
        const ssize_t n = ::read(mMaster, buf, size_t(want));
        if (n <= 0)
            break;
        mRateCredit -= n;
        mReader.vqFeed(QByteArray(buf, int(n)));
        CvqSimMsg req;
        while (mReader.vqNext(&req)) {
            // An unplugged printer hears nothing.
            if (!mPrinter->vqSerialPlugged())
                continue;
            CvqSimMsg resp;
            if (!handle(req, &resp))
                continue;
            // Answers left unread for long belong to an exchange a PC gave up
            // (or to a PC that has gone): drop them. Recent ones may still be
            // read by a PC that sends several requests at once.
            if (mOut.isEmpty() && mLastWrite.isValid() && mLastWrite.elapsed() > kStaleMs)
                ::tcflush(mSlave, TCIFLUSH);
            answer(vqSimEncodeFrame(req), resp);
        }
    }
}

static QByteArray replaceEcho(const QByteArray& body, bool wrongEcho, bool wrongOffset)
{
    CvqSimBodyReader in(body);
    quint8 status = 0;
    QString err, echo;
    if (!in.vqU8(&status) || !in.vqStr(&err) || !in.vqStr(&echo))
        return body;
    CvqSimBodyWriter w;
    w.vqU8(status).vqStr(err).vqStr(wrongEcho ? echo + QStringLiteral("x") : echo);
    quint32 off = 0;
    if (wrongOffset && in.vqU32(&off))
        w.vqU32(off + 1);
    QByteArray rest;
    in.vqBytes(in.vqRemaining(), &rest);
    return w.body + rest;
}

void CvqSimSerial::answer(const QByteArray& rawReq, CvqSimMsg resp)
{
    bool apply = false;
    if (mFault.active && (mFault.types.isEmpty() || mFault.types.contains(resp.type))) {
        if (mFault.after > 0) {
            --mFault.after;
        } else {
            apply = true;
            if (mFault.count > 0 && --mFault.count == 0)
                mFault.active = false;
        }
    }
    const QSet<QString> k = apply ? mFault.kinds : QSet<QString>();
    const int delay = k.contains(QStringLiteral("late")) ? mFault.delay : 0;

    if (k.contains(QStringLiteral("wrongecho")) || k.contains(QStringLiteral("wrongoffset")))
        resp.body = replaceEcho(resp.body, k.contains(QStringLiteral("wrongecho")),
                                k.contains(QStringLiteral("wrongoffset")) && (resp.type == 10 || resp.type == 11));
    if (k.contains(QStringLiteral("truncated")))
        resp.body.truncate(qMin(resp.body.size(), 1));

    QByteArray pre;
    if (k.contains(QStringLiteral("noise")))
        pre += QByteArray("NOISE\x19\x73\x10\x00\xff\x19\x73", 12);
    if (k.contains(QStringLiteral("oversize"))) {
        CvqSimMsg big = resp;
        big.body = QByteArray(8, 'O');
        pre += vqSimEncodeRaw(5000, big, QByteArray());
    }
    if (k.contains(QStringLiteral("echo")))
        pre += rawReq;
    if (k.contains(QStringLiteral("stale"))) {
        CvqSimMsg old = resp;
        old.id = quint8(resp.id - 1);
        pre += vqSimEncodeFrame(old);
    }
    if (k.contains(QStringLiteral("garbled")))
        pre += vqSimEncodeRaw(quint32(resp.body.size() + 4), resp, QByteArray::fromHex("19790403"));

    QByteArray frame = k.contains(QStringLiteral("silence")) ? QByteArray() : vqSimEncodeFrame(resp);
    QByteArray all = pre + frame;
    if (all.isEmpty())
        return;
    if (k.contains(QStringLiteral("pieces"))) {
        bool first = true;
        for (int i = 0; i < all.size(); i += mFault.size) {
            enqueue(all.mid(i, mFault.size), first ? delay : mFault.gap);
            first = false;
        }
    } else if (k.contains(QStringLiteral("splithead")) && !frame.isEmpty()) {
        enqueue(pre + frame.left(2), delay);
        enqueue(frame.mid(2), qMax(mFault.gap, 20));
    } else {
        enqueue(all, delay);
    }
}

void CvqSimSerial::enqueue(const QByteArray& bytes, int delayMs)
{
    if (mOutBytes + bytes.size() > kMaxQueued)
        return;
    const bool idle = mOut.isEmpty();
    mOut.append({bytes, delayMs});
    mOutBytes += bytes.size();
    if (idle) {
        mDelayDone = false;
        pump();
    }
}

void CvqSimSerial::onWritable()
{
    mWriteNote->setEnabled(false);
    pump();
}

void CvqSimSerial::pump()
{
    while (!mOut.isEmpty()) {
        if (mDelayTmr.isActive())
            return;
        Segment& seg = mOut.first();
        if (seg.delayMs > 0 && !mDelayDone) {
            mDelayTmr.start(seg.delayMs);
            return;
        }
        const ssize_t n = ::write(mMaster, seg.bytes.constData(), size_t(seg.bytes.size()));
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                mWriteNote->setEnabled(true);
                return;
            }
            // The terminal is gone: nothing can be delivered.
            mOut.clear();
            mOutBytes = 0;
            return;
        }
        mOutBytes -= n;
        if (n < seg.bytes.size()) {
            seg.bytes.remove(0, int(n));
            seg.delayMs = 0;
            mWriteNote->setEnabled(true);
            return;
        }
        mOut.removeFirst();
        mDelayDone = false;
        mLastWrite.start();
    }
}

// ---- the requests

bool CvqSimSerial::handle(const CvqSimMsg& req, CvqSimMsg* resp)
{
    // Our own answers echoed back, or anything flagged as an answer, get none.
    if (req.vqIsResponse())
        return false;
    ++mRequests;
    CvqSimFs& fs = mPrinter->fs();
    resp->type = req.type;
    resp->ver = req.ver;
    resp->id = req.id;
    resp->flags = 1;
    CvqSimBodyReader in(req.body);
    CvqSimBodyWriter w;
    auto common = [&w](quint8 status, const QString& echo) {
        w.vqU8(status).vqStr(vqsimstatus::vqText(status)).vqStr(echo);
    };
    QString path;
    switch (req.type) {
    case 1: mPrinter->vqNoteHistory(QStringLiteral("serial type=1 id=%1").arg(req.id)); break;
    case 200: {
        quint32 len = 0;
        QByteArray data;
        bool good = in.vqU32(&len) && len == 1024 && in.vqBytes(1024, &data);
        for (int i = 0; good && i < data.size(); ++i)
            good = quint8(data[i]) == quint8(i);
        mPrinter->vqNoteHistory(QStringLiteral("serial type=200 id=%1").arg(req.id));
        common(good ? vqsimstatus::Ok : vqsimstatus::BadRequest, QString());
        break;
    }
    case 10: {
        quint32 off = 0, len = 0;
        QByteArray data;
        bool good = in.vqStr(&path) && in.vqU32(&off) && in.vqU32(&len);
        good = good && (len == 0 || in.vqBytes(int(qMin<quint32>(len, vqsim::kMaxBody)), &data))
            && data.size() == int(len);
        mPrinter->vqNoteHistory(
            QStringLiteral("serial type=10 id=%1 path=%2 offset=%3 length=%4").arg(req.id).arg(path).arg(off).arg(len));
        quint8 status = vqsimstatus::BadRequest;
        if (good && mPrinter->vqRefuse("put", path))
            status = vqsimstatus::Refused;
        else if (good)
            status = quint8(fs.vqWrite(path, off, data));
        common(status, path);
        w.vqU32(off).vqU32(len);
        break;
    }
    case 11: {
        quint32 off = 0, want = 0;
        const bool good = in.vqStr(&path) && in.vqU32(&off) && in.vqU32(&want);
        mPrinter->vqNoteHistory(QStringLiteral("serial type=11 id=%1 path=%2 offset=%3 length=%4")
                                    .arg(req.id)
                                    .arg(path)
                                    .arg(off)
                                    .arg(want));
        QByteArray data;
        quint8 status = vqsimstatus::BadRequest;
        if (good && mPrinter->vqRefuse("get", path))
            status = vqsimstatus::Refused;
        else if (good)
            status = fs.vqGet(path, &data)
                ? (off > quint32(data.size()) ? vqsimstatus::BadOffset : vqsimstatus::Ok)
                : (CvqSimFs::vqResolve(path).isEmpty() ? vqsimstatus::BadRequest : vqsimstatus::NotFound);
        common(status, path);
        w.vqU32(off).vqU32(want);
        if (status == vqsimstatus::Ok) {
            // What fits in one frame after the fields around it.
            const int room = vqsim::kMaxBody - w.body.size() - 5;
            const int count = int(qMin<qint64>(qMin<qint64>(want, data.size() - qint64(off)), room));
            const bool last = qint64(off) + count >= data.size();
            w.vqU8(last ? 1 : 0).vqU32(quint32(count)).vqBytes(data.mid(int(off), count));
        }
        break;
    }
    case 13:
    case 14: {
        const bool good = in.vqStr(&path);
        mPrinter->vqNoteHistory(QStringLiteral("serial type=%1 id=%2 path=%3").arg(req.type).arg(req.id).arg(path));
        quint8 status = vqsimstatus::BadRequest;
        if (good && CvqSimFs::vqResolve(path).isEmpty())
            status = vqsimstatus::NotFound;
        else if (good && req.type == 13)
            status = mPrinter->vqRefuse("del", path) ? quint8(vqsimstatus::Refused) : quint8(fs.vqRemove(path));
        else if (good)
            status = fs.vqHas(path) ? vqsimstatus::Ok : vqsimstatus::NotFound;
        common(status, path);
        break;
    }
    case 15:
    case 16: {
        const bool good = in.vqStr(&path);
        mPrinter->vqNoteHistory(QStringLiteral("serial type=%1 id=%2 cmd=%3").arg(req.type).arg(req.id).arg(path));
        if (!good) {
            common(vqsimstatus::BadRequest, QString());
            if (req.type == 15)
                w.vqU8(0).vqStr(QString());
            break;
        }
        const CvqSimExeResult r = mPrinter->programs().vqExecute(path);
        w.vqU8(r.status).vqStr(r.err).vqStr(path);
        if (req.type == 16)
            break;
        const QByteArray out = r.output.toUtf8();
        if (!mPrinter->programs().vqOutputToFile(out)) {
            w.vqU8(0).vqStr(r.output);
            break;
        }
        // Long output goes through a file; a few are kept for the PC to fetch.
        const QString file = mPrinter->programs().vqNextOutputFile();
        if (fs.vqPut(file, out) != CvqSimFs::Ok) {
            w = CvqSimBodyWriter();
            common(vqsimstatus::NoSpace, path);
            w.vqU8(0).vqStr(QString());
        } else {
            w.vqU8(1).vqStr(file);
        }
        break;
    }
    default:
        mPrinter->vqNoteHistory(QStringLiteral("serial type=%1 id=%2").arg(req.type).arg(req.id));
        common(vqsimstatus::Unsupported, QString());
        break;
    }
    resp->body = w.body;
    return true;
}
