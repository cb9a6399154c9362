#pragma once
// One emulated printer: its status memory and identity, what it shows in the
// simulated host tree, its request history, and what it does for the PC
// whichever way the request came: file operations on its file system (with the
// refusals a test set up), the programs it runs (job state, scanner check,
// scan, print and a few shell words over its file system). Its serial and web
// services are parts it owns; they read its state when a request comes.

#include "vqsimframe.h"
#include "vqsimtree.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <memory>

class QHostAddress;
class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

// Status bytes and texts of the file and command services.
namespace vqsimstatus {
enum : quint8 { Ok, NotFound, BadRequest, NoSpace, Unsupported, BadOffset, Busy, Refused };
QString vqText(quint8 status);
}

// The key=value words of a control line from index from on (the last value of a key wins).
QMap<QString, QString> vqSimOptions(const QStringList& words, int from);
// A number, decimal or 0x hex, within [lo, hi]; a null text (an absent option) leaves *v as it is.
bool vqSimNumber(const QString& text, qint64* v, qint64 lo, qint64 hi);

// The printer's file system, in memory and bounded in total size and file
// count so that nothing a PC sends can grow it without limit. Results are vqsimstatus bytes.
class CvqSimFs
{
public:
    static constexpr qint64 kDefaultLimit = qint64(64) * 1024 * 1024;
    explicit CvqSimFs(qint64 limit) : mLimit(limit) {}
    // An absolute, cleaned path; a bare name lands in /tmp. Empty for an unusable path.
    static QString vqResolve(const QString& path);
    bool vqHas(const QString& path) const { return mFiles.contains(vqResolve(path)); }
    quint8 vqGet(const QString& path, QByteArray* out) const;
    qint64 vqSize(const QString& path) const { return mFiles.value(vqResolve(path)).size(); }
    // Offset 0 starts the file afresh; an offset beyond the end is refused.
    quint8 vqWrite(const QString& path, qint64 offset, const QByteArray& bytes);
    quint8 vqPut(const QString& path, const QByteArray& bytes) { return vqWrite(path, 0, bytes); }
    quint8 vqRemove(const QString& path);
    // Files whose path starts with prefix, in byte order.
    QStringList vqList(const QString& prefix = QString()) const;

private:
    QMap<QString, QByteArray> mFiles;
    qint64 mUsed = 0, mLimit;
};

// A planned disturbance of a service's answers ("linkfault …", "httpfault …"):
// its kinds and options, and which answers it takes: the next count (0: all)
// after the first after of them.
class CvqSimFault
{
public:
    // "KIND[,KIND…] key=value…" with the kinds a service knows, count, after and delay and the
    // service's own numbers (with their bounds) and texts; empty result: ok, the fault is on.
    QString vqSet(const QStringList& args, const QStringList& kinds, QMap<QString, QPair<qint64, qint64>> numbers,
                  const QStringList& texts);
    bool vqHas(const char* kind) const { return mKinds.contains(QLatin1String(kind)); }
    qint64 vqNumber(const char* key, qint64 fallback) const;
    QString vqText(const char* key) const { return mOpts.value(QLatin1String(key)); }
    // True when the fault takes this answer (and counts it).
    bool vqTakes();

private:
    QSet<QString> mKinds;
    QMap<QString, QString> mOpts;
    qint64 mCount = 0, mAfter = 0;
    bool mActive = false;
};

// The answer of a command run on the printer.
struct CvqSimExeResult
{
    quint8 status = 0;
    QString err, output;
};

struct CvqSimModel
{
    QString type, pid;  // as the web server names it, e.g. "P4120W"; the USB product id
    int pxg;            // consumable layout
    bool hasScan;
};
const QList<CvqSimModel>& vqSimModels();

// The parts of a printer that can be unplugged: its device entry, its queue, its
// serial port entry, the pseudo-terminal itself, and the identification read.
inline const QStringList kSimParts = {"device", "queue", "serial", "port", "idread"};

struct CvqSimPrinterConfig
{
    QString model = QStringLiteral("P4120W");
    QString sn;
    int usbPort = 1;
    QString romver = QStringLiteral("V1.3.6500");
    QString http;         // empty: no web server
    QString winePrefix;   // set: the serial port is COM<4 + usbPort> there
    bool bareId = false;  // the USB reply is the bare id text, without its length field
};

