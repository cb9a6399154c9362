#pragma once
// The printer's end of a serial link for tests and benchmarks: a pseudo-terminal
// whose slave the link opens by name, and a thread serving the master side.
// Frames are parsed and built here by hand, independently of the library, so
// a mistake in the library's framing cannot hide behind the same mistake here.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

struct CvqPeerFrame
{
    quint8 type = 0;
    quint8 ver = 0;
    quint8 id = 0;
    quint8 flags = 0;
    QByteArray body;
    QByteArray raw;  // the whole frame as received
};

// Little-endian body builder.
struct CvqPeerBody
{
    QByteArray b;
    CvqPeerBody& u8(quint8 v);
    CvqPeerBody& u32(quint32 v);
    CvqPeerBody& str(const QByteArray& utf8);  // bytes + 0
    CvqPeerBody& raw(const QByteArray& bytes);
};

// A frame with the given header; mainLen defaults to 4 + body size.
QByteArray vqPeerFrame(quint8 type, quint8 id, quint8 flags, const QByteArray& body, qint64 mainLen = -1);

// Body reader for requests: fails softly (ok = false) on short bodies.
struct CvqPeerReader
{
    const QByteArray& b;
    int pos = 0;
    bool ok = true;
    explicit CvqPeerReader(const QByteArray& body) : b(body) {}
    quint8 u8();
    quint32 u32();
    QByteArray str();
    QByteArray bytes(int n);
};

class CvqPtyPeer
{
public:
    using Handler = std::function<void(const CvqPeerFrame& req, CvqPtyPeer& peer)>;

    CvqPtyPeer();
    ~CvqPtyPeer();
    CvqPtyPeer(const CvqPtyPeer&) = delete;
    CvqPtyPeer& operator=(const CvqPtyPeer&) = delete;

    // Opens the pseudo-terminal pair and starts serving; each request frame
    // is passed to the handler on the peer thread.
    bool start(Handler handler);
    void stop();
    QString slavePath() const { return mSlavePath; }

    // From the handler (or any thread): write bytes to the link, in pieces of
    // `piece` bytes (0: one write).
    void send(const QByteArray& bytes, int piece = 0);
    // The port vanishes: both ends are closed.
    void hangUp();

    int requestCount() const { return mRequests.load(); }
    qint64 bytesReceived() const { return mReceived.load(); }

private:
    void run();

    int mMaster = -1;
    int mSlave = -1;
    QString mSlavePath;
    Handler mHandler;
    std::thread mThread;
    std::atomic<bool> mStop{false};
    std::atomic<bool> mHungUp{false};
    std::atomic<int> mRequests{0};
    std::atomic<qint64> mReceived{0};
    std::mutex mWriteMutex;
};

// A printer's file and command service on top of a peer: files in memory,
// canned command answers, and switches for the faults tests need.
class CvqFakePrinter
{
public:
    struct Command
    {
        quint8 status = 0;
        QByteArray err;
        quint8 inFile = 0;
        QByteArray text;
    };

    // Serves one request; install with peer.start([&](auto& r, auto& p){ printer.vqServe(r, p); }).
    void vqServe(const CvqPeerFrame& req, CvqPtyPeer& peer);

    // State, guarded by mMutex; read and set through the accessors below.
    void setFile(const QString& path, const QByteArray& data);
    QByteArray file(const QString& path) const;
    bool hasFile(const QString& path) const;
    void setCommand(const QByteArray& cmd, const Command& c);
    QList<int> putChunks() const;      // lengths of the put chunks received
    QList<quint32> getOffsets() const; // offsets of the get requests received
    int delAttempts() const;
    QList<quint8> ids() const;         // ids of every request, in order
    void clearLog();

    // Fault switches (set before the operation).
    std::atomic<int> piece{0};              // answer in pieces of this size
    std::atomic<bool> echoRequestFirst{false};  // send the request back before the answer
    std::atomic<bool> wrongPath{false};     // echo a different path or command
    std::atomic<int> offsetDelta{0};        // added to the echoed offset
    std::atomic<int> lengthDelta{0};        // added to the echoed length
    std::atomic<int> putStatus{0};          // status of put chunks
    std::atomic<int> delFailures{0};        // first n deletes answer status 1
    std::atomic<bool> getEndsWithEmpty{false};  // never set the last flag; end with n = 0
    std::atomic<bool> getEndless{false};    // never end a download
    std::atomic<int> hangUpAfterGets{-1};   // vanish on this get request (0 = the first)

private:
    mutable std::mutex mMutex;
    QMap<QString, QByteArray> mFiles;
    QMap<QByteArray, Command> mCommands;
    QList<int> mPutChunks;
    QList<quint32> mGetOffsets;
    QList<quint8> mIds;
    int mDelAttempts = 0;
    int mGets = 0;
};
