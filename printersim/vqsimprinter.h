#pragma once
// One emulated printer: its status memory and identity, what it shows in the
// simulated host tree, its request history, and what it does for the PC
// whichever way the request came: file operations on its file system (with the
// refusals a test set up) and the programs it runs (job state, scanner check,
// scan, print and a few shell words over its file system). Its serial and web
// services reach it through CvqSimRequests, control lines through CvqSimSettable.

#include "vqsimfs.h"
#include "vqsimhostentry.h"
#include "vqsimmodel.h"
#include "vqsimprinterconfig.h"
#include "vqsimrequests.h"
#include "vqsimscanner.h"
#include "vqsimsettable.h"

#include <QMap>
#include <QObject>
#include <QTimer>
#include <memory>

class CvqSimHttp;
class CvqSimSerial;
class CvqSimTree;

class CvqSimPrinter final : public QObject, public CvqSimRequests, public CvqSimSettable
{
public:
    CvqSimPrinter(const QString& name, const QString& queue, const CvqSimPrinterConfig& cfg, CvqSimTree* tree,
                  const QString& outDir, qint64 fsLimit);
    ~CvqSimPrinter() override;

    // Opens the pseudo-terminal and the web server; false with a reason.
    bool vqStart(QString* error);
    // Removes the printer's entries from the host tree.
    void vqRemoveFromTree() { mEntry.vqRemove(); }
    const QString& vqName() const { return mName; }
    const QString& vqQueue() const { return mQueue; }
    const QString& vqSn() const { return mSn; }
    int vqUsbPort() const { return mUsbPort; }
    QString vqSummary() const;     // the "printer …" line
    QString vqStatusLine() const;  // the "status …" line
    // Wait conditions ("printed 1", "gone /tmp/x" …): -1 for an unknown condition, else 0/1.
    int vqCondition(const QStringList& cond) const;

    void vqNoteRequest(const QString& line) override;
    bool vqPlugged(const QString& part) const override { return mPlugged.value(part); }
    quint8 vqGet(const QString& path, QByteArray* out) const override { return mFs.vqGet(path, out); }
    bool vqHas(const QString& path) const override { return mFs.vqHas(path); }
    quint8 vqWrite(const QString& path, qint64 offset, const QByteArray& bytes) override;
    quint8 vqRemove(const QString& path) override;
    CvqSimExeResult vqExecute(const QString& cmdline) override;
    quint8 vqKeepOutput(const QByteArray& output, QString* file) override;
    QByteArray vqWebPage(bool snap) const override;
    void vqFirmwareUploaded(const QByteArray& image) override;

    void vqReset() override;
    void vqSetPlugged(const QString& part, bool on) override { mPlugged[part] = on; }
    CvqStsFields vqStatus() const override { return mSts; }
    void vqSetStatus(const CvqStsFields& sts) override { mSts = sts; }
    int vqLayout() const override { return mModel.pxg; }
    void vqSetActivity(quint8 b7, quint8 inJob) override;
    void vqSetRomver(const QString& romver) override { mRomver = romver; }
    void vqSetJobs(int jobs) override { mJobs = jobs; }
    CvqSimFs& vqFs() override { return mFs; }
    QString vqSetLinkFault(const QStringList& args) override;
    QString vqSetHttpFault(const QStringList& args) override;
    void vqSetWebAnswer(const QString& key, const QString& text) override { mWeb.insert(key, text); }
    void vqUseOwnWebAnswer(const QString& key) override { mWeb.remove(key); }
    QStringList vqHistory() const override { return mHistory; }
    void vqClearHistory() override { mHistory.clear(); }
    QString vqScanControl(const QStringList& args) override { return mScanner.vqControl(args); }
    void vqSetScannerAnswer(const QString& answer) override { mScannerAnswer = answer; }
    void vqSetExeOut(const QString& mode) override { mExeOut = mode; }
    void vqSetJobState(const QString& text) override { mJobState = text; }
    void vqFailJobState(int count, int after) override;
    void vqSetRefuse(const QString& op) override { mRefuse = op; }
    void vqSync() override;

private:
    // True, using it up, when a refusal covers this operation.
    bool refused(const char* op);
    CvqSimExeResult jobState();
    CvqSimExeResult print(const QStringList& args);
    CvqSimExeResult builtin(const QString& prog, const QStringList& args);
    QByteArray deviceId() const;
    // What the identification request at the USB port answers; the web page has the bare text.
    QByteArray usbReply() const;
    void syncPort();
    // Keeps a copy under the output directory.
    void writeOut(const QString& relPath, const QByteArray& data);

    QString mName, mSn, mQueue, mHttpWanted, mOutDir, mRomver, mRomverAtStart;
    CvqSimModel mModel;
    int mUsbPort;
    bool mBareId;
    QString mInstanceId;
    CvqSimFs mFs;
    CvqSimHostEntry mEntry;
    CvqSimScanner mScanner;
    CvqStsFields mSts;
    std::unique_ptr<CvqSimSerial> mSerial;
    std::unique_ptr<CvqSimHttp> mHttp;
    QMap<QString, bool> mPlugged;  // the parts plugged in (kParts)
    QMap<QString, QString> mWeb;   // the web answers set (id, snap, type, romver); absent: its own
    bool mStarted = false;
    int mJobs = 0, mUproms = 0, mPrinted = 0;
    QStringList mHistory;  // "t=<ms since start> <request>"
    QString mRefuse;       // the operation refused next: del or put
    QString mScannerAnswer, mJobState, mExeOut;
    int mStateCalls = 0, mStateFailAfter = 0, mStateFailures = 0, mExeOutSeq = 0;
    bool mPrintOverlay = false;  // a print lends "printing" for a while
    quint8 mSavedB7 = 4, mSavedInJob = 0;
    QTimer mPrintTmr;
};