class CvqSimPrinter;

// The serial message service on a pseudo-terminal: reads request frames from
// the master side, answers them through the printer, and can disturb its
// answers on purpose (pieces, noise, stale or garbled frames, silence…).
class CvqSimSerial : public QObject
{
public:
    explicit CvqSimSerial(CvqSimPrinter* printer);
    ~CvqSimSerial() override { vqClose(); }
    bool vqOpen(QString* error);
    // A PC holding the port gets a hang-up; a later vqOpen makes a new one under a new name.
    void vqClose();
    bool vqIsOpen() const { return mMaster >= 0; }

    QString mPath;  // the slave side, the name the PC opens
    CvqSimFault mFault;
    qint64 mRequests = 0;

private:
    struct Segment
    {
        QByteArray bytes;
        int delayMs = 0;
    };
    void onReadable();
    bool readAllowed(qint64* want);
    void pump();
    void handle(const CvqSimMsg& req);
    void answer(const CvqSimMsg& req, CvqSimMsg resp);
    void enqueue(const QByteArray& bytes, int delayMs);

    CvqSimPrinter* mPrinter;
    int mMaster = -1, mSlave = -1;
    QSocketNotifier* mReadNote = nullptr;
    QSocketNotifier* mWriteNote = nullptr;
    CvqSimFrameReader mReader;
    QList<Segment> mOut;
    qint64 mOutBytes = 0;
    bool mDelayDone = false;
    QElapsedTimer mLastWrite;
    QTimer mDelayTmr;
    // The PC's bytes taken so far at the link's rate (VQ_SIM_SERIAL_BPS).
    QElapsedTimer mRateClock;
    qint64 mRateCredit = 0, mRateAt = 0;
};

// The web server on a loopback address: the file and command paths, the
// identification and state pages, and the firmware upload. It serves the
// monitor's client and the tests, no more.
class CvqSimHttp : public QObject
{
public:
    explicit CvqSimHttp(CvqSimPrinter* printer);
    // "ADDR:PORT"; only IPv4 loopback addresses are accepted.
    bool vqListen(const QString& addressPort, QString* error);
    QString vqAddress() const;
    static bool vqParseLoopback(const QString& text, QHostAddress* addr, quint16* port, QString* error);
    CvqSimFault mFault;

private:
    // What one connection has received so far.
    struct Conn
    {
        QByteArray buf, method, target, contentType;
        qint64 length = -1;   // of the body; -1 while the header is incomplete
        qint64 stallAt = -1;  // a stalled upload: the body bytes read at most
        bool answered = false;
    };
    bool faultTakes(const QByteArray& target, const char* kind);
    void onReadyRead(QTcpSocket* s);
    void handle(QTcpSocket* s, const Conn& c, const QByteArray& body);
    void reply(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type = "text/plain; charset=utf-8");
    void send(QTcpSocket* s, int code, const QByteArray& body, const QByteArray& type);
    void sendHuge(QTcpSocket* s, const QByteArray& start, qint64 size);
    void lingerThenClose(QTcpSocket* s);

    CvqSimPrinter* mPrinter;
    QTcpServer* mServer;
    QHash<QTcpSocket*, Conn> mConns;
};

class CvqSimPrinter : public QObject
{
public:
    CvqSimPrinter(const QString& name, const QString& queue, const CvqSimPrinterConfig& cfg, CvqSimTree* tree,
                  const QString& outDir, qint64 fsLimit);
    ~CvqSimPrinter() override { vqUnlinkCom(); }

    // Opens the pseudo-terminal and the web server; false with a reason.
    bool vqStart(QString* error);
    // Removes the printer's entries from the host tree.
    void vqRemoveFromTree();
    QString vqSummary() const;     // the "printer …" line
    QString vqStatusLine() const;  // the "status …" line
    // Wait conditions ("printed 1", "gone /tmp/x" …): -1 for an unknown condition, else 0/1.
    int vqCondition(const QStringList& cond) const;

