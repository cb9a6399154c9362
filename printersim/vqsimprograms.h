#pragma once
// What the printer does for the PC, whichever way the request came (serial or
// web): file operations on its file system (with the refusals a test set up),
// the programs it runs (job state, scanner check, scan, print and a few shell
// words over its file system) and its scanner's state.

#include "vqsimfs.h"
#include "vqsimtree.h"

#include <QMap>
#include <QSet>
#include <QObject>
#include <QTimer>

// Status bytes and texts of the file and command services.
namespace vqsimstatus {
enum : quint8 {
    Ok = 0,
    NotFound = 1,
    BadRequest = 2,
    NoSpace = 3,
    Unsupported = 4,
    BadOffset = 5,
    Busy = 6,
    Refused = 7
};
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
    QString err;
    QString output;
};

class CvqSimPrograms : public QObject
{
    Q_OBJECT
public:
    // sts belongs to the printer and outlives this object.
    CvqSimPrograms(const QString& printerName, bool hasScan, const QString& outDir, qint64 fsLimit, CvqStsFields* sts);

    CvqSimFs& fs() { return mFs; }
    // Back to a fresh printer's settings; files, counters and a running scan stay.
    void vqReset();

    // File operations of both services; a status byte.
    quint8 vqWrite(const QString& path, qint64 offset, const QByteArray& bytes);
    quint8 vqGet(const QString& path, QByteArray* data);
    quint8 vqRemove(const QString& path);

    CvqSimExeResult vqExecute(const QString& cmdline);
    // Whether a command's output goes through a file, and the next such file.
    bool vqOutputToFile(const QByteArray& output) const;
    QString vqNextOutputFile() { return QStringLiteral("/tmp/vqexe.%1.out").arg(mExeOutSeq++ % 8); }

    // The control commands of the programs (key, scan, scanjob, scanner,
    // jobstate, exeout, refuse); empty result = ok.
    static bool vqIsCommand(const QString& word);
    QString vqControl(const QStringList& args);
    // Sets the activity bytes, ending the activity a print has lent.
    void vqSetActivity(quint8 b7, quint8 inJob);
    bool vqScanning() const { return mScan.running; }
    int vqPrinted() const { return mPrinted; }
    // Keeps a copy under the output directory; the path written, empty when none.
    QString vqWriteOut(const QString& relPath, const QByteArray& data);

signals:
    // "printed …", "scan-start …": things a watcher wants to know.
    void vqEvent(const QString& text);
    // The status memory changed without a command (a print started or ended).
    void vqChanged();

private:
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
    struct Refusal
    {
        QString op;
        QString path;  // resolved; empty: any
        int count;     // 0: until cleared
    };

    bool vqRefused(const char* op, const QString& path);
    QString vqScanControl(const QStringList& args);
    CvqSimExeResult vqScanCommand(const QStringList& args);
    CvqSimExeResult vqPrintCommand(const QStringList& args);
    CvqSimExeResult vqBuiltin(const QString& prog, const QStringList& args);
    QString vqJobStateText() const;
    void vqStartScan(const QString& task, const QString& base, const QString& fmt, bool toPc, int parts, const Scan& s);
    void vqScanTick();
    void vqStopScan(int result);

    QString mName;
    bool mHasScan;
    QString mOutDir;
    CvqSimFs mFs;
    CvqStsFields* mSts;
    QList<Refusal> mRefusals;
    QString mScannerAnswer, mJobState, mExeOut;
    int mStateCalls = 0, mStateFailAfter = 0, mStateFailures = 0;
    int mExeOutSeq = 0, mPrinted = 0, mKeys = 0;
    bool mPrintOverlay = false;
    quint8 mSavedB7 = 4, mSavedInJob = 0;
    QTimer mPrintTmr;
    Scan mScan;
    Scan mNext;  // how the next scan the PC starts runs
    QTimer mScanTmr;
};
