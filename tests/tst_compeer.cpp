#include "tst_compeer.h"

#include <cerrno>
#include <vector>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
const char kHead[4] = {'\x19', '\x73', '\x10', '\x19'};
const char kTail[4] = {'\x19', '\x79', '\x04', '\x02'};

quint32 le32(const char* p)
{
    const uchar* u = reinterpret_cast<const uchar*>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}
}  // namespace

CvqPeerBody& CvqPeerBody::u8(quint8 v)
{
    b.append(char(v));
    return *this;
}

CvqPeerBody& CvqPeerBody::u32(quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return *this;
}

CvqPeerBody& CvqPeerBody::str(const QByteArray& utf8)
{
    b.append(utf8);
    b.append('\0');
    return *this;
}

CvqPeerBody& CvqPeerBody::raw(const QByteArray& bytes)
{
    b.append(bytes);
    return *this;
}

QByteArray vqPeerFrame(quint8 type, quint8 id, quint8 flags, const QByteArray& body, qint64 mainLen)
{
    const quint32 len = mainLen < 0 ? quint32(4 + body.size()) : quint32(mainLen);
    CvqPeerBody f;
    f.raw(QByteArray(kHead, 4)).u32(len).u8(type).u8(0).u8(id).u8(flags).raw(body).raw(QByteArray(kTail, 4));
    return f.b;
}

quint8 CvqPeerReader::u8()
{
    if (!ok || pos + 1 > b.size()) {
        ok = false;
        return 0;
    }
    return quint8(b.at(pos++));
}

quint32 CvqPeerReader::u32()
{
    if (!ok || pos + 4 > b.size()) {
        ok = false;
        return 0;
    }
    const quint32 v = le32(b.constData() + pos);
    pos += 4;
    return v;
}

QByteArray CvqPeerReader::str()
{
    const int zero = ok ? b.indexOf('\0', pos) : -1;
    if (zero < 0) {
        ok = false;
        return QByteArray();
    }
    const QByteArray s = b.mid(pos, zero - pos);
    pos = zero + 1;
    return s;
}

QByteArray CvqPeerReader::bytes(int n)
{
    if (!ok || n < 0 || pos + n > b.size()) {
        ok = false;
        return QByteArray();
    }
    const QByteArray s = b.mid(pos, n);
    pos += n;
    return s;
}

// --- the pseudo-terminal peer ---

CvqPtyPeer::CvqPtyPeer() = default;

CvqPtyPeer::~CvqPtyPeer() { stop(); }

bool CvqPtyPeer::start(Handler handler)
{
    struct termios raw;
    std::memset(&raw, 0, sizeof raw);
    cfmakeraw(&raw);
    char name[256] = {0};
    if (openpty(&mMaster, &mSlave, name, &raw, nullptr) != 0)
        return false;
    // The slave stays open here too, so the master never reads a hang-up
    // between two opens of the link.
    mSlavePath = QString::fromLocal8Bit(name);
    ::fcntl(mMaster, F_SETFL, ::fcntl(mMaster, F_GETFL) | O_NONBLOCK);
    mHandler = std::move(handler);
    mStop = false;
    mThread = std::thread([this] { run(); });
    return true;
}

void CvqPtyPeer::stop()
{
    mStop = true;
    if (mThread.joinable())
        mThread.join();
    if (!mHungUp.exchange(true)) {
        ::close(mMaster);
        ::close(mSlave);
    }
}

void CvqPtyPeer::hangUp()
{
    std::lock_guard<std::mutex> lock(mWriteMutex);
    if (mHungUp.exchange(true))
        return;
    ::close(mMaster);
    ::close(mSlave);
}

void CvqPtyPeer::send(const QByteArray& bytes, int piece)
{
    std::lock_guard<std::mutex> lock(mWriteMutex);
    const int step = piece > 0 ? piece : bytes.size();
    for (int at = 0; at < bytes.size(); at += step) {
        const int n = qMin(step, bytes.size() - at);
        int done = 0;
        while (done < n) {
            if (mHungUp || mStop)
                return;
            const ssize_t w = ::write(mMaster, bytes.constData() + at + done, size_t(n - done));
            if (w > 0) {
                done += int(w);
                continue;
            }
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0 && errno == EAGAIN) {
                // The link is not reading: wait, but let stop() end us.
                struct pollfd p = {mMaster, POLLOUT, 0};
                ::poll(&p, 1, 20);
                continue;
            }
            return;
        }
        if (piece > 0)
            ::usleep(300);  // let the link see the pieces apart
    }
}

void CvqPtyPeer::run()
{
    QByteArray buf;
    std::vector<char> in(1 << 16);
    while (!mStop && !mHungUp) {
        struct pollfd p = {mMaster, POLLIN, 0};
        const int r = ::poll(&p, 1, 20);
        if (r <= 0 || mHungUp)
            continue;
        const ssize_t n = ::read(mMaster, in.data(), in.size());
        if (n <= 0) {
            ::usleep(1000);
            continue;
        }
        mReceived += n;
        buf.append(in.data(), int(n));
        for (;;) {
            const int at = buf.indexOf(QByteArray::fromRawData(kHead, 4));
            if (at < 0) {
                if (buf.size() > 3)
                    buf.remove(0, buf.size() - 3);
                break;
            }
            if (at > 0)
                buf.remove(0, at);
            if (buf.size() < 16)
                break;
            const quint32 len = le32(buf.constData() + 4);
            if (len < 4 || len > (1u << 24)) {
                buf.remove(0, 4);
                continue;
            }
            if (quint32(buf.size()) < 12 + len)
                break;
            if (std::memcmp(buf.constData() + 8 + len, kTail, 4) != 0) {
                buf.remove(0, 4);
                continue;
            }
            CvqPeerFrame f;
            f.type = quint8(buf.at(8));
            f.ver = quint8(buf.at(9));
            f.id = quint8(buf.at(10));
            f.flags = quint8(buf.at(11));
            f.body = buf.mid(12, int(len) - 4);
            f.raw = buf.left(12 + int(len));
            buf.remove(0, 12 + int(len));
            ++mRequests;
            if (mHandler)
                mHandler(f, *this);
            if (mHungUp)
                return;
        }
    }
}

