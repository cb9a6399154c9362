#include "vqcomlink.h"
#include "vqquit.h"
#include "vqtext.h"

#include <QDebug>
#include <QElapsedTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QSerialPort>
#endif

#include <atomic>
#include <climits>

namespace {
// Message ids of every link in the process. Relaxed is enough: each request
// only needs a value of its own, wrapping from 255 to 0.
std::atomic<quint8> gMsgId{0};

int vqMillis(int seconds)
{
    if (seconds <= 0)
        return 0;
    return seconds >= INT_MAX / 1000 ? INT_MAX : seconds * 1000;
}
}  // namespace

bool vqReadCommonFields(CvqComMsg& resp, quint8& status, QString& err, QString& echo)
{
    quint8 st = 0;
    QString e, ech;
    if (!resp.vqReadU8(st) || !resp.vqReadStr(e) || !resp.vqReadStr(ech))
        return false;
    status = st;
    err = e;
    echo = ech;
    return true;
}

#ifdef Q_OS_WIN
// The system's text for an error code in the user's language, on one line, as Qt's port gives it.
static QString systemMessage(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString message = n ? QString::fromWCharArray(text, int(n)).simplified() : QString();
    LocalFree(text);
    return message.isEmpty() ? QStringLiteral("error %1").arg(code) : message;
}

