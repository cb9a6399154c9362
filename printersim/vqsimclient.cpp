#include "vqsimclient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

CvqSimClient::CvqSimClient() = default;

CvqSimClient::~CvqSimClient() { vqStop(); }

QMap<QString, QString> CvqSimClient::vqFields(const QString& line)
{
    QMap<QString, QString> f;
    for (const QString& w : line.split(' ', Qt::SkipEmptyParts)) {
        const int eq = w.indexOf('=');
        if (eq > 0)
            f.insert(w.left(eq), w.mid(eq + 1));
    }
    return f;
}

void CvqSimClient::readOutput()
{
    if (!mOutputFile.isEmpty()) {
        QFile f(mOutputFile);
        if (f.open(QIODevice::ReadOnly))
            mOutput = QString::fromUtf8(f.readAll());
    } else if (mProc) {
        mOutput += QString::fromUtf8(mProc->readAllStandardOutput());
    }
}

#ifdef Q_OS_WIN
// Under Wine the emulator is a Unix program: it takes Unix paths, and its standard
// output reaches no Windows pipe, so a shell sends it to a file we read.
// The Unix name Wine gives a Windows path (the path itself outside Wine).
static QString vqUnixPath(const QString& path)
{
    using ToUnix = char*(CDECL*)(const wchar_t*);
    static const auto toUnix =
        reinterpret_cast<ToUnix>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    if (!toUnix)
        return path;
    const QString native = QDir::toNativeSeparators(QDir::cleanPath(QDir(path).absolutePath()));
    char* unix = toUnix(reinterpret_cast<const wchar_t*>(native.utf16()));
    if (!unix)
        return path;
    const QString out = QString::fromLocal8Bit(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}
#endif

QString CvqSimClient::vqOutput()
{
    readOutput();
    return mOutput;
}

bool CvqSimClient::vqStart(const QString& hostRoot, const QStringList& extraArgs, int timeoutMs, const QString& binDir)
{
    vqStop();
    QString bin = (binDir.isEmpty() ? qEnvironmentVariable("VQ_BIN_DIR") : binDir) + QStringLiteral("/printersim");
    QStringList args = QStringList{"--host", hostRoot, "--control", "0", "--exit-with-parent"} + extraArgs;
    mProc.reset(new QProcess);
    mOutputFile.clear();
#ifdef Q_OS_WIN
    // VQ_SIM_BIN: the Linux build's emulator; the serial ports become COMn of this prefix.
    const QString unixBin = qEnvironmentVariable("VQ_SIM_BIN");
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (unixBin.isEmpty() || prefix.isEmpty()) {
        mError = QStringLiteral("VQ_SIM_BIN and WINEPREFIX name the emulator and the Wine prefix");
        return false;
    }
    for (QString& a : args)
        if (a.size() > 2 && a[0].isLetter() && a[1] == ':' && (a[2] == '/' || a[2] == '\\'))
            a = vqUnixPath(a);
    if (!args.contains(QStringLiteral("--wine-prefix")))
        args << QStringLiteral("--wine-prefix") << prefix;
    mOutDir.reset(new QTemporaryDir);
    mOutputFile = mOutDir->filePath(QStringLiteral("printersim.out"));
    args.prepend(unixBin);
    args.prepend(QStringLiteral("exec \"$0\" \"$@\" >'") + vqUnixPath(mOutputFile) + QStringLiteral("' 2>&1"));
    args.prepend(QStringLiteral("-c"));
    bin = QStringLiteral("Z:/bin/sh");
#endif
    mProc->start(bin, args);
    if (!mProc->waitForStarted(timeoutMs)) {
        mError = QStringLiteral("cannot start %1: %2").arg(bin, mProc->errorString());
        return false;
    }
    QDeadlineTimer deadline(timeoutMs);
    mOutput.clear();
    while (!('\n' + mOutput).contains(QLatin1String("\nready\n"))) {
        if (deadline.hasExpired() || (mOutputFile.isEmpty() && mProc->state() != QProcess::Running)) {
            mError = QStringLiteral("printersim did not get ready: %1 %2")
                         .arg(mOutput, QString::fromUtf8(mProc->readAllStandardError()));
            return false;
        }
        mOutputFile.isEmpty() ? void(mProc->waitForReadyRead(100)) : QThread::msleep(20);
        readOutput();
    }
    mPrinters.clear();
    QString control;
    for (const QString& line : mOutput.split('\n')) {
        if (line.startsWith(QLatin1String("printer ")))
            mPrinters.insert(line.section(' ', 1, 1), vqFields(line));
        else if (line.startsWith(QLatin1String("control ")))
            control = line.mid(8);
    }
    return vqConnect(control, timeoutMs);
}

bool CvqSimClient::vqConnect(const QString& control, int timeoutMs)
{
    const QHostAddress host(control.section(':', 0, 0));
    const QString token = control.section(' ', 1, 1);
    mBuf.clear();
    mSock.reset(new QTcpSocket);
    if (!host.isLoopback() || token.isEmpty()) {
        mError = QStringLiteral("no loopback control port in \"%1\"").arg(control.left(100));
        return false;
    }
    mSock->connectToHost(host, quint16(control.section(':', 1).section(' ', 0, 0).toUInt()));
    if (!mSock->waitForConnected(timeoutMs)) {
        mError = QStringLiteral("cannot connect to the control port: ") + mSock->errorString();
        return false;
    }
    mSock->write(token.toUtf8() + '\n');
    return true;
}

void CvqSimClient::vqStop()
{
    if (!mProc)
        return;
    const bool connected = mSock && mSock->state() == QAbstractSocket::ConnectedState;
    if (connected) {
        mSock->write("quit\n");
        mSock->flush();
    }
    if (!mOutputFile.isEmpty()) {
        // A Unix child of a Wine process is not seen to end; its control connection is.
        for (QDeadlineTimer d(20000);
             connected && mSock->state() == QAbstractSocket::ConnectedState && !d.hasExpired();)
            mSock->waitForReadyRead(100) ? void(mSock->readAll()) : void();
    } else if (mProc->state() == QProcess::Running) {
        if (!connected)
            mProc->terminate();
        if (!mProc->waitForFinished(20000)) {
            mProc->kill();
            mProc->waitForFinished(5000);
        }
    }
    readOutput();
    mSock.reset();
    mProc.reset();
}

QStringList CvqSimClient::vqCmd(const QString& line, int timeoutMs)
{
    QStringList out;
    if (!mSock || mSock->state() != QAbstractSocket::ConnectedState)
        return out;
    mSock->write(line.toUtf8() + '\n');
    mSock->flush();
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        int nl;
        while ((nl = mBuf.indexOf('\n')) >= 0) {
            const QString reply = QString::fromUtf8(mBuf.left(nl));
            mBuf.remove(0, nl + 1);
            out << reply;
            // Printers added later are learnt from the replies.
            if (reply.startsWith(QLatin1String("printer ")))
                mPrinters.insert(reply.section(' ', 1, 1), vqFields(reply));
            if (reply == QLatin1String("ok") || reply.startsWith(QLatin1String("ok "))
                || reply.startsWith(QLatin1String("err ")))
                return out;
        }
        if (deadline.hasExpired() || mSock->state() != QAbstractSocket::ConnectedState)
            return QStringList();
        if (mSock->waitForReadyRead(50))
            mBuf += mSock->readAll();
        // Keep the process's output pipe drained so it never blocks on it.
        readOutput();
    }
}

bool CvqSimClient::vqOk(const QString& line, int timeoutMs)
{
    const QStringList r = vqCmd(line, timeoutMs);
    return !r.isEmpty() && (r.last() == QLatin1String("ok") || r.last().startsWith(QLatin1String("ok ")));
}

QMap<QString, QString> CvqSimClient::vqStatus(const QString& printer)
{
    for (const QString& l : vqCmd(QStringLiteral("status ") + printer))
        if (l.startsWith(QLatin1String("status ")))
            return vqFields(l);
    return {};
}

QStringList CvqSimClient::vqHistory(const QString& printer)
{
    QStringList h;
    for (const auto& line : vqHistoryTimed(printer))
        h << line.second;
    return h;
}

QList<QPair<qint64, QString>> CvqSimClient::vqHistoryTimed(const QString& printer)
{
    QList<QPair<qint64, QString>> h;
    for (const QString& l : vqCmd(QStringLiteral("@%1 history").arg(printer))) {
        if (!l.startsWith(QLatin1String("history t=")))
            continue;
        const int gap = l.indexOf(' ', 10);
        h.append({l.mid(10, gap - 10).toLongLong(), gap < 0 ? QString() : l.mid(gap + 1)});
    }
    return h;
}
