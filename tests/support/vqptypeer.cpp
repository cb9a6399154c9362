#include "vqptypeer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
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

// Writes all bytes to a non-blocking descriptor, waiting while the other end
// does not read; false on an error or once giveUp() says so.
bool writeAll(int fd, const char* data, int size, const std::function<bool()>& giveUp)
{
    for (int done = 0; done < size;) {
        if (giveUp())
            return false;
        const ssize_t w = ::write(fd, data + done, size_t(size - done));
        if (w > 0) {
            done += int(w);
        } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            struct pollfd p = {fd, POLLOUT, 0};
            ::poll(&p, 1, 20);
        }
    }
    return true;
}
}  // namespace

CvqRawPort::CvqRawPort(const QString& path)
    : mFd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
{
    struct termios t;
    if (mFd >= 0 && ::tcgetattr(mFd, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(mFd, TCSANOW, &t);
    }
}

CvqRawPort::~CvqRawPort()
{
    if (mFd >= 0)
        ::close(mFd);
}

bool CvqRawPort::write(const QByteArray& bytes, int pieces)
{
    const int step = pieces > 0 ? pieces : bytes.size();
    for (int i = 0; i < bytes.size(); i += step) {
        if (!write(bytes.constData() + i, qMin(step, bytes.size() - i)))
            return false;
        if (pieces > 0)
            QThread::msleep(1);
    }
    return true;
}

bool CvqRawPort::write(const char* data, int size)
{
    QElapsedTimer t;
    t.start();
    return writeAll(mFd, data, size, [&t] { return t.elapsed() > 5000; });
}

int CvqRawPort::read(char* data, int size, int timeoutMs)
{
    struct pollfd p = {mFd, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready <= 0)
        return ready;
    const ssize_t n = ::read(mFd, data, size_t(size));
    return n < 0 && (errno == EAGAIN || errno == EINTR) ? 0 : int(n);
}

QByteArray vqPeerU32(quint32 v)
{
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    return QByteArray(b, 4);
}

QByteArray vqPeerFrame(quint8 type, quint8 id, quint8 flags, const QByteArray& body)
{
    const char header[4] = {char(type), 0, char(id), char(flags)};
    return QByteArray(kHead, 4) + vqPeerU32(quint32(4 + body.size())) + QByteArray(header, 4) + body
        + QByteArray(kTail, 4);
}

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
    mThread = std::thread([this] { run(); });
    return true;
}

void CvqPtyPeer::stop()
{
    mStop = true;
    if (mThread.joinable())
        mThread.join();
    if (!mHungUp && mMaster >= 0)
        hangUp();
}

void CvqPtyPeer::hangUp()
{
    ::close(mMaster);
    ::close(mSlave);
    mHungUp = true;
}

bool CvqPtyPeer::send(const QByteArray& bytes)
{
    // The link may not be reading: wait, but let stop() end us.
    return writeAll(mMaster, bytes.constData(), bytes.size(), [this] { return mStop || mHungUp; });
}

void CvqPtyPeer::run()
{
    const QByteArray head = QByteArray::fromRawData(kHead, 4);
    QByteArray buf;
    char in[1 << 16];
    while (!mStop && !mHungUp) {
        struct pollfd p = {mMaster, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = ::read(mMaster, in, sizeof in);
        if (n <= 0) {
            ::usleep(1000);
            continue;
        }
        buf.append(in, int(n));
        for (;;) {
            const int at = buf.indexOf(head);
            if (at < 0) {
                buf = buf.right(3);
                break;
            }
            buf.remove(0, at);
            if (buf.size() < 16)
                break;
            const quint32 len = le32(buf.constData() + 4);
            const bool sane = len >= 4 && len <= 4096;
            if (sane && buf.size() < 12 + int(len))
                break;
            if (!sane || std::memcmp(buf.constData() + 8 + len, kTail, 4) != 0) {
                buf.remove(0, 4);  // not a frame
                continue;
            }
            CvqPeerFrame f;
            f.type = quint8(buf.at(8));
            f.id = quint8(buf.at(10));
            f.body = buf.mid(12, int(len) - 4);
            f.raw = buf.left(12 + int(len));
            buf.remove(0, 12 + int(len));
            mHandler(f, *this);
            if (mHungUp)
                return;
        }
    }
}

void CvqFakePrinter::vqServe(const CvqPeerFrame& req, CvqPtyPeer& peer)
{
    QByteArray out;
    if (req.type == 10 || req.type == 11) {
        // Path, offset, length; a put carries its chunk after them.
        const int zero = req.body.indexOf('\0');
        if (zero < 0 || req.body.size() < zero + 9)
            return;
        const QByteArray path = req.body.left(zero);
        const quint32 offset = le32(req.body.constData() + zero + 1);
        const quint32 length = le32(req.body.constData() + zero + 5);
        QByteArray& file = files[QString::fromUtf8(path)];
        out = QByteArray(2, '\0') + path + '\0' + vqPeerU32(offset) + vqPeerU32(length);
        if (req.type == 10) {
            file = file.left(int(offset)) + req.body.mid(zero + 9);
        } else {
            const QByteArray chunk = file.mid(int(offset), maxChunk ? qMin(int(length), maxChunk) : int(length));
            out += char(qint64(offset) + chunk.size() >= file.size());
            out += vqPeerU32(quint32(chunk.size())) + chunk;
        }
    }
    peer.send(vqPeerFrame(req.type, req.id, 1, out));
}