// Win32 directly: Qt's serial port waits on WaitCommEvent, which Wine completes at
// once with an empty mask on a pseudo-terminal, so its reads never see the bytes.
// A blocking handle with an interval time-out returns on the first gap after any
// byte, and after the total time-out when none comes, on Windows and Wine alike.
class CvqComPort
{
public:
    ~CvqComPort()
    {
        if (mHandle != INVALID_HANDLE_VALUE)
            CloseHandle(mHandle);
    }
    bool open(const QString& name, QString& err)
    {
        const QString path = name.startsWith(QLatin1String("\\\\.\\")) ? name : QLatin1String("\\\\.\\") + name;
        mHandle = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
        if (mHandle == INVALID_HANDLE_VALUE) {
            err = systemMessage(GetLastError());
            return false;
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (GetCommState(mHandle, &dcb)) {
            dcb.BaudRate = CBR_115200;
            dcb.ByteSize = 8;
            dcb.Parity = NOPARITY;
            dcb.StopBits = ONESTOPBIT;
            // What another program left on the port must not filter our bytes: NUL stripping
            // would drop every 0 of a frame, the error character replace some.
            dcb.fBinary = TRUE;
            dcb.fParity = dcb.fNull = dcb.fErrorChar = FALSE;
            dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = FALSE;
            // Both lines raised, as the Linux port has them after its open.
            dcb.fDtrControl = DTR_CONTROL_ENABLE;
            dcb.fRtsControl = RTS_CONTROL_ENABLE;
            dcb.fDsrSensitivity = dcb.fAbortOnError = FALSE;
            SetCommState(mHandle, &dcb);  // as with Qt's port, the settings' results do not matter
        }
        return setReadWait(1);
    }
    bool write(const QByteArray& bytes)
    {
        DWORD done = 0;
        if (!WriteFile(mHandle, bytes.constData(), DWORD(bytes.size()), &done, nullptr)
            || done != DWORD(bytes.size())) {
            PurgeComm(mHandle, PURGE_TXABORT | PURGE_TXCLEAR);  // nothing of this frame may trail into the next one
            return false;
        }
        return true;
    }
    bool read(int ms, QByteArray& out)
    {
        // The interval applies only once a byte came; the total bounds the wait for the first.
        if (!setReadWait(DWORD(qMax(ms, 1))))
            return false;
        char buf[4096];
        DWORD got = 0;
        if (!ReadFile(mHandle, buf, sizeof buf, &got, nullptr) || got == 0)
            return false;
        out = QByteArray(buf, int(got));
        return true;
    }

private:
    // Set only when the wait changes: each call is a round trip to the driver (Wine's server).
    bool setReadWait(DWORD ms)
    {
        if (ms == mReadWait)
            return true;
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = 1;
        t.ReadTotalTimeoutConstant = ms;
        t.WriteTotalTimeoutConstant = DWORD(vqMillis(vqComTimeoutSec));
        if (!SetCommTimeouts(mHandle, &t))
            return false;
        mReadWait = ms;
        return true;
    }

    HANDLE mHandle = INVALID_HANDLE_VALUE;
    DWORD mReadWait = 0;
};
#else
class CvqComPort
{
public:
    bool open(const QString& name, QString& err)
    {
        mPort.setPortName(name);
        if (!mPort.open(QIODevice::ReadWrite)) {
            err = mPort.errorString();
            return false;
        }
        // Only after the open do the settings reach the device; their results do not matter.
        mPort.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
        mPort.setDataBits(QSerialPort::Data8);
        mPort.setParity(QSerialPort::NoParity);
        mPort.setStopBits(QSerialPort::OneStop);
        return true;
    }
    bool write(const QByteArray& bytes)
    {
        if (mPort.write(bytes) != bytes.size())
            return false;
        // Worker threads have no event loop: push the bytes out here, first
        // without waiting (a frame fits the driver's buffer), then waiting.
        mPort.flush();
        const int budget = vqMillis(vqComTimeoutSec);
        QElapsedTimer clock;
        clock.start();
        while (mPort.bytesToWrite() > 0) {
            const qint64 left = budget - clock.elapsed();
            if (left <= 0 || !mPort.waitForBytesWritten(int(left))) {
                mPort.clear(QSerialPort::Output);  // nothing of this frame may trail into the next one
                return false;
            }
        }
        return true;
    }
    bool read(int ms, QByteArray& out)
    {
        if (mPort.bytesAvailable() <= 0 && !mPort.waitForReadyRead(ms))
            return false;
        out = mPort.readAll();
        return !out.isEmpty();
    }

private:
    QSerialPort mPort;
};
#endif

CvqComLink::CvqComLink() = default;

CvqComLink::CvqComLink(const QString& portName) : mPortName(portName) {}

CvqComLink::~CvqComLink() { close(); }

void CvqComLink::setPortName(const QString& name) { mPortName = name; }

bool CvqComLink::isOpen() const { return mPort != nullptr; }

bool CvqComLink::open()
{
    if (isOpen())
        return true;
    auto port = std::make_unique<CvqComPort>();
    QString err;
    if (!port->open(mPortName, err)) {
        // Unquoted: the system's text in the user's language stays readable in the log.
        qDebug().noquote() << "Failed to open serial port:" << err;
        return false;
    }
    mPort = std::move(port);
    return true;
}

void CvqComLink::close() { mPort.reset(); }

bool CvqComLink::write(const QByteArray& bytes)
{
    if (!mPort)
        return false;
    return bytes.isEmpty() || mPort->write(bytes);
}

bool CvqComLink::read(int ms, QByteArray& out) { return mPort && mPort->read(ms, out); }

bool CvqComLink::vqExchange(CvqComMsg& req, int timeoutSec, CvqComMsg& resp)
{
    // A frame the printer would refuse is not worth sending.
    if (!req.vqIsConsistent() || req.vqIsResponse() || req.vqMainLen > vqComMaxMainLen)
        return false;
    if (!isOpen())
        return false;
    req.vqMsgId = gMsgId.fetch_add(1, std::memory_order_relaxed);

    QByteArray frame;
    frame.reserve(vqComFrameExtra + int(req.vqMainLen));
    req.vqAppendFrame(frame);
    if (!write(frame))
        return false;

    const int ms = vqMillis(timeoutSec);
    // The silence time-out restarts with every byte; the deadline does not.
    const qint64 deadline = qMax<qint64>(ms, mDeadlineMs);
    QElapsedTimer clock;
    clock.start();
    CvqComFrameReader reader;
    QByteArray chunk;
    qint64 received = 0;
    for (;;) {
        const qint64 left = deadline - clock.elapsed();
        if (left <= 0 || !read(int(qMin<qint64>(ms, left)), chunk)) {
            if (left < ms)
                qDebug() << "(vq)no response within" << deadline << "ms, type" << int(req.vqMsgType);
            return false;
        }
        received += chunk.size();
        reader.vqFeed(chunk);
        chunk.clear();  // drop our reference so the reader owns its buffer alone
        // Examine everything buffered: an echo and the answer often arrive together.
        while (reader.vqNext(resp)) {
            if (resp.vqMsgId == req.vqMsgId && resp.vqIsResponse())
                return true;
        }
        // A peer that keeps talking without ever answering must not hold us forever.
        if (received > vqComExchangeByteLimit) {
            qDebug() << "(vq)no response within" << received << "bytes, type" << int(req.vqMsgType);
            return false;
        }
        // Nor a closing program, however slowly the answer drips in.
        if (vqWaitQuit(0)) {
            qDebug() << "(vq)exchange stopped, the program is closing; type" << int(req.vqMsgType);
            return false;
        }
    }
}

bool CvqComLink::vqTestLink()
{
    CvqComMsg req(vqMsgTestLink);
    CvqComMsg resp;
    return vqExchange(req, vqComTimeoutSec, resp);
}

bool CvqComLink::vqTestBulk()
{
    CvqComMsg req(vqMsgTestBulk);
    req.vqAppendU32(1024);
    req.vqAppendPattern(1024);
    CvqComMsg resp;
    return vqExchange(req, vqComTimeoutSec, resp);
}

// One put or get chunk: the request and the echo checks both share. False when
// the exchange fails or the answer does not echo path, offset and length.
static bool vqExchangeChunk(CvqComLink& link, quint8 type, const QString& path, const QByteArray& pathUtf8,
                            quint32 offset, quint32 len, const char* data, CvqComMsg& resp, quint8& status,
                            QString& err)
{
    CvqComMsg req(type);
    req.vqMsgBody.reserve(pathUtf8.size() + 1 + 8 + (data ? int(len) : 0));
    req.vqAppendBytes(pathUtf8);  // the path as a string field
    req.vqAppendU8(0);
    req.vqAppendU32(offset);
    req.vqAppendU32(len);
    if (data)
        req.vqAppendBytes(data, int(len));
    if (!link.vqExchange(req, vqComTimeoutSec, resp))
        return false;
    QString echo;
    quint32 echoOffset = 0, echoLen = 0;
    if (!vqReadCommonFields(resp, status, err, echo) || !resp.vqReadU32(echoOffset) || !resp.vqReadU32(echoLen))
        return false;
    return echo == path && echoOffset == offset && echoLen == len;
}

// A program that is closing ends a transfer before its next chunk: a slow
// printer would otherwise hold it for as many time-outs as there are chunks.
static bool vqStopping(const QString& path)
{
    if (!vqWaitQuit(0))
        return false;
    qDebug() << "(vq)transfer stopped, the program is closing:" << path;
    return true;
}

bool CvqComLink::vqLinkPut(const QString& path, const QByteArray& data, quint8& status, QString& err)
{
    status = 0;
    err.clear();
    const qint64 size = data.size();
    const QByteArray pathUtf8 = path.toUtf8();
    qint64 offset = 0;
    bool sent = false;
    for (;;) {
        const qint64 remaining = size - offset;
        const int chunk = remaining > vqComChunk ? vqComChunk : int(remaining);
        if (sent && remaining == 0)
            return true;
        if (vqStopping(path))
            return false;
        CvqComMsg resp;
        if (!vqExchangeChunk(*this, vqMsgPutChunk, path, pathUtf8, quint32(offset), quint32(chunk),
                             data.constData() + offset, resp, status, err))
            return false;
        sent = true;
        const quint8 st = status;
        if (st != 0)
            return true;  // the printer refused; the caller reads the status
        offset += chunk;
    }
}

bool CvqComLink::vqLinkPutText(const QString& path, const QString& text, quint8& status, QString& err)
{
    return vqLinkPut(path, text.toUtf8(), status, err);
}

bool CvqComLink::vqGetInto(const QString& path, qint64 bound, QByteArray& out, quint8& status, QString& err, bool* cut)
{
    // Beyond about a gigabyte a byte array cannot grow anyway.
    const qint64 limit = qBound<qint64>(0, bound, qint64(1) << 30);
    const QByteArray pathUtf8 = path.toUtf8();
    quint32 offset = 0;
    qint64 total = 0;
    // Whole chunks and a last, empty one: a printer dribbling short chunks stops here.
    const qint64 maxExchanges = limit / vqComChunk + 2;
    for (qint64 exchanges = 1;; ++exchanges) {
        if (exchanges > maxExchanges) {
            qDebug() << "(vq)download in more than" << maxExchanges << "chunks, given up:" << path;
            return false;
        }
        if (vqStopping(path))
            return false;
        CvqComMsg resp;
        if (!vqExchangeChunk(*this, vqMsgGetChunk, path, pathUtf8, offset, quint32(vqComChunk), nullptr, resp, status,
                             err))
            return false;
        const quint8 st = status;
        if (st != 0)
            return true;
        quint8 last = 0;
        quint32 n = 0;
        if (!resp.vqReadU8(last) || !resp.vqReadU32(n))
            return false;
        if (n < 1)
            return true;
        if (total + qint64(n) > limit && cut) {
            QByteArray chunk;
            if (!resp.vqReadBytes(n, chunk))
                return false;
            out += chunk.left(int(limit - total));
            *cut = true;
            return true;
        }
        if (total + qint64(n) > limit) {
            qDebug() << "(vq)download larger than" << limit << "bytes, given up:" << path;
            return false;
        }
        if (!resp.vqReadBytes(n, out))
            return false;
        total += n;
        if (last)
            return true;
        offset += n;
    }
}

bool CvqComLink::vqLinkGet(const QString& path, QByteArray& out, quint8& status, QString& err)
{
    status = 0;
    err.clear();
    return vqGetInto(path, mGetLimit, out, status, err);
}

bool CvqComLink::vqLinkGetHead(const QString& path, qint64 limit, QByteArray& out, bool& cut, quint8& status,
                               QString& err)
{
    status = 0;
    err.clear();
    cut = false;
    return vqGetInto(path, limit, out, status, err, &cut);
}

bool CvqComLink::vqLinkGetText(const QString& path, QString& out, quint8& status, QString& err)
{
    QByteArray bytes;
    const bool ok = vqLinkGet(path, bytes, status, err);
    out = vqTextBeforeNul(bytes);
    return ok;
}

bool CvqComLink::vqPathOp(quint8 type, const QString& path, quint8& status, QString& err)
{
    status = 0;
    err.clear();
    CvqComMsg req(type);
    req.vqAppendStr(path);
    CvqComMsg resp;
    if (!vqExchange(req, vqComTimeoutSec, resp))
        return false;
    QString echo;
    if (!vqReadCommonFields(resp, status, err, echo))
        return false;
    return echo == path;
}

bool CvqComLink::vqLinkHas(const QString& path, quint8& status, QString& err)
{
    return vqPathOp(vqMsgHasFile, path, status, err);
}

bool CvqComLink::vqLinkDel(const QString& path, quint8& status, QString& err)
{
    return vqPathOp(vqMsgDelFile, path, status, err);
}

bool CvqComLink::vqLinkExe(const QString& cmd, QString& out, quint8& status, QString& err, int timeoutSec)
{
    status = 0;
    err.clear();
    CvqComMsg req(vqMsgExe);
    req.vqAppendStr(cmd);
    CvqComMsg resp;
    if (!vqExchange(req, timeoutSec, resp))
        return false;
    quint8 st = 0;
    QString e, echo, text;
    quint8 inFile = 0;
    if (!vqReadCommonFields(resp, st, e, echo) || !resp.vqReadU8(inFile) || !resp.vqReadStr(text))
        return false;
    status = st;
    err = e;
    if (echo != cmd)
        return false;
    if (!inFile) {
        out = text;
        return true;
    }
    // Long output comes as a file on the printer; its fetch speaks for the command.
    QByteArray bytes;
    status = 0;
    err.clear();
    const bool ok = vqGetInto(text, qMin(mGetLimit, vqComExeOutputLimit), bytes, status, err);
    out = vqTextBeforeNul(bytes);
    return ok;
}

bool CvqComLink::vqLinkExe(const QString& cmd, quint8& status, QString& err, int timeoutSec)
{
    QString out;
    return vqLinkExe(cmd, out, status, err, timeoutSec);
}

bool CvqComLink::vqLinkExe(const QString& cmd, int timeoutSec)
{
    quint8 status = 0;
    QString err;
    return vqLinkExe(cmd, status, err, timeoutSec);
}

bool CvqComLink::vqLinkExeAlong(const QString& cmd, quint8& status, QString& err)
{
    return vqPathOp(vqMsgExeAlong, cmd, status, err);
}
