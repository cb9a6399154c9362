#pragma once
// Pseudo-terminals for tests and benchmarks. CvqRawPort: a terminal opened by
// name in raw mode (the printer's end of the emulator's port, or a bare link).
// CvqPtyPeer: the printer's end of a serial link, a pseudo-terminal whose slave
// the link opens by name and a thread serving the master side. Frames are
// read and built with the emulator's codec (printersim/vqsimframe.h), apart
// from the library's, so a framing mistake there cannot hide behind the same
// mistake here.

#include "vqsimframe.h"

#include <QMap>

#include <atomic>
#include <functional>
#include <thread>

// A terminal in raw mode (no echo, no line editing), closed with the object.
class CvqRawPort
{
public:
    Q_DISABLE_COPY(CvqRawPort)
    explicit CvqRawPort(const QString& path);
    ~CvqRawPort();

    bool ok() const { return mFd >= 0; }
    bool write(const char* data, int size);  // all of them, within 5 s
    // Up to size bytes once some arrive within timeoutMs; 0 on time-out, -1 on error.
    int read(char* data, int size, int timeoutMs);

private:
    int mFd;
};

using CvqPeerFrame = CvqSimMsg;
QByteArray vqPeerFrame(quint8 type, quint8 id, quint8 flags, const QByteArray& body);

class CvqPtyPeer
{
public:
    using Handler = std::function<void(const CvqPeerFrame& req, CvqPtyPeer& peer)>;

    Q_DISABLE_COPY(CvqPtyPeer)
    CvqPtyPeer() = default;
    ~CvqPtyPeer() { stop(); }

    // Opens the pair; each request frame goes to the handler on the peer thread.
    bool start(Handler handler);
    void stop();
    QString slavePath() const { return mSlavePath; }

    // From the handler: writes all bytes; false once stopped or hung up.
    bool send(const QByteArray& bytes);
    // From the handler: the port vanishes, both ends closed.
    void hangUp();

private:
    void run();

    int mMaster = -1;
    int mSlave = -1;
    QString mSlavePath;
    Handler mHandler;
    std::thread mThread;
    std::atomic<bool> mStop{false};
    bool mHungUp = false;
};

// A printer's file service: puts and gets of files in memory; any other
// request gets an empty answer.
class CvqFakePrinter
{
public:
    QMap<QString, QByteArray> files;  // filled before the peer starts
    int maxChunk = 0;                 // bytes a get answer carries at most; 0: as asked

    void vqServe(const CvqPeerFrame& req, CvqPtyPeer& peer);
};
