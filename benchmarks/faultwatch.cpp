#include "faultwatch.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

CvqXServer::~CvqXServer()
{
    if (mProc) {
        mProc->terminate();
        if (!mProc->waitForFinished(5000))
            mProc->kill();
        mProc->waitForFinished(5000);
    }
}

QString CvqXServer::vqStart()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        return QString();
    mProc.reset(new QProcess);
    mProc->start(xvfb, {"-displayfd", "1", "-screen", "0", "1280x800x24", "-br", "-nolisten", "tcp"});
    if (!mProc->waitForStarted(10000))
        return QString();
    QByteArray out;
    while (!out.endsWith('\n') && mProc->waitForReadyRead(15000))
        out += mProc->readAllStandardOutput();
    bool ok = false;
    const int n = out.trimmed().toInt(&ok);
    return ok ? QStringLiteral(":%1").arg(n) : QString();
}

CvqWatchedMonitor::~CvqWatchedMonitor()
{
    if (vqAlive())
        vqStop();
}

bool CvqWatchedMonitor::vqStart(const QString& program, const QString& dir, const QByteArray& firmware,
                                const QProcessEnvironment& env, QString* error)
{
    mProgram = dir + QStringLiteral("/monitor");
    mLogPath = dir + QStringLiteral("/monitor.log");
    QFile::remove(mProgram);
    QFile fw(dir + QStringLiteral("/1.RM"));
    if (!QFile::copy(program, mProgram) || !fw.open(QIODevice::WriteOnly) || fw.write(firmware) != firmware.size()) {
        *error = QStringLiteral("cannot copy %1 and its firmware image to %2").arg(program, dir);
        return false;
    }
    fw.close();
    mProc.reset(new QProcess);
    mProc->setProcessEnvironment(env);
    mProc->setProcessChannelMode(QProcess::MergedChannels);
    mProc->setStandardOutputFile(mLogPath);
    mProc->start(mProgram, {QStringLiteral("hide")});
    if (!mProc->waitForStarted(10000)) {
        *error = QStringLiteral("cannot start the monitor: ") + mProc->errorString();
        return false;
    }
    mLogRead = 0;
    mPartial.clear();
    mLines.clear();
    return true;
}

bool CvqWatchedMonitor::vqStop()
{
    if (!mProc)
        return false;
    QProcess exitVerb;
    exitVerb.setProcessEnvironment(mProc->processEnvironment());
    exitVerb.start(mProgram, {QStringLiteral("exit")});
    exitVerb.waitForFinished(30000);
    const bool went = mProc->waitForFinished(30000);
    if (!went) {
        mProc->kill();
        mProc->waitForFinished(5000);
    }
    return went && mProc->exitStatus() == QProcess::NormalExit;
}

bool CvqWatchedMonitor::vqAlive() const { return mProc && mProc->state() == QProcess::Running; }

qint64 CvqWatchedMonitor::vqPid() const { return mProc ? mProc->processId() : 0; }

int CvqWatchedMonitor::vqCount(const char* what) const
{
    const QDir d(QStringLiteral("/proc/%1/%2").arg(vqPid()).arg(QLatin1String(what)));
    if (!vqAlive() || !d.exists())
        return -1;
    return d.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
}

int CvqWatchedMonitor::vqPooledThreads() const
{
    int n = 0;
    for (const QString& t :
         QDir(QStringLiteral("/proc/%1/task").arg(vqPid())).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/%1/task/%2/comm").arg(vqPid()).arg(t));
        n += comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("Thread (pooled)") ? 1 : 0;
    }
    return n;
}

qint64 CvqWatchedMonitor::vqRssKb() const
{
    QFile f(QStringLiteral("/proc/%1/status").arg(vqPid()));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void CvqWatchedMonitor::readLog()
{
    QFile f(mLogPath);
    if (!f.open(QIODevice::ReadOnly) || f.size() <= mLogRead)
        return;
    f.seek(mLogRead);
    const QByteArray more = f.readAll();
    mLogRead += more.size();
    mPartial += more;
    const int end = mPartial.lastIndexOf('\n');
    if (end < 0)
        return;
    for (const QByteArray& l : mPartial.left(end).split('\n'))
        mLines << QString::fromUtf8(l);
    mPartial.remove(0, end + 1);
}

void CvqWatchedMonitor::vqMark()
{
    readLog();
    mLines.clear();
}

bool CvqWatchedMonitor::vqWait(const QRegularExpression& re, int ms, QString* line)
{
    QElapsedTimer t;
    t.start();
    int seen = 0;
    for (;;) {
        readLog();
        for (; seen < mLines.size(); ++seen) {
            if (re.match(mLines[seen]).hasMatch()) {
                if (line)
                    *line = mLines[seen];
                return true;
            }
        }
        if (t.elapsed() >= ms || !vqAlive())
            return false;
        QThread::msleep(10);
    }
}

int CvqWatchedMonitor::vqCountLines(const QRegularExpression& re)
{
    readLog();
    int n = 0;
    for (const QString& l : qAsConst(mLines))
        n += re.match(l).hasMatch() ? 1 : 0;
    return n;
}

CvqFloor vqFloorOver(const CvqWatchedMonitor& m, int ms)
{
    CvqFloor f;
    QElapsedTimer t;
    t.start();
    do {
        const int pooled = m.vqPooledThreads();
        const int fds = m.vqCount("fd") - pooled;
        const int threads = m.vqCount("task") - pooled;
        if (!m.vqAlive())
            break;
        if (f.fds < 0 || fds < f.fds)
            f.fds = fds;
        if (f.threads < 0 || threads < f.threads)
            f.threads = threads;
        QThread::msleep(100);
    } while (t.elapsed() < ms);
    return f;
}

QMap<QString, QByteArray> vqHashTree(const QString& dir)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        QCryptographicHash h(QCryptographicHash::Sha1);
        if (f.open(QIODevice::ReadOnly) && h.addData(&f))
            out.insert(path, h.result());
        else
            out.insert(path, QByteArray());
    }
    return out;
}
