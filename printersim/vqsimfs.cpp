#include "vqsimfs.h"

#include "vqsimstatus.h"

#include <QDir>
#include <algorithm>

QString CvqSimFs::vqResolve(const QString& path)
{
    if (path.isEmpty() || path.toUtf8().size() > 1023 || path.contains(QChar(0)))
        return QString();
    const QString p = QDir::cleanPath(path.startsWith('/') ? path : QStringLiteral("/tmp/") + path);
    // "/.." cleans to "/"; a file cannot be the root.
    return p == QLatin1String("/") || p.endsWith('/') ? QString() : p;
}

quint8 CvqSimFs::vqGet(const QString& path, QByteArray* out) const
{
    const QString p = vqResolve(path);
    const auto it = mFiles.constFind(p);
    if (it == mFiles.cend())
        return p.isEmpty() ? vqsimstatus::BadRequest : vqsimstatus::NotFound;
    *out = it.value();
    return vqsimstatus::Ok;
}

quint8 CvqSimFs::vqWrite(const QString& path, qint64 offset, const QByteArray& bytes)
{
    const QString p = vqResolve(path);
    if (p.isEmpty())
        return vqsimstatus::BadRequest;
    const bool exists = mFiles.contains(p);
    const qint64 oldSize = exists ? mFiles[p].size() : 0;
    if (offset < 0 || (offset > 0 && (!exists || offset > oldSize)))
        return vqsimstatus::BadOffset;
    const qint64 newSize = offset == 0 ? bytes.size() : qMax(oldSize, offset + bytes.size());
    if ((!exists && mFiles.size() >= 4096) || newSize > INT_MAX / 2 || mUsed - oldSize + newSize > mLimit)
        return vqsimstatus::NoSpace;
    QByteArray& data = mFiles[p];
    data = offset == 0 ? bytes : data.left(int(offset)) + bytes + data.mid(int(offset + bytes.size()));
    mUsed += newSize - oldSize;
    return vqsimstatus::Ok;
}

quint8 CvqSimFs::vqRemove(const QString& path)
{
    const QString p = vqResolve(path);
    if (p.isEmpty() || !mFiles.contains(p))
        return p.isEmpty() ? vqsimstatus::BadRequest : vqsimstatus::NotFound;
    mUsed -= mFiles.take(p).size();
    return vqsimstatus::Ok;
}

QStringList CvqSimFs::vqList(const QString& prefix) const
{
    QStringList out;
    for (auto it = mFiles.cbegin(); it != mFiles.cend(); ++it)
        if (it.key().startsWith(prefix))
            out << it.key();
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    return out;
}
