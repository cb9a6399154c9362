#pragma once
// The pieces the fault play watches: the real monitor as a process (its own
// copy of the program, so its own single instance, with a firmware image
// beside it), its log read as it grows, its descriptors and threads from
// /proc, an X server of its own, and the pages a scan stored on the desktop.

#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <memory>

// An X server started with -displayfd, so it picks a free display itself.
class CvqXServer
{
public:
    ~CvqXServer();
    // The display (":N"), or empty when Xvfb is missing or did not start.
    QString vqStart();

private:
    std::unique_ptr<QProcess> mProc;
};

class CvqWatchedMonitor
{
public:
    ~CvqWatchedMonitor();

    // Copies program into dir as "monitor" (firmware: 1.RM beside it) and starts it
    // hidden with env, its standard output and error going to dir/monitor.log.
    bool vqStart(const QString& program, const QString& dir, const QByteArray& firmware, const QProcessEnvironment& env,
                 QString* error);
    // "monitor exit", then waits; kills it when it does not go. True when it went by itself.
    bool vqStop();
    bool vqAlive() const;
    qint64 vqPid() const;
    // Entries of /proc/<pid>/fd or /proc/<pid>/task; -1 when unreadable.
    int vqCount(const char* what) const;
    // Threads of Qt's global pool (large image conversions run there): they
    // end by themselves after 30 s idle, each with its event descriptor.
    int vqPooledThreads() const;
    // Resident memory in KiB.
    qint64 vqRssKb() const;

    // Log lines after the last vqMark() only are searched by vqWait.
    void vqMark();
    // Waits up to ms for a log line matching re; true when one came (the
    // line in *line). Returns early when the monitor has ended.
    bool vqWait(const QRegularExpression& re, int ms, QString* line = nullptr);
    // Log lines after the mark so far, matching re.
    int vqCountLines(const QRegularExpression& re);

private:
    void readLog();
    std::unique_ptr<QProcess> mProc;
    QString mProgram;
    QString mLogPath;
    qint64 mLogRead = 0;
    QByteArray mPartial;
    QStringList mLines;  // complete lines since the mark
};

// The least descriptor and thread counts seen over ms (sampled every 100 ms),
// Qt's pooled threads and their descriptors left out: the worker threads of a
// LAN pass come and go, what stays is the floor.
struct CvqFloor
{
    int fds = -1;
    int threads = -1;
};
CvqFloor vqFloorOver(const CvqWatchedMonitor& m, int ms);

// Every file under dir (recursively) with its SHA-1.
QMap<QString, QByteArray> vqHashTree(const QString& dir);
