#pragma once
// The serial message service on a pseudo-terminal: reads request frames from
// the master side, answers them through the printer, and can disturb its
// answers on purpose (pieces, noise, stale or garbled frames, silence…).

#include "vqsimfault.h"
#include "vqsimframe.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class CvqSimBodyReader;
class CvqSimRequests;
class QSocketNotifier;

class CvqSimSerial : public QObject
{
public:
    explicit CvqSimSerial(CvqSimRequests* printer);
    ~CvqSimSerial() override { vqClose(); }
    bool vqOpen(QString* error);
    // A PC holding the port gets a hang-up; a later vqOpen makes a new one under a new name.
    void vqClose();
    bool vqIsOpen() const { return mMaster >= 0; }
    // The slave side, the name the PC opens; empty while closed.
    QString vqPath() const { return mPath; }
    qint64 vqRequests() const { return mRequests; }
    // "KIND[,KIND…] key=value…" or "clear"; the reason it was refused, empty: set.
    QString vqSetFault(const QStringList& args);

private:
    struct Segment
    {
        QByteArray bytes;
        int delayMs = 0;
    };
    void onReadable();
    bool readAllowed(qint64* want);
    void handle(const CvqSimMsg& req);
    // The answer's body to one request, by its type; note gets what the history line adds.
    QByteArray answerBody(const CvqSimMsg& req, QString* note);
    QByteArray putChunk(CvqSimBodyReader& in, QString* note);
    QByteArray getChunk(CvqSimBodyReader& in, QString* note);
    QByteArray fileQuery(quint8 type, CvqSimBodyReader& in, QString* note);
    QByteArray execute(quint8 type, CvqSimBodyReader& in, QString* note);
    void answer(const CvqSimMsg& req, CvqSimMsg resp);
    void enqueue(const QByteArray& bytes, int delayMs);
    void pump();

    CvqSimRequests* mPrinter;
    QString mPath;
    CvqSimFault mFault;
    qint64 mRequests = 0;
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
