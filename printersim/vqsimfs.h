#pragma once
// The printer's file system, in memory and bounded in total size and file
// count so that nothing a PC sends can grow it without limit. Results are
// vqsimstatus bytes.

#include <QMap>
#include <QStringList>

class CvqSimFs
{
public:
    static constexpr qint64 kDefaultLimit = qint64(64) * 1024 * 1024;
    explicit CvqSimFs(qint64 limit) : mLimit(limit) {}
    // An absolute, cleaned path; a bare name lands in /tmp. Empty for an unusable path.
    static QString vqResolve(const QString& path);
    bool vqHas(const QString& path) const { return mFiles.contains(vqResolve(path)); }
    quint8 vqGet(const QString& path, QByteArray* out) const;
    qint64 vqSize(const QString& path) const { return mFiles.value(vqResolve(path)).size(); }
    // Offset 0 starts the file afresh; an offset beyond the end is refused.
    quint8 vqWrite(const QString& path, qint64 offset, const QByteArray& bytes);
    quint8 vqPut(const QString& path, const QByteArray& bytes) { return vqWrite(path, 0, bytes); }
    quint8 vqRemove(const QString& path);
    // Files whose path starts with prefix, in byte order.
    QStringList vqList(const QString& prefix = QString()) const;

private:
    QMap<QString, QByteArray> mFiles;
    qint64 mUsed = 0, mLimit;
};