    // For the services: each request as it arrives ("serial type=10 id=4 path=…", "http GET /vqhas/tmp/x"), an
    // uploaded firmware image, file operations (a status byte) and commands.
    void vqNoteRequest(const QString& line);
    void vqFirmwareUploaded(const QByteArray& image);
    quint8 vqWrite(const QString& path, qint64 offset, const QByteArray& bytes);
    quint8 vqRemove(const QString& path);
    CvqSimExeResult vqExecute(const QString& cmdline);
    // Whether a command's output goes through a file, and the next such file.
    bool vqOutputToFile(const QByteArray& output) const;
    QString vqNextOutputFile() { return QStringLiteral("/tmp/vqexe.%1.out").arg(mExeOutSeq++ % 8); }
    // The web server's identification text and state page.
    QByteArray vqWebPage(bool snap) const;

    CvqSimFs mFs;
    QMap<QString, bool> mPlugged;  // the parts plugged in (kSimParts)

private:
    friend class CvqSimControl;  // its verbs set the printer's state
    // A scan: how it runs (pages, parts per page, -1: as the PC asks; the
    // time between steps and the result code it ends with) and where it is.
    struct Scan
    {
        int pages = 2, parts = -1, interval = 200, result = 0;
        bool lastAtState = false;  // the last step waits for a job-state read and ends the job with it
        bool openEnd = false;      // the last page never gets its empty end part
        QString tryAnswer;         // the parameter check's answer; empty: check the parameters
        bool running = false, held = false;
        QString tp = QStringLiteral("0"), task, base, fmt;
        int rstcode = 0, page = 1, part = 0;
        QByteArray pageBytes;
    };

    // The programs (vqsimprograms.cpp).
    bool vqRefused(const char* op);
    QString vqScanControl(const QStringList& args);
    CvqSimExeResult vqScanCommand(const QStringList& args);
    CvqSimExeResult vqPrintCommand(const QStringList& args);
    CvqSimExeResult vqBuiltin(const QString& prog, const QStringList& args);
    QString vqJobStateText() const;
    void vqStartScan(const QString& task, const QString& base, const QString& fmt, bool toPc, int parts, const Scan& s);
    void vqScanTick();
    void vqStopScan(int result);
    // Sets the activity bytes, ending the activity a print has lent.
    void vqSetActivity(quint8 b7, quint8 inJob);
    // Keeps a copy under the output directory.
    void vqWriteOut(const QString& relPath, const QByteArray& data);

    QByteArray vqDeviceId() const;
    QByteArray vqUsbReply() const;
    void vqSync();
    void vqSyncSerial();
    void vqReset();
    QString vqComLink() const;
    void vqUnlinkCom();

    QString mName, mSn, mQueue, mInstanceId, mHttpWanted, mWinePrefix, mOutDir, mRomver, mRomverAtStart;
    QString mComTarget;  // the pseudo-terminal our COM link points at; empty: none
    CvqSimModel mModel;
    int mUsbPort;
    CvqSimTree* mTree;
    CvqStsFields mSts;
    std::unique_ptr<CvqSimSerial> mSerial;
    std::unique_ptr<CvqSimHttp> mHttp;
    // Web answers set by "web": id, snap (whole answers), type, romver (snapshot fields); absent = auto.
    QMap<QString, QString> mWeb;
    bool mStarted = false, mBareId = false;
    // What the host tree holds now (an empty id: no device entry).
    bool mTreeQueue = false, mTreeSerial = false, mTreeReadFails = false;
    QByteArray mTreeId;
    int mTreeJobs = -1, mJobs = 0, mUproms = 0;
    QStringList mHistory;  // "t=<ms since start> <request>"
    QString mRefuse;       // the operation refused next: del or put
    QString mScannerAnswer, mJobState, mExeOut;
    int mStateCalls = 0, mStateFailAfter = 0, mStateFailures = 0, mExeOutSeq = 0, mPrinted = 0;
    bool mPrintOverlay = false;
    quint8 mSavedB7 = 4, mSavedInJob = 0;
    QTimer mPrintTmr, mScanTmr;
    Scan mScan, mNext;  // the scan now; how the next scan the PC starts runs
};
