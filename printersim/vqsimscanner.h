#pragma once
// The printer's scanner: the scan the PC starts (its parameter check and run),
// the scan started at the panel, how the next scan runs, and the pages it
// writes over time into the printer's file system.

#include "vqsimstatus.h"

#include <QTimer>
#include <functional>

class CvqSimFs;

class CvqSimScanner
{
public:
    // Whole pages are also kept through keep (a path under the output folder).
    using Keep = std::function<void(const QString& relPath, const QByteArray& data)>;
    CvqSimScanner(CvqSimFs* fs, const QString& printer, Keep keep);

    // "scan stop [result=N]", "scan [options]" (a panel scan to the PC) and
    // "scanjob [options]" (how the next scan the PC starts runs); the reason one is refused.
    QString vqControl(const QStringList& args);
    // The scan program's "try …" and "run …".
    CvqSimExeResult vqCommand(const QStringList& args);
    // A job-state read: a held last page appears now.
    void vqStateRead();
    // The scan job's lines of the job-state answer.
    QString vqStateLines() const;
    bool vqRunning() const { return mScan.running; }
    // The next scan runs as by default again.
    void vqResetNext() { mNext = Scan(); }

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
    QString stop(const QMap<QString, QString>& options);
    void start(const QString& task, const QString& base, const QString& fmt, bool toPc, int parts, const Scan& s);
    void tick();
    void end(int result);

    CvqSimFs* mFs;
    QString mPrinter;
    Keep mKeep;
    QTimer mTmr;
    Scan mScan, mNext;  // the scan now; how the next scan the PC starts runs
};
