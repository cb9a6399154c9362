#include "vqsimclient.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>

CvqSimClient::CvqSimClient() = default;

CvqSimClient::~CvqSimClient() { vqStop(); }

QMap<QString, QString> CvqSimClient::vqFields(const QString& line)
{
    QMap<QString, QString> f;
    for (const QString& w : line.split(' ', Qt::SkipEmptyParts))
        if (w.indexOf('=') > 0)
            f.insert(w.section('=', 0, 0), w.section('=', 1));
    return f;
}

QString CvqSimClient::vqOutput()
{
    if (mProc)
        mOutput += QString::fromUtf8(mProc->readAllStandardOutput());
    return mOutput;
}

bool CvqSimClient::vqStart(const QString& hostRoot, const QStringList& extraArgs, int timeoutMs, const QString& binDir)
{
    vqStop();
    const QString bin = (binDir.isEmpty() ? qEnvironmentVariable("VQ_BIN_DIR") : binDir) + "/printersim";
    mProc.reset(new QProcess);
    mProc->setReadChannel(QProcess::StandardOutput);
    mProc->start(bin,
                 QStringList{"--host", hostRoot, "--control", "0", "--no-stdin", "--exit-with-parent"} + extraArgs);
    mOutput.clear();
    QDeadlineTimer deadline(timeoutMs);
    while (!("\n" + vqOutput()).contains("\nready\n")) {
        if (deadline.hasExpired() || mProc->state() == QProcess::NotRunning) {
            mError = QStringLiteral("printersim (%1) did not get ready: %2 %3")
                         .arg(bin, mOutput, QString::fromUtf8(mProc->readAllStandardError()) + mProc->errorString());
            return false;
        }
        mProc->waitForReadyRead(100);
    }
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
    const uint port = control.section(':', 1).section(' ', 0, 0).toUInt();
    const QString token = control.section(' ', 1, 1);
    if (!host.isLoopback() || host.protocol() != QAbstractSocket::IPv4Protocol || port == 0 || port > 65535
        || token.isEmpty()) {
        mError = QStringLiteral("no loopback control port in \"%1\"").arg(control.left(100));
        return false;
    }
    mBuf.clear();
    mSock.reset(new QTcpSocket);
    mSock->connectToHost(host, quint16(port));
    if (!mSock->waitForConnected(timeoutMs)) {
        mError = QStringLiteral("cannot connect to the control port: ") + mSock->errorString();
        return false;
    }
    mSock->write(token.toUtf8() + '\n');
    return true;
}

void CvqSimClient::vqStop()
{
    if (mProc && mProc->state() == QProcess::Running) {
        if (mSock && mSock->state() == QAbstractSocket::ConnectedState && mSock->write("quit\n") > 0)
            mSock->flush();
        else
            mProc->terminate();
        if (!mProc->waitForFinished(20000)) {
            mProc->kill();
            mProc->waitForFinished(5000);
        }
    }
    vqOutput();
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
    for (QDeadlineTimer deadline(timeoutMs);;) {
        for (int nl; (nl = mBuf.indexOf('\n')) >= 0;) {
            out << QString::fromUtf8(mBuf.left(nl));
            mBuf.remove(0, nl + 1);
            // Printers added later are learnt from the replies.
            if (out.last().startsWith(QLatin1String("printer ")))
                mPrinters.insert(out.last().section(' ', 1, 1), vqFields(out.last()));
            if (out.last() == QLatin1String("ok") || out.last().startsWith(QLatin1String("ok "))
                || out.last().startsWith(QLatin1String("err ")))
                return out;
        }
        if (deadline.hasExpired() || mSock->state() != QAbstractSocket::ConnectedState)
            return QStringList();
        if (mSock->waitForReadyRead(50))
            mBuf += mSock->readAll();
        // Keep the process's output pipe drained so it never blocks on it.
        vqOutput();
    }
}

bool CvqSimClient::vqOk(const QString& line, int timeoutMs)
{
    const QStringList r = vqCmd(line, timeoutMs);
    return !r.isEmpty() && r.last().startsWith(QLatin1String("ok"));
}

QMap<QString, QString> CvqSimClient::vqStatus(const QString& printer)
{
    return vqFields(vqCmd(QStringLiteral("status ") + printer).filter(QRegularExpression("^status ")).value(0));
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
    for (const QString& l : vqCmd(QStringLiteral("@%1 history").arg(printer)).filter(QRegularExpression("^history t=")))
        h.append({l.section(' ', 1, 1).mid(2).toLongLong(), l.section(' ', 2)});
    return h;
}
