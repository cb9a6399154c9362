#include "vqlog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTextStream>

void vqWriteLogAt(const QString& message, const QDateTime& when, const QString& root)
{
    QString program = QCoreApplication::applicationFilePath();
    program.replace(':', '#').replace('\\', '#').replace('/', '#');
    const QString monthDir = QDir(root).filePath(QStringLiteral("vqlogs_") + program) + QLatin1Char('/')
        + when.toString(QStringLiteral("yyyy-MM"));
    if (!QDir().mkpath(monthDir)) {
        qWarning().noquote() << QStringLiteral("无法创建目录：") + monthDir;
        return;
    }
    QFile file(QDir(monthDir).filePath(when.toString(QStringLiteral("yyyy-MM-dd-hh")) + QStringLiteral(".log")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        qWarning().noquote() << QStringLiteral("无法打开文件：") + file.errorString();
        return;
    }
    QTextStream out(&file);
    // UTF-8 everywhere: the local code page (Windows' default) cannot hold every message.
    out.setCodec("UTF-8");
    out << '[' << when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) << "] " << message << '\n';
}

void vqWriteLog(const QString& message)
{
    // One reading of the clock, so folder, file and stamp always agree.
    vqWriteLogAt(message, QDateTime::currentDateTime(), QStandardPaths::writableLocation(QStandardPaths::TempLocation));
}
