#pragma once
// The serial link to a printer: one port, synchronous request/response
// exchanges of CvqComMsg frames, and the remote file and command operations
// built on them.
//
// A link is used by one thread at a time. Users call open() before each
// operation (the operations do not open the link themselves). Every operation
// returns bool; those with status and error text outputs first set them to 0
// and empty, then report the printer's status byte (0 = done) and its text.

#include "vqcommsg.h"

#include <QByteArray>
#include <QString>
#include <memory>

class CvqComPort;  // the platform's serial device, in vqcomlink.cpp

// Time-out of every message but a command's, in seconds.
constexpr int vqComTimeoutSec = 5;
// Bytes of file content per put or get chunk.
constexpr int vqComChunk = 1024;
// Default bound of one vqLinkGet download; a printer sending more is treated as faulty.
constexpr qint64 vqComDefaultGetLimit = qint64(256) * 1024 * 1024;
// Bound of a command's output; the printer may serve it in a file of any size.
constexpr qint64 vqComExeOutputLimit = 64 * 1024;
// Bytes an exchange accepts without finding its response before it gives up.
constexpr qint64 vqComExchangeByteLimit = qint64(1024) * 1024;
// Time a whole exchange may take however the bytes trickle in, in seconds (a
// frame is at most 4 KiB); a command's own longer time-out stands.
constexpr int vqComExchangeDeadlineSec = 30;

class CvqComLink
{
public:
    CvqComLink();
    explicit CvqComLink(const QString& portName);
    virtual ~CvqComLink();
    CvqComLink(const CvqComLink&) = delete;
    CvqComLink& operator=(const CvqComLink&) = delete;

    // Takes effect at the next open.
    void setPortName(const QString& name);
    QString portName() const { return mPortName; }

    // Opens the port read/write, then sets 115200 8N1. True at once when open.
    bool open();
    virtual bool isOpen() const;
    void close();

    // The whole array, or false. Virtual with read() and isOpen() so fuzz
    // targets can put a scripted printer behind the exchanges.
    virtual bool write(const QByteArray& bytes);
    // Waits up to ms for data; replaces out with everything available.
    virtual bool read(int ms, QByteArray& out);

    // Sends req (which gets the next message id) and waits for the response
    // with that id and the response bit, resynchronising on anything else.
    // Fails on a malformed request, a short write, timeoutSec of silence, or
    // when the exchange outlasts its deadline (the larger of timeoutSec and
    // vqExchangeDeadlineMs()).
    // resp: freshly constructed by the caller; on success it holds the
    // response's header fields and body with the cursor at 0.
    bool vqExchange(CvqComMsg& req, int timeoutSec, CvqComMsg& resp);

    bool vqTestLink();  // type 1, empty body
    bool vqTestBulk();  // type 200, u32 1024 and 1024 pattern bytes

    // Uploads a whole file in 1024-byte chunks (an empty file as one empty
    // chunk). A status other than 0 stops it and returns true with that status.
    bool vqLinkPut(const QString& path, const QByteArray& data, quint8& status, QString& err);
    // The same with the text's UTF-8 bytes.
    bool vqLinkPutText(const QString& path, const QString& text, quint8& status, QString& err);
    // Downloads a whole file, appending to out. Fails (after logging) when the
    // file grows beyond vqGetLimit(), or when it takes more chunks than a file
    // of that size sent in whole chunks needs.
    bool vqLinkGet(const QString& path, QByteArray& out, quint8& status, QString& err);
    // The downloaded bytes before the first 0 byte, as UTF-8.
    bool vqLinkGetText(const QString& path, QString& out, quint8& status, QString& err);
    // At most the first limit bytes of a file; cut tells that it goes on.
    bool vqLinkGetHead(const QString& path, qint64 limit, QByteArray& out, bool& cut, quint8& status, QString& err);
    // Status 0: the file exists.
    bool vqLinkHas(const QString& path, quint8& status, QString& err);
    bool vqLinkDel(const QString& path, quint8& status, QString& err);
    // Runs a command and waits up to timeoutSec for its output. When the
    // printer returns the output in a file, that file is fetched (at most
    // vqComExeOutputLimit bytes) and its status and text stand as the command's.
    bool vqLinkExe(const QString& cmd, QString& out, quint8& status, QString& err, int timeoutSec);
    bool vqLinkExe(const QString& cmd, quint8& status, QString& err, int timeoutSec);
    bool vqLinkExe(const QString& cmd, int timeoutSec);
    // Starts a command without waiting for it.
    bool vqLinkExeAlong(const QString& cmd, quint8& status, QString& err);

    qint64 vqGetLimit() const { return mGetLimit; }
    void vqSetGetLimit(qint64 bytes) { mGetLimit = bytes; }
    int vqExchangeDeadlineMs() const { return mDeadlineMs; }
    void vqSetExchangeDeadlineMs(int ms) { mDeadlineMs = ms; }

private:
    bool vqPathOp(quint8 type, const QString& path, quint8& status, QString& err);
    bool vqGetInto(const QString& path, qint64 limit, QByteArray& out, quint8& status, QString& err,
                   bool* cut = nullptr);

    QString mPortName;
    std::unique_ptr<CvqComPort> mPort;
    qint64 mGetLimit = vqComDefaultGetLimit;
    int mDeadlineMs = vqComExchangeDeadlineSec * 1000;
};

// Reads the three fields every response begins with: status, error text and
// the echoed path or command line.
bool vqReadCommonFields(CvqComMsg& resp, quint8& status, QString& err, QString& echo);