// --- the fake printer service ---

void CvqFakePrinter::setFile(const QString& path, const QByteArray& data)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mFiles.insert(path, data);
}

QByteArray CvqFakePrinter::file(const QString& path) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mFiles.value(path);
}

bool CvqFakePrinter::hasFile(const QString& path) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mFiles.contains(path);
}

void CvqFakePrinter::setCommand(const QByteArray& cmd, const Command& c)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mCommands.insert(cmd, c);
}

QList<int> CvqFakePrinter::putChunks() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mPutChunks;
}

QList<quint32> CvqFakePrinter::getOffsets() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mGetOffsets;
}

int CvqFakePrinter::delAttempts() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mDelAttempts;
}

QList<quint8> CvqFakePrinter::ids() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mIds;
}

void CvqFakePrinter::clearLog()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mPutChunks.clear();
    mGetOffsets.clear();
    mIds.clear();
    mDelAttempts = 0;
    mGets = 0;
}

void CvqFakePrinter::vqServe(const CvqPeerFrame& req, CvqPtyPeer& peer)
{
    CvqPeerReader r(req.body);
    CvqPeerBody out;
    const auto echo = [this](const QByteArray& p) { return wrongPath ? p + "x" : p; };
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mIds << req.id;
        switch (req.type) {
        case 1:
            break;
        case 200: {
            const quint32 n = r.u32();
            const QByteArray pattern = r.bytes(int(n));
            for (int i = 0; r.ok && i < pattern.size(); ++i)
                r.ok = quint8(pattern.at(i)) == quint8(i);
            if (!r.ok || n != 1024)
                return;  // a broken bulk test gets no answer
            break;
        }
        case 10: {
            const QByteArray path = r.str();
            const quint32 off = r.u32();
            const quint32 len = r.u32();
            const QByteArray data = r.bytes(int(len));
            if (!r.ok || r.pos != req.body.size())
                return;
            mPutChunks << int(len);
            const int st = putStatus;
            if (st == 0) {
                QByteArray& f = mFiles[QString::fromUtf8(path)];
                if (quint32(f.size()) < off + len)
                    f.resize(int(off + len));
                std::memcpy(f.data() + off, data.constData(), len);
            }
            out.u8(quint8(st)).str(st ? "refused" : "").str(echo(path)).u32(off + quint32(int(offsetDelta)))
                .u32(len + quint32(int(lengthDelta)));
            break;
        }
        case 11: {
            const QByteArray path = r.str();
            const quint32 off = r.u32();
            const quint32 cnt = r.u32();
            if (!r.ok)
                return;
            mGetOffsets << off;
            if (mGets++ == hangUpAfterGets) {
                peer.hangUp();
                return;
            }
            const QString key = QString::fromUtf8(path);
            out.u8(0);
            if (!mFiles.contains(key) && !getEndless) {
                out.b[0] = 2;
                out.str("no such file").str(echo(path)).u32(off + quint32(int(offsetDelta)))
                    .u32(cnt + quint32(int(lengthDelta)));
                break;
            }
            out.str("").str(echo(path)).u32(off + quint32(int(offsetDelta))).u32(cnt + quint32(int(lengthDelta)));
            if (getEndless) {
                out.u8(0).u32(1024).raw(QByteArray(1024, 'z'));
                break;
            }
            const QByteArray& f = mFiles[key];
            const QByteArray chunk = f.mid(int(off), int(cnt));
            const bool last = !getEndsWithEmpty && qint64(off) + chunk.size() >= f.size();
            out.u8(last ? 1 : 0).u32(quint32(chunk.size())).raw(chunk);
            break;
        }
        case 13: {
            const QByteArray path = r.str();
            if (!r.ok)
                return;
            ++mDelAttempts;
            quint8 st = 0;
            if (delFailures > 0) {
                --delFailures;
                st = 1;
            } else if (!mFiles.remove(QString::fromUtf8(path))) {
                st = 2;
            }
            out.u8(st).str(st ? "cannot delete" : "").str(echo(path));
            break;
        }
        case 14: {
            const QByteArray path = r.str();
            if (!r.ok)
                return;
            out.u8(mFiles.contains(QString::fromUtf8(path)) ? 0 : 1).str("").str(echo(path));
            break;
        }
        case 15: {
            const QByteArray cmd = r.str();
            if (!r.ok)
                return;
            Command unknown;
            unknown.status = 1;
            unknown.err = "unknown command";
            const Command c = mCommands.value(cmd, unknown);
            out.u8(c.status).str(c.err).str(echo(cmd)).u8(c.inFile).str(c.text);
            break;
        }
        case 16: {
            const QByteArray cmd = r.str();
            if (!r.ok)
                return;
            out.u8(0).str("").str(echo(cmd));
            break;
        }
        default:
            return;
        }
    }
    QByteArray resp = vqPeerFrame(req.type, req.id, 1, out.b);
    if (echoRequestFirst)
        resp.prepend(req.raw);
    peer.send(resp, piece);
}
