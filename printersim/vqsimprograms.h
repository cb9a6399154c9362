#pragma once
// The programs the printer runs for the PC (job state, scanner check, scan,
// print and a few shell words over its file system) and its scanner's state.

#include "vqsimfs.h"
#include "vqsimtree.h"

#include <QObject>
#include <QTimer>

// The answer of a command run on the printer.
struct CvqSimExeResult
{
    quint8 status = 0;
    QString err;
    QString output;
};

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

// How the next scan runs: pages, parts per page (-1: as the PC asks), the
// time between steps and the result code it ends with.
struct CvqSimScanSettings
{
    int pages = 2;
    int parts = -1;
    int interval = 200;
    int result = 0;
    bool lastAtState = false;  // the last step waits for a job-state read and ends the job with it
    bool openEnd = false;      // the last page never gets its empty end part
    QString tryAnswer;         // the parameter check's answer; empty: check the parameters
};

class CvqSimPrograms : public QObject
{
    Q_OBJECT
public:
    // fs and sts belong to the printer and outlive this object.
    CvqSimPrograms(const QString& printerName, bool hasScan, const QString& outDir, CvqSimFs* fs, CvqStsFields* sts);

    // Back to a fresh printer's settings; counters and a running scan stay.
    void vqReset();
    CvqSimExeResult vqExecute(const QString& cmdline);

    // Sets the activity bytes, ending the activity a print has lent.
    void vqSetActivity(quint8 b7, quint8 inJob);
    // The one-key print button; empty result = ok.
    QString vqPressKey();
    // A scan to the PC started on the panel; empty result = ok.
    QString vqStartPanelScan(const CvqSimScanSettings& s, const QString& fmt);
    void vqStopScan(int result);
    bool vqScanning() const { return mScan.running; }
    const CvqSimScanSettings& vqNextScan() const { return mNext; }
    void vqSetNextScan(const CvqSimScanSettings& s) { mNext = s; }
    void vqSetScannerAnswer(const QString& answer) { mScannerAnswer = answer; }
    void vqSetJobState(const QString& text) { mJobStateOverride = text; }
    // The job-state program answers after calls normally, then fails count times.
    void vqSetJobStateFailures(int after, int count)
    {
        mStateCalls = 0;
        mStateFailAfter = after;
        mStateFailures = count;
    }
    void vqSetExeOut(const QString& mode) { mExeOut = mode; }
    void vqSetPrintTime(int ms) { mPrintTimeMs = ms; }
    int vqPrinted() const { return mPrinted; }

    // Whether a command's output goes through a file, and the next such file.
    bool vqOutputToFile(const QByteArray& output) const;
    QString vqNextOutputFile();

    // Keeps a copy under the output directory; false when there is none.
    bool vqWriteOut(const QString& relPath, const QByteArray& data, QString* written);

signals:
    // "printed …", "scan-start …": things a watcher wants to know.
    void vqEvent(const QString& text);
    // The status memory changed without a command (a print started or ended).
    void vqChanged();

private:
    CvqSimExeResult vqScanCommand(const QStringList& args);
    CvqSimExeResult vqPrintCommand(const QStringList& args);
    CvqSimExeResult vqBuiltin(const QString& prog, const QStringList& args);
    QString vqJobStateText() const;
    void vqStartScan(const QString& task, const QString& base, const QString& fmt, bool toPc, int parts,
                     const CvqSimScanSettings& s);
    void vqScanTick();

    QString mName;
    bool mHasScan;
    QString mOutDir;
    CvqSimFs* mFs;
    CvqStsFields* mSts;

    QString mScannerAnswer;
    QString mJobStateOverride;
    int mStateCalls = 0, mStateFailAfter = 0, mStateFailures = 0;
    QString mExeOut = QStringLiteral("auto");
    int mExeOutSeq = 0;
    int mPrintTimeMs = 3000;
    bool mPrintOverlay = false;
    quint8 mSavedB7 = 4, mSavedInJob = 0;
    QTimer mPrintTmr;
    int mPrinted = 0;
    int mKeys = 0;

    struct Scan
    {
        bool running = false;
        QString tp = QStringLiteral("0");
        int rstcode = 0;
        QString task, base, fmt;
        int pages = 2, parts = 0, interval = 200, result = 0;
        int page = 1, part = 0;
        bool lastAtState = false, openEnd = false, held = false;
        QByteArray pageBytes;
        QString outDir;
    } mScan;
    // Settings for the next scan the PC starts.
    CvqSimScanSettings mNext;
    QTimer mScanTmr;
};
