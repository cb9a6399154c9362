#include "vqptypeer.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
// Writes all bytes to a non-blocking descriptor, waiting while the other end
// does not read; false on an error or once giveUp() says so.
bool writeAll(int fd, const char* data, int size, const std::function<bool()>& giveUp)
{
    struct pollfd p = {fd, POLLOUT, 0};
    for (int done = 0; done < size;) {
        if (giveUp())
            return false;
        const ssize_t w = ::write(fd, data + done, size_t(size - done));
        if (w > 0)
            done += int(w);
        else if (w < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        else
            ::poll(&p, 1, 20);
    }
    return true;
}
}  // namespace

CvqRawPort::CvqRawPort(const QString& path)
    : mFd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
{
    struct termios t;
    if (mFd >= 0 && ::tcgetattr(mFd, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(mFd, TCSANOW, &t);
    }
}

CvqRawPort::~CvqRawPort() { ::close(mFd); }  // -1 when the open failed: a harmless EBADF

bool CvqRawPort::write(const char* data, int size)
{
    const QDeadlineTimer deadline(5000);
    return writeAll(mFd, data, size, [&deadline] { return deadline.hasExpired(); });
}

int CvqRawPort::read(char* data, int size, int timeoutMs)
{
    struct pollfd p = {mFd, POLLIN, 0};
    const ssize_t n = ::poll(&p, 1, timeoutMs) > 0 ? ::read(mFd, data, size_t(size)) : 0;
    return n < 0 && (errno == EAGAIN || errno == EINTR) ? 0 : int(n);
}

bool CvqPtyPeer::start(Handler handler)
{
    struct termios raw = {};
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
    CvqSimFrameReader reader;
    char in[1 << 16];
    while (!mStop && !mHungUp) {
        struct pollfd p = {mMaster, POLLIN, 0};
        const ssize_t n = ::poll(&p, 1, 20) > 0 ? ::read(mMaster, in, sizeof in) : 0;
        if (n > 0)
            reader.vqFeed(QByteArray(in, int(n)));
        for (CvqSimMsg m; reader.vqNext(&m) && !mHungUp;)
            mHandler(m, *this);
    }
}

void CvqFakePrinter::vqServe(const CvqPeerFrame& req, CvqPtyPeer& peer)
{
    CvqSimBodyReader in(req.body);
    CvqSimBodyWriter out;
    QString path;
    quint32 offset = 0, length = 0;
    // Path, offset, length; a put carries its chunk after them.
    if ((req.type == 10 || req.type == 11) && in.vqStr(&path) && in.vqU32(&offset) && in.vqU32(&length)) {
        QByteArray& file = files[path];
        out.vqU8(0).vqStr(QString()).vqStr(path).vqU32(offset).vqU32(length);
        const QByteArray chunk = file.mid(int(offset), maxChunk ? qMin(int(length), maxChunk) : int(length));
        if (req.type == 10)
            file = file.left(int(offset)) + req.body.right(in.vqRemaining());
        else
            out.vqU8(qint64(offset) + chunk.size() >= file.size()).vqU32(quint32(chunk.size())).vqBytes(chunk);
    }
    peer.reply(req, out.body);
}
