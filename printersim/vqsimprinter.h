#pragma once
// One emulated printer: its status memory and identity, what it shows in the
// simulated host tree, its request history, and what it does for the PC
// whichever way the request came (serial or web): file operations on its file
// system (with the refusals a test set up), the programs it runs (job state,
// scanner check, scan, print and a few shell words over its file system). Its
// serial and web services are parts it owns; they report requests to it by
// signal and get its state pushed to them.

#include "vqsimfs.h"
#include "vqsimtree.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <memory>

// Status bytes and texts of the file and command services.
namespace vqsimstatus {
enum : quint8 { Ok, NotFound, BadRequest, NoSpace, Unsupported, BadOffset, Busy, Refused };
QString vqText(quint8 status);
}

// The key=value words of a control line from index from on (the last value of a key wins).
QMap<QString, QString> vqSimOptions(const QStringList& words, int from);
// A number, decimal or 0x hex, within [lo, hi]; a null text (an absent option) leaves *v as it is.
bool vqSimNumber(const QString& text, qint64* v, qint64 lo, qint64 hi);

// A planned disturbance of a service's answers ("linkfault …", "httpfault …"):
// its kinds and options, and which answers it takes: the next count (0: all)
// after the first after of them.
class CvqSimFault
{
public:
    // "KIND[,KIND…] key=value…" with the kinds and keys a service knows (numbers
    // with their bounds); empty result: ok, the fault is on.
    QString vqSet(const QStringList& args, const QStringList& kinds,
                  const QMap<QString, QPair<qint64, qint64>>& numbers, const QStringList& texts);
    bool vqHas(const char* kind) const { return mKinds.contains(QLatin1String(kind)); }
    qint64 vqNumber(const char* key, qint64 fallback) const;
    QString vqText(const char* key) const { return mOpts.value(QLatin1String(key)); }
    bool vqActive() const { return mActive; }
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

class CvqSimSerial;
class CvqSimHttp;

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
    QString http;        // empty: no web server
    QString winePrefix;  // set: the serial port is COM<4 + usbPort> there
};

class CvqSimPrinter : public QObject
{
    Q_OBJECT
public:
    CvqSimPrinter(const QString& name, const QString& queue, const CvqSimPrinterConfig& cfg, CvqSimTree* tree,
                  const QString& outDir, qint64 fsLimit);
    ~CvqSimPrinter() override;

    // Opens the pseudo-terminal and the web server; false with a reason.
    bool vqStart(QString* error);
    // Removes the printer's entries from the host tree.
    void vqRemoveFromTree();

    const QString& name() const { return mName; }
    const QString& sn() const { return mSn; }
    const QString& queue() const { return mQueue; }
    int usbPort() const { return mUsbPort; }
    QString vqSummary() const;     // the "printer …" line
    QString vqStatusLine() const;  // the "status …" line

    // Wait conditions ("printed 1", "gone /tmp/x" …): -1 for an unknown condition, else 0/1.
    int vqCondition(const QStringList& cond) const;

    // For the services: each request as it arrives ("serial type=10 id=4 path=…", "http GET /vqhas/tmp/x"), an
    // uploaded firmware image, file operations (a status byte) and commands.
    void vqNoteRequest(const QString& line);
    void vqFirmwareUploaded(const QByteArray& image);
    CvqSimFs& fs() { return mFs; }
    quint8 vqWrite(const QString& path, qint64 offset, const QByteArray& bytes);
    quint8 vqGet(const QString& path, QByteArray* data);
    quint8 vqRemove(const QString& path);
    CvqSimExeResult vqExecute(const QString& cmdline);
    // Whether a command's output goes through a file, and the next such file.
    bool vqOutputToFile(const QByteArray& output) const;
    QString vqNextOutputFile() { return QStringLiteral("/tmp/vqexe.%1.out").arg(mExeOutSeq++ % 8); }

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
    // Keeps a copy under the output directory; the path written, empty when none.
    QString vqWriteOut(const QString& relPath, const QByteArray& data);

    void vqSync();
    void vqSyncSerial();
    void vqReset();
    int vqPa() const;
    QByteArray vqSnapState() const;
    QString vqPtyPath() const;
    QString vqComLink() const;
    void vqUnlinkCom();

    QString mName;
    CvqSimModel mModel;
    QString mSn, mQueue, mInstanceId;
    int mUsbPort;
    QString mHttpWanted, mWinePrefix;
    QString mComTarget;  // the pseudo-terminal our COM link points at; empty: none
    CvqSimTree* mTree;
    CvqStsFields mSts;
    std::unique_ptr<CvqSimSerial> mSerial;
    std::unique_ptr<CvqSimHttp> mHttp;

    QString mRomver;
    QString mRomverAtStart;
    // Web answers set by "web": id, snap (whole answers), type, romver (snapshot fields); absent = auto.
    QMap<QString, QString> mWeb;
    int mJobs = 0;
    // The parts plugged in: device, queue, serial, port (the pseudo-terminal is
    // open), idread (the identification request works).
    QMap<QString, bool> mPlugged;
    bool mStarted = false;

    // What the host tree holds now.
    bool mTreeDevice = false, mTreeQueue = false, mTreeSerial = false, mTreeReadFails = false;
    QByteArray mTreeId;
    int mTreeJobs = -1;

    int mUproms = 0;
    QStringList mHistory;  // "t=<ms since start> <request>"

    QString mOutDir;
    CvqSimFs mFs;
    QString mRefuse;  // the operation refused next: del or put
    QString mScannerAnswer, mJobState, mExeOut;
    int mStateCalls = 0, mStateFailAfter = 0, mStateFailures = 0;
    int mExeOutSeq = 0, mPrinted = 0;
    bool mPrintOverlay = false;
    quint8 mSavedB7 = 4, mSavedInJob = 0;
    QTimer mPrintTmr;
    Scan mScan;
    Scan mNext;  // how the next scan the PC starts runs
    QTimer mScanTmr;
};
