#include "vqsimfs.h"

#include <QDir>

QString CvqSimFs::vqResolve(const QString& path)
{
    if (path.isEmpty() || path.toUtf8().size() > kMaxPathBytes || path.contains(QChar(0)))
        return QString();
    QString p = path.startsWith('/') ? path : QStringLiteral("/tmp/") + path;
    p = QDir::cleanPath(p);
    // "/.." cleans to "/"; a file cannot be the root.
    if (p == QLatin1String("/") || p.endsWith('/'))
        return QString();
    return p;
}

bool CvqSimFs::vqGet(const QString& path, QByteArray* out) const
{
    const auto it = mFiles.constFind(vqResolve(path));
    if (it == mFiles.cend())
        return false;
    *out = it.value();
    return true;
}

CvqSimFs::Result CvqSimFs::vqWrite(const QString& path, qint64 offset, const QByteArray& bytes)
{
    const QString p = vqResolve(path);
    if (p.isEmpty())
        return BadPath;
    const bool exists = mFiles.contains(p);
    const qint64 oldSize = exists ? mFiles[p].size() : 0;
    if (offset < 0 || (offset > 0 && (!exists || offset > oldSize)))
        return BadOffset;
    const qint64 newSize = offset == 0 ? bytes.size() : qMax(oldSize, offset + bytes.size());
    if ((!exists && mFiles.size() >= kMaxFiles) || newSize > INT_MAX / 2 || mUsed - oldSize + newSize > mLimit)
        return NoSpace;
    QByteArray& data = mFiles[p];
    data = offset == 0 ? bytes : data.left(int(offset)) + bytes + data.mid(int(offset + bytes.size()));
    mUsed += newSize - oldSize;
    return Ok;
}

CvqSimFs::Result CvqSimFs::vqRemove(const QString& path)
{
    const QString p = vqResolve(path);
    if (p.isEmpty())
        return BadPath;
    const auto it = mFiles.find(p);
    if (it == mFiles.end())
        return NotFound;
    mUsed -= it.value().size();
    mFiles.erase(it);
    return Ok;
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
