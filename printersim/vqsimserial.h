#pragma once
// The printer's serial message service on a pseudo-terminal: reads request
// frames from the master side, answers them from the printer's file system
// and programs, and can disturb its answers on purpose (pieces, noise, stale
// or garbled frames, silence…).

#include "vqsimframe.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>

class CvqSimPrinter;
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

    // "linkfault" arguments (after the word); empty result = ok.
    QString vqSetFault(const QStringList& args);
    void vqClearFault() { mFault = Fault(); }
    // Requests answered so far.
    qint64 vqRequests() const { return mRequests; }

private:
    struct Fault
    {
        QSet<QString> kinds;
        int count = 1;  // 0: until cleared
        int after = 0;
        QSet<int> types;
        int size = 1;
        int gap = 2;
        int delay = 6000;
        bool active = false;
    };
    struct Segment
    {
        QByteArray bytes;
        int delayMs = 0;
    };

    void onReadable();
    void onWritable();
    void pump();
    // The answer to one request, false when none is due.
    bool handle(const CvqSimMsg& req, CvqSimMsg* resp);
    void answer(const QByteArray& rawReq, CvqSimMsg resp);
    void enqueue(const QByteArray& bytes, int delayMs);

    CvqSimPrinter* mPrinter;
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
    Fault mFault;
    qint64 mRequests = 0;
    // The PC's bytes taken so far at the link's rate (VQ_SIM_SERIAL_BPS).
    QElapsedTimer mRateClock;
    qint64 mRateCredit = 0;
    qint64 mRateAt = 0;
};
