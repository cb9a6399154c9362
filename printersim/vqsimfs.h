#pragma once
// The printer's file system, kept in memory and bounded in total size and
// file count so that nothing a PC sends can grow it without limit.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

class CvqSimFs
{
public:
    // The file service's status bytes for these outcomes.
    enum Result { Ok = 0, NotFound = 1, BadPath = 2, NoSpace = 3, BadOffset = 5 };

    static constexpr qint64 kDefaultLimit = qint64(64) * 1024 * 1024;
    static constexpr int kMaxFiles = 4096;
    static constexpr int kMaxPathBytes = 1023;

    explicit CvqSimFs(qint64 limit = kDefaultLimit) : mLimit(limit) {}

    // An absolute, cleaned path; a bare name lands in /tmp (the file service's
    // working directory). Empty for an unusable path.
    static QString vqResolve(const QString& path);

    bool vqHas(const QString& path) const { return mFiles.contains(vqResolve(path)); }
    // The file's bytes; false when it does not exist.
    bool vqGet(const QString& path, QByteArray* out) const;
    // -1 when there is no such file.
    qint64 vqSize(const QString& path) const
    {
        const auto it = mFiles.constFind(vqResolve(path));
        return it == mFiles.cend() ? -1 : it->size();
    }
    // Writes at offset; offset 0 starts the file afresh, an offset beyond the
    // end is refused.
    Result vqWrite(const QString& path, qint64 offset, const QByteArray& bytes);
    Result vqPut(const QString& path, const QByteArray& bytes) { return vqWrite(path, 0, bytes); }
    Result vqRemove(const QString& path);
    // Files whose path starts with prefix, in byte order.
    QStringList vqList(const QString& prefix = QString()) const;

private:
    QMap<QString, QByteArray> mFiles;
    qint64 mUsed = 0;
    qint64 mLimit;
};
