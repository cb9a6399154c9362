#pragma once
// Pseudo-terminals for tests and benchmarks. Frames go through the emulator's codec, not the
// library's, so a framing mistake there cannot hide behind the same mistake here.

#include "vqsimframe.h"

#include <QMap>

#include <atomic>
#include <functional>
#include <thread>

// A terminal opened by name in raw mode (no echo, no line editing), closed with the object.
class CvqRawPort
{
public:
    Q_DISABLE_COPY(CvqRawPort)
    explicit CvqRawPort(const QString& path);
    ~CvqRawPort();

    bool ok() const { return mFd >= 0; }
    bool write(const char* data, int size);  // all of them, within 5 s
    // Up to size bytes once some arrive within timeoutMs; 0 on time-out, -1 on a failed read.
    int read(char* data, int size, int timeoutMs);

private:
    int mFd;
};

using CvqPeerFrame = CvqSimMsg;

// The printer's end of a serial link: the link opens the slave by name, a thread serves the master.
class CvqPtyPeer
{
public:
    using Handler = std::function<void(const CvqPeerFrame& req, CvqPtyPeer& peer)>;
    ~CvqPtyPeer() { stop(); }

    // Opens the pair; each request frame goes to the handler on the peer thread.
    bool start(Handler handler);
    void stop();
    QString slavePath() const { return mSlavePath; }

    // From the handler: writes all bytes (or req's answer); false once stopped or hung up.
    bool send(const QByteArray& bytes);
    bool reply(const CvqSimMsg& req, QByteArray body) { return send(vqSimEncodeFrame({req.type, 0, req.id, 1, body})); }
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

// A printer's file service: puts and gets of files in memory; any other request gets an empty answer.
class CvqFakePrinter
{
public:
    QMap<QString, QByteArray> files;  // filled before the peer starts
    int maxChunk = 0;                 // bytes a get answer carries at most; 0: as asked

    void vqServe(const CvqPeerFrame& req, CvqPtyPeer& peer);
};
