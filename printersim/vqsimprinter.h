#pragma once
// One emulated printer: its status memory and identity, its entries in the
// simulated host tree, its file system and the control commands that set
// them. The serial and web services and the printer-side programs are its
// parts, each in its own class.

#include "vqsimfs.h"
#include "vqsimprograms.h"
#include "vqsimtree.h"

#include <QMap>
#include <QObject>
#include <QStringList>
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
    QString pid;  // empty: the model's
    QString sn;
    QString queue;  // empty: "Morvane " + model
    int usbPort = 1;
    QString romver = QStringLiteral("V1.3.6500");
    QString http;  // empty: no web server
    bool plugged = true;
    QString winePrefix;  // set: the serial port is COM<4 + usbPort> there
};

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
    QString vqSummary() const;     // the "printer …" line
    QString vqStatusLine() const;  // the "status …" line
    QStringList vqHistory() const { return mHistory; }

    // A control command for this printer; empty result = ok, else the reason.
    // Data lines for the caller go to out.
    QString vqControl(const QStringList& args, QStringList* out);
    static bool vqIsPrinterCommand(const QString& word);

    // Wait conditions ("printed 1", "gone /tmp/x" …): nullopt-like -1 for an
    // unknown condition, else 0/1.
    int vqCondition(const QStringList& cond) const;

    bool vqSerialPlugged() const { return mPlugSerial; }

    // Shared by the serial and web services.
    CvqSimFs& fs() { return mFs; }
    CvqSimPrograms& programs() { return *mPrograms; }
    QByteArray vqDeviceId() const;
    QByteArray vqSnapState() const;
    // The "/ajax_get1284" answer: the identification text unless "web id" replaced it.
    QByteArray vqWebId() const;
    void vqFirmwareUploaded(const QByteArray& image);
    void vqNoteHistory(const QString& line);
    // True, using up one refusal, when a "refuse" command covers this file
    // operation ("del", "get" or "put") on path now.
    bool vqRefuse(const char* op, const QString& path);

    int vqPa() const;

signals:
    void vqEvent(const QString& line);

private:
    // A control command: args[0] is its name; empty result = ok.
    using Command = QString (CvqSimPrinter::*)(const QStringList& args, QStringList* out);
    struct CommandRow
    {
        const char* name;
        int minArgs;  // after the name
        Command run;
    };
    static const QList<CommandRow>& vqCommands();

    QString vqCmdReset(const QStringList& args, QStringList* out);
    QString vqCmdPlug(const QStringList& args, QStringList* out);
    QString vqCmdActivity(const QStringList& args, QStringList* out);
    QString vqCmdFault(const QStringList& args, QStringList* out);
    QString vqCmdFaults(const QStringList& args, QStringList* out);
    QString vqCmdSource(const QStringList& args, QStringList* out);
    QString vqCmdLevel(const QStringList& args, QStringList* out);
    QString vqCmdChip(const QStringList& args, QStringList* out);
    QString vqCmdRomver(const QStringList& args, QStringList* out);
    QString vqCmdUpromver(const QStringList& args, QStringList* out);
    QString vqCmdNumber(const QStringList& args, QStringList* out);
    QString vqCmdKey(const QStringList& args, QStringList* out);
    QString vqCmdScan(const QStringList& args, QStringList* out);
    QString vqCmdScanner(const QStringList& args, QStringList* out);
    QString vqCmdJobState(const QStringList& args, QStringList* out);
    QString vqCmdExeOut(const QStringList& args, QStringList* out);
    QString vqCmdRaw(const QStringList& args, QStringList* out);
    QString vqCmdFile(const QStringList& args, QStringList* out);
    QString vqCmdLinkFault(const QStringList& args, QStringList* out);
    QString vqCmdHttpFault(const QStringList& args, QStringList* out);
    QString vqCmdWeb(const QStringList& args, QStringList* out);
    QString vqCmdHistory(const QStringList& args, QStringList* out);
    QString vqCmdRefuse(const QStringList& args, QStringList* out);

    void vqSync();
    void vqReset();
    QString vqSetFault(const QString& name, bool on);
    QString vqSetFaults(const QStringList& names, bool on, CvqStsFields saved);
    QStringList vqFaultNames() const;
    QString vqSetLevel(bool toner, const QString& value);
    int vqLevel(bool toner) const;
    void vqNoteEvent(const QString& text);
    QString vqComLink() const;
    bool vqLinkCom(QString* error);
    void vqUnlinkCom();

    QString mName;
    CvqSimModel mModel;
    QString mSn;
    QString mQueue;
    QString mInstanceId;
    int mUsbPort;
    QString mHttpWanted;
    QString mWinePrefix;
    QString mComTarget;  // the pseudo-terminal our COM link points at; empty: none

    CvqSimTree* mTree;
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
    QByteArray mRawId;  // replaces the whole identification text when set
    // Web answers set by "web": id, snap (whole answers), type, romver (snapshot fields); absent = auto.
    QMap<QString, QString> mWeb;
    int mJobs = 0;
    bool mPlugDevice, mPlugQueue, mPlugSerial;
    // Unplugged "port": the pseudo-terminal is closed; "idread": the identification request fails.
    bool mPlugPort = true, mPlugIdRead = true;
    bool mStarted = false;

    // What the host tree holds now.
    bool mTreeDevice = false, mTreeQueue = false, mTreeSerial = false, mTreeReadFails = false;
    QByteArray mTreeId;
    int mTreeJobs = -1;

    int mUproms = 0;
    QStringList mHistory;  // "t=<ms since start> <request>"
    struct Refusal
    {
        QString op;
        QString path;  // resolved; empty: any
        int count;     // 0: until cleared
    };
    QList<Refusal> mRefusals;
    std::unique_ptr<CvqSimPrograms> mPrograms;
};
