#pragma once
// One emulated printer: its status memory and identity, its entries in the
// simulated host tree, its file system, the printer-side programs and the
// file and command services that the serial and HTTP front ends share.

#include "vqsimframe.h"
#include "vqsimfs.h"
#include "vqsimtree.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

class CvqSimSerial;
class CvqSimHttp;

struct CvqSimModel
{
    QString type;  // as the web server names it, e.g. "P4120W"
    QString pid;
    int pxg;
    int hasScan;
};
const QList<CvqSimModel>& vqSimModels();
const CvqSimModel* vqSimFindModel(const QString& type);

struct CvqSimPrinterConfig
{
    QString model = QStringLiteral("P4120W");
    QString pid;      // empty: the model's
    QString sn;
    QString queue;    // empty: "Morvane " + model
    int usbPort = 1;
    QString romver = QStringLiteral("V1.3.6500");
    QString http;     // empty: no web server
    bool plugged = true;
};

// The answer of a command run on the printer.
struct CvqSimExeResult
{
    quint8 status = 0;
    QString err;
    QString output;
};

// Status bytes and texts of the file and command services.
namespace vqsimstatus {
enum : quint8 { Ok = 0, NotFound = 1, BadRequest = 2, NoSpace = 3, Unsupported = 4, BadOffset = 5, Busy = 6 };
QString vqText(quint8 status);
}

class CvqSimPrinter : public QObject
{
    Q_OBJECT
public:
    CvqSimPrinter(const QString& name, const CvqSimPrinterConfig& cfg, CvqSimTree* tree, const QString& outDir,
                  qint64 fsLimit, QObject* parent = nullptr);
    ~CvqSimPrinter() override;

    // Opens the pseudo-terminal and the web server; false with a reason.
    bool vqStart(QString* error);
    // Removes the printer's entries from the host tree.
    void vqRemoveFromTree();

    const QString& name() const { return mName; }
    QString vqPtyPath() const;
    QString vqHttpAddress() const;
    const QString& sn() const { return mSn; }
    const QString& queue() const { return mQueue; }
    int usbPort() const { return mUsbPort; }
    const QString& instanceId() const { return mInstanceId; }
    QString vqSummary() const;       // the "printer …" line
    QString vqStatusLine() const;    // the "status …" line
    QStringList vqHistory() const { return mHistory; }

    // A control command for this printer; empty result = ok, else the reason.
    // Data lines for the caller go to out.
    QString vqControl(const QStringList& args, QStringList* out);
    static bool vqIsPrinterCommand(const QString& word);

    // Wait conditions ("printed 1", "gone /tmp/x" …): nullopt-like -1 for an
    // unknown condition, else 0/1.
    int vqCondition(const QStringList& cond) const;

    // Serial service: the answer to one request, false when none is due.
    bool vqHandle(const CvqSimMsg& req, CvqSimMsg* resp);
    bool vqSerialPlugged() const { return mPlugSerial; }

    // Shared by the web server.
    CvqSimFs& fs() { return mFs; }
    CvqSimExeResult vqExecute(const QString& cmdline);
    QByteArray vqDeviceId() const;
    QByteArray vqSnapState() const;
    void vqFirmwareUploaded(const QByteArray& image);
    void vqNoteHistory(const QString& line);

    int vqPa() const;

signals:
    void vqEvent(const QString& line);

private:
    void vqSync();
    void vqReset();
    QString vqSetFault(const QString& name, bool on);
    QStringList vqFaultNames() const;
    QString vqSetLevel(bool toner, const QString& value);
    int vqLevel(bool toner) const;
    QString vqJobStateText() const;
    CvqSimExeResult vqScanCommand(const QStringList& args);
    CvqSimExeResult vqPrintCommand(const QStringList& args);
    CvqSimExeResult vqBuiltin(const QString& prog, const QStringList& args);
    void vqStartScan(const QString& task, const QString& base, const QString& fmt, bool toPc, int parts);
    void vqScanTick();
    void vqFinishScan(int result);
    void vqSetActivity(quint8 b7, quint8 inJob);
    bool vqWriteOut(const QString& relPath, const QByteArray& data, QString* written);
    void event(const QString& text);

    QString mName;
    CvqSimModel mModel;
    QString mSn;
    QString mQueue;
    QString mInstanceId;
    int mUsbPort;
    QString mHttpWanted;

    CvqSimTree* mTree;
    QString mOutDir;
    CvqSimFs mFs;
    std::unique_ptr<CvqSimSerial> mSerial;
    std::unique_ptr<CvqSimHttp> mHttp;

    // Status memory and identification.
    CvqStsFields mSts;
    int mPxg;
    int mTll = 10;
    QString mRomver;
    QString mRomverAtStart;
    QString mUpromVer;
    QByteArray mRawId;   // replaces the whole identification text when set
    int mJobs = 0;
    bool mPlugDevice, mPlugQueue, mPlugSerial;

    // What the host tree holds now.
    bool mTreeDevice = false, mTreeQueue = false, mTreeSerial = false;
    QByteArray mTreeId;
    int mTreeJobs = -1;

    // Printer-side programs.
    QString mScannerAnswer;
    QString mJobStateOverride;
    QString mExeOut = QStringLiteral("auto");
    int mExeOutSeq = 0;
    int mPrintTimeMs = 3000;
    bool mPrintOverlay = false;
    quint8 mSavedB7 = 4, mSavedInJob = 0;
    QTimer mPrintTmr;
    int mPrinted = 0;
    int mUproms = 0;
    int mKeys = 0;
    qint64 mRequests = 0;
    QStringList mHistory;

    struct Scan
    {
        bool running = false;
        QString tp = QStringLiteral("0");
        int rstcode = 0;
        QString task, base, fmt;
        int pages = 2, parts = 0, interval = 200, result = 0;
        int page = 1, part = 0;
        QByteArray pageBytes;
        QString outDir;
    } mScan;
    // Settings for the next scan the PC starts.
    int mNextPages = 2, mNextParts = -1, mNextInterval = 200, mNextResult = 0;
    QTimer mScanTmr;

    friend class CvqSimSerial;
};
