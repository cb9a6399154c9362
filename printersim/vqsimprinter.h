#pragma once
// One emulated printer: its status memory and identity, what it shows in the
// simulated host tree, its request history and the control commands that set
// them. Its serial and web services and its programs are parts it owns; they
// report requests to it by signal and get its state pushed to them.

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
    int pxg;  // consumable layout
    bool hasScan;
};
const QList<CvqSimModel>& vqSimModels();

// The parts of a printer that can be unplugged: its device entry, its queue, its
// serial port entry, the pseudo-terminal itself, and the identification read.
inline const QStringList kSimParts = {"device", "queue", "serial", "port", "idread"};

struct CvqSimPrinterConfig
{
    QString model = QStringLiteral("P4120W");
    QString pid;  // empty: the model's
    QString sn;
    QString queue;
    int usbPort = 1;
    QString romver = QStringLiteral("V1.3.6500");
    QString http;        // empty: no web server
    QString winePrefix;  // set: the serial port is COM<4 + usbPort> there
};

class CvqSimPrinter : public QObject
{
    Q_OBJECT
public:
    CvqSimPrinter(const QString& name, const CvqSimPrinterConfig& cfg, CvqSimTree* tree, const QString& outDir,
                  qint64 fsLimit);
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

    // A control command for this printer (args[0] is its name); empty result =
    // ok, else the reason. Data lines for the caller go to out.
    QString vqControl(const QStringList& args, QStringList* out);
    static bool vqIsCommand(const QString& word);
    // Wait conditions ("printed 1", "gone /tmp/x" …): -1 for an unknown condition, else 0/1.
    int vqCondition(const QStringList& cond) const;

signals:
    void vqEvent(const QString& line);

private:
    struct Command;
    static const QList<Command>& vqCommands();

    void vqSync();
    void vqSyncSerial();
    void vqReset();
    int vqLevel(bool toner) const;
    int vqPa() const;
    QByteArray vqDeviceId() const;
    QByteArray vqSnapState() const;
    void vqNoteEvent(const QString& text) { emit vqEvent(QStringLiteral("event %1 %2").arg(mName, text)); }
    void vqNoteRequest(const QString& line);
    void vqFirmwareUploaded(const QByteArray& image);
    QString vqPtyPath() const;
    QString vqComLink() const;
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
    CvqStsFields mSts;
    std::unique_ptr<CvqSimPrograms> mPrograms;
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
};
