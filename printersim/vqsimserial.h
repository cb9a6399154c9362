#pragma once
// The printer's serial message service on a pseudo-terminal: reads request
// frames from the master side, answers them through the printer's programs,
// and can disturb its answers on purpose (pieces, noise, stale or garbled
// frames, silence…).

#include "vqsimframe.h"
#include "vqsimprinter.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

class CvqSimBodyReader;
class CvqSimBodyWriter;
class QSocketNotifier;

class CvqSimSerial : public QObject
{
    Q_OBJECT
public:
    explicit CvqSimSerial(CvqSimPrinter* printer);
    ~CvqSimSerial() override;

    bool vqOpen(QString* error);
    // Closes the pseudo-terminal: a PC holding the port gets a hang-up; a
    // later vqOpen makes a new one under a new name.
    void vqClose();
    bool vqIsOpen() const { return mMaster >= 0; }
    // The slave side, the name the PC opens.
    const QString& vqPath() const { return mPath; }
    // An unplugged printer hears nothing.
    void vqSetHearing(bool on) { mHearing = on; }

    // "linkfault" arguments (after the word); empty result = ok.
    QString vqSetFault(const QStringList& args);
    void vqClearFault() { mFault = CvqSimFault(); }
    qint64 vqRequests() const { return mRequests; }

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
    void command(bool along, bool good, const QString& cmd, CvqSimBodyWriter& w);
    void answer(const CvqSimMsg& req, CvqSimMsg resp);
    void enqueue(const QByteArray& bytes, int delayMs);

    CvqSimPrinter* mPrinter;
    bool mHearing = true;
    QString mPath;
    int mMaster = -1;
    int mSlave = -1;
    QSocketNotifier* mReadNote = nullptr;
    QSocketNotifier* mWriteNote = nullptr;
    CvqSimFrameReader mReader;
    QList<Segment> mOut;
    qint64 mOutBytes = 0;
    bool mDelayDone = false;
    QElapsedTimer mLastWrite;
    QTimer mDelayTmr;
    CvqSimFault mFault;
    qint64 mRequests = 0;
    // The PC's bytes taken so far at the link's rate (VQ_SIM_SERIAL_BPS).
    QElapsedTimer mRateClock;
    qint64 mRateCredit = 0;
    qint64 mRateAt = 0;
};
