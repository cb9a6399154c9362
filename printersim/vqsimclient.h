#pragma once
// Drives a printersim process from a program (tests, tools): starts it,
// waits for "ready", sends control lines over its loopback control port and
// reads the replies.

#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class QTcpSocket;

class CvqSimClient
{
public:
    CvqSimClient();
    ~CvqSimClient();

    // Starts <binDir>/printersim with --host root, --control 0 and the extra
    // arguments, and waits (up to timeoutMs) for "ready". binDir empty: the
    // VQ_BIN_DIR environment variable.
    bool vqStart(const QString& hostRoot, const QStringList& extraArgs = {}, int timeoutMs = 30000,
                 const QString& binDir = QString());
    // Connects to a running emulator: control is "127.0.0.1:PORT TOKEN", as its
    // start-up line "control …" and its --control-file give it (loopback only).
    bool vqConnect(const QString& control, int timeoutMs = 10000);
    // Asks the process to quit and waits for it; kills it when it does not go.
    void vqStop();

    // The reply lines to one control line; the last is "ok…" or "err …"
    // (empty on time-out or a lost connection).
    QStringList vqCmd(const QString& line, int timeoutMs = 60000);
    // True when the reply ends in "ok".
    bool vqOk(const QString& line, int timeoutMs = 60000);
    // The key=value fields of the printer's status line.
    QMap<QString, QString> vqStatus(const QString& printer = QStringLiteral("p1"));
    // The printer's request history, without the leading "history " and time stamp.
    QStringList vqHistory(const QString& printer = QStringLiteral("p1"));
    // The same with each request's time stamp (ms since the emulator started).
    QList<QPair<qint64, QString>> vqHistoryTimed(const QString& printer = QStringLiteral("p1"));

    // From the start-up lines; the port is the one a program of this platform opens (COMn under Wine).
    QString vqPty(const QString& p = "p1") const
    {
        return field(p, "com").isEmpty() ? field(p, "pty") : field(p, "com");
    }
    QString vqHttp(const QString& printer = QStringLiteral("p1")) const { return field(printer, "http"); }
    QString vqInstanceId(const QString& printer = QStringLiteral("p1")) const { return field(printer, "instance"); }
    QString vqError() const { return mError; }
    // Everything the process wrote to standard output so far.
    QString vqOutput();

    // key=value words of a line.
    static QMap<QString, QString> vqFields(const QString& line);

private:
    QString field(const QString& printer, const char* key) const { return mPrinters[printer][QLatin1String(key)]; }
    void readOutput();
    std::unique_ptr<QProcess> mProc;
    std::unique_ptr<QTcpSocket> mSock;
    std::unique_ptr<QTemporaryDir> mOutDir;
    QString mOutputFile;  // Wine: where the emulator's standard output goes
    QByteArray mBuf;
    QString mOutput;
    QMap<QString, QMap<QString, QString>> mPrinters;
    QString mError;
};
