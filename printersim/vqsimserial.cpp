#include "vqsimserial.h"

#include "printerlink/vqcommsg.h"
#include "vqsimrequests.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// Bytes the printer keeps waiting for a PC that does not read.
static const qint64 kMaxQueued = 2 * 1024 * 1024;
// Unread answers older than this are stale.
static const qint64 kStaleMs = 2000;

CvqSimSerial::CvqSimSerial(CvqSimRequests* printer) : mPrinter(printer)
{
    mDelayTmr.setSingleShot(true);
    connect(&mDelayTmr, &QTimer::timeout, this, [this] {
        mDelayDone = true;
        pump();
    });
}

QString CvqSimSerial::vqSetFault(const QStringList& args)
{
    return mFault.vqSet(args,
                        {"pieces", "noise", "splithead", "garbled", "oversize", "echo", "stale", "truncated",
                         "wrongecho", "wrongoffset", "late", "silence"},
                        {{"size", {1, 600000}}, {"gap", {0, 600000}}}, {"types"});
}

void CvqSimSerial::vqClose()
{
    delete mReadNote;
    delete mWriteNote;
    mReadNote = mWriteNote = nullptr;
    ::close(mMaster);
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
    // Raw, so nothing is echoed or translated. Holding the slave open keeps the
    // master readable (no hang-up) while no PC has the port open.
    termios raw = {};
    ::cfmakeraw(&raw);
    char name[256] = {};
    if (::openpty(&mMaster, &mSlave, name, &raw, nullptr) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: ") + QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    mPath = QString::fromLocal8Bit(name);
    ::fcntl(mMaster, F_SETFL, ::fcntl(mMaster, F_GETFL) | O_NONBLOCK);
    mReadNote = new QSocketNotifier(mMaster, QSocketNotifier::Read);
    connect(mReadNote, &QSocketNotifier::activated, this, &CvqSimSerial::onReadable);
    mWriteNote = new QSocketNotifier(mMaster, QSocketNotifier::Write);
    mWriteNote->setEnabled(false);
    connect(mWriteNote, &QSocketNotifier::activated, this, [this] {
        mWriteNote->setEnabled(false);
        pump();
    });
    return true;
}

// Bytes the printer may take from the PC now at the link's rate (VQ_SIM_SERIAL_BPS,
// e.g. 1000000 for USB full speed; 0: as fast as the pseudo-terminal goes);
// false, with the reading paused for a while, when none.
bool CvqSimSerial::readAllowed(qint64* want)
{
    static const qint64 rate = qMax(0, qEnvironmentVariableIntValue("VQ_SIM_SERIAL_BPS"));
    if (rate == 0)
        return true;
    // A bucket of at most 10 ms of bytes: an idle link saves up no burst.
    if (!mRateClock.isValid())
        mRateClock.start();
    const qint64 now = mRateClock.elapsed();
    mRateCredit = qMin(rate / 100, mRateCredit + (now - mRateAt) * rate / 1000);
    mRateAt = now;
    if (mRateCredit <= 0) {
        mReadNote->setEnabled(false);
        QTimer::singleShot(int(1 - mRateCredit * 1000 / rate), this, [this] { mReadNote->setEnabled(true); });
        return false;
    }
    *want = qMin(*want, mRateCredit);
    return true;
}

void CvqSimSerial::onReadable()
{
    char buf[8192];
    // A bounded share per wake-up, so a flooding PC cannot starve the rest.
    for (int round = 0; round < 64; ++round) {
        qint64 want = sizeof buf;
        if (!readAllowed(&want))
            return;
        const ssize_t n = ::read(mMaster, buf, size_t(want));
        if (n <= 0)
            break;
        mRateCredit -= n;
        mReader.vqFeed(QByteArray(buf, int(n)));
        // Our own answers echoed back, or anything flagged as an answer, get none.
        for (CvqSimMsg req; mReader.vqNext(&req);)
            if (mPrinter->vqPlugged(QStringLiteral("serial")) && !req.vqIsResponse())
                handle(req);
    }
}

// Every answer of types 10 to 16 starts with a status byte, its text and the echo.
static CvqSimBodyWriter& common(CvqSimBodyWriter& w, quint8 status, const QString& echo)
{
    return w.vqU8(status).vqStr(vqsimstatus::vqText(status)).vqStr(echo);
}

void CvqSimSerial::handle(const CvqSimMsg& req)
{
    ++mRequests;
    QString note;
    const QByteArray body = answerBody(req, &note);
    mPrinter->vqNoteRequest(QStringLiteral("serial type=%1 id=%2").arg(req.type).arg(req.id) + note);
    // Answers left unread for long belong to an exchange a PC gave up (or to a
    // PC that has gone): drop them. Recent ones may still be read by a PC that
    // sends several requests at once.
    if (mOut.isEmpty() && mLastWrite.isValid() && mLastWrite.elapsed() > kStaleMs)
        ::tcflush(mSlave, TCIFLUSH);
    answer(req, {req.type, req.ver, req.id, 1, body});
}

QByteArray CvqSimSerial::answerBody(const CvqSimMsg& req, QString* note)
{
    CvqSimBodyReader in(req.body);
    CvqSimBodyWriter w;
    switch (req.type) {
    case vqMsgTestLink: return QByteArray();
    case vqMsgTestBulk: {  // 1024 pattern bytes 0, 1, 2 … that must arrive intact
        quint32 len = 0;
        QByteArray data;
        bool good = in.vqU32(&len) && len == 1024 && in.vqBytes(1024, &data);
        for (int i = 0; good && i < data.size(); ++i)
            good = quint8(data[i]) == quint8(i);
        return common(w, good ? vqsimstatus::Ok : vqsimstatus::BadRequest, QString()).body;
    }
    case vqMsgPutChunk: return putChunk(in, note);
    case vqMsgGetChunk: return getChunk(in, note);
    case vqMsgDelFile:
    case vqMsgHasFile: return fileQuery(req.type, in, note);
    case vqMsgExe:
    case vqMsgExeAlong: return execute(req.type, in, note);
    default: return common(w, vqsimstatus::Unsupported, QString()).body;
    }
}

static QString chunkNote(const QString& path, quint32 off, quint32 len)
{
    return QStringLiteral(" path=%1 offset=%2 length=%3").arg(path).arg(off).arg(len);
}

QByteArray CvqSimSerial::putChunk(CvqSimBodyReader& in, QString* note)
{
    QString path;
    quint32 off = 0, len = 0;
    QByteArray data;
    quint8 status = vqsimstatus::BadRequest;
    const bool chunk = in.vqStr(&path) && in.vqU32(&off) && in.vqU32(&len);
    if (chunk && (len == 0 || in.vqBytes(int(qMin<quint32>(len, vqsim::kMaxBody)), &data)) && data.size() == int(len))
        status = mPrinter->vqWrite(path, off, data);
    *note = chunkNote(path, off, len);
    CvqSimBodyWriter w;
    return common(w, status, path).vqU32(off).vqU32(len).body;
}

// What fits in one frame after the fields around it.
QByteArray CvqSimSerial::getChunk(CvqSimBodyReader& in, QString* note)
{
    QString path;
    quint32 off = 0, len = 0;
    QByteArray data;
    const bool chunk = in.vqStr(&path) && in.vqU32(&off) && in.vqU32(&len);
    quint8 status = chunk ? mPrinter->vqGet(path, &data) : quint8(vqsimstatus::BadRequest);
    if (status == vqsimstatus::Ok && off > quint32(data.size()))
        status = vqsimstatus::BadOffset;
    *note = chunkNote(path, off, len);
    CvqSimBodyWriter w;
    common(w, status, path).vqU32(off).vqU32(len);
    const int room = vqsim::kMaxBody - w.body.size() - 5;
    const int count = int(qMin<qint64>(qMin<qint64>(len, data.size() - qint64(off)), room));
    if (status == vqsimstatus::Ok)
        w.vqU8(qint64(off) + count >= data.size() ? 1 : 0).vqU32(quint32(count)).vqBytes(data.mid(int(off), count));
    return w.body;
}

// Delete, or does it exist.
QByteArray CvqSimSerial::fileQuery(quint8 type, CvqSimBodyReader& in, QString* note)
{
    QString path;
    quint8 status = vqsimstatus::BadRequest;
    const bool named = in.vqStr(&path);
    if (named && type == vqMsgDelFile)
        status = mPrinter->vqRemove(path);
    else if (named)
        status = mPrinter->vqHas(path) ? quint8(vqsimstatus::Ok) : quint8(vqsimstatus::NotFound);
    *note = QStringLiteral(" path=") + path;
    CvqSimBodyWriter w;
    return common(w, status, path).body;
}

// Run, and answer the output (inline, or the name of a file holding it), or run along.
QByteArray CvqSimSerial::execute(quint8 type, CvqSimBodyReader& in, QString* note)
{
    QString cmd, file;
    const bool named = in.vqStr(&cmd);
    const CvqSimExeResult r = named ? mPrinter->vqExecute(cmd) : CvqSimExeResult::vqFail(vqsimstatus::BadRequest);
    *note = QStringLiteral(" cmd=") + cmd;
    CvqSimBodyWriter w;
    const quint8 kept = named && type == vqMsgExe ? mPrinter->vqKeepOutput(r.output.toUtf8(), &file) : quint8(0);
    if (kept != vqsimstatus::Ok)
        return common(w, kept, cmd).vqU8(0).vqStr(QString()).body;
    w.vqU8(r.status).vqStr(r.err).vqStr(cmd);
    if (type == vqMsgExe && file.isEmpty())
        w.vqU8(0).vqStr(r.output);
    else if (type == vqMsgExe)
        w.vqU8(1).vqStr(file);
    return w.body;
}

// ---- disturbed answers

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

void CvqSimSerial::answer(const CvqSimMsg& req, CvqSimMsg resp)
{
    const QString types = mFault.vqText("types");
    const bool taken = (types.isNull() || types.split(',').contains(QString::number(resp.type))) && mFault.vqTakes();
    auto has = [this, taken](const char* kind) { return taken && mFault.vqHas(kind); };
    const int delay = has("late") ? int(mFault.vqNumber("delay", 6000)) : 0;
    const int gap = int(mFault.vqNumber("gap", 2)), size = int(mFault.vqNumber("size", 1));
    if (has("wrongecho") || has("wrongoffset"))
        resp.body = replaceEcho(resp.body, has("wrongecho"),
                                has("wrongoffset") && (resp.type == vqMsgPutChunk || resp.type == vqMsgGetChunk));
    if (has("truncated"))
        resp.body.truncate(qMin(resp.body.size(), 1));

    QByteArray pre;
    if (has("noise"))
        pre += QByteArray("NOISE\x19\x73\x10\x00\xff\x19\x73", 12);
    if (has("oversize"))
        pre += vqSimEncodeRaw(5000, {resp.type, resp.ver, resp.id, resp.flags, QByteArray(8, 'O')}, QByteArray());
    if (has("echo"))
        pre += vqSimEncodeFrame(req);
    if (has("stale"))
        pre += vqSimEncodeFrame({resp.type, resp.ver, quint8(resp.id - 1), resp.flags, resp.body});
    if (has("garbled"))
        pre += vqSimEncodeRaw(quint32(resp.body.size() + 4), resp, QByteArray::fromHex("19790403"));

    const QByteArray frame = has("silence") ? QByteArray() : vqSimEncodeFrame(resp);
    const QByteArray all = pre + frame;
    if (has("pieces")) {
        for (int i = 0; i < all.size(); i += size)
            enqueue(all.mid(i, size), i == 0 ? delay : gap);
    } else if (has("splithead") && !frame.isEmpty()) {
        enqueue(pre + frame.left(2), delay);
        enqueue(frame.mid(2), qMax(gap, 20));
    } else if (!all.isEmpty()) {
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

void CvqSimSerial::pump()
{
    while (!mOut.isEmpty() && !mDelayTmr.isActive()) {
        Segment& seg = mOut.first();
        if (seg.delayMs > 0 && !mDelayDone) {
            mDelayTmr.start(seg.delayMs);
            return;
        }
        const ssize_t n = ::write(mMaster, seg.bytes.constData(), size_t(seg.bytes.size()));
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            mWriteNote->setEnabled(true);
            return;
        }
        if (n < 0) {
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
