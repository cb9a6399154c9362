#include "vqsimfault.h"

#include "vqsimargs.h"

#include <climits>

QString CvqSimFault::vqSet(const QStringList& args, const QStringList& kinds,
                           QMap<QString, QPair<qint64, qint64>> numbers, const QStringList& texts)
{
    CvqSimFault f;
    if (args.value(0) == QLatin1String("clear")) {
        *this = f;
        return QString();
    }
    for (const char* key : {"count", "after", "delay"})
        numbers.insert(key, {0, 600000});
    const QStringList given = args.value(0).split(',', Qt::SkipEmptyParts);
    f.mKinds = QSet<QString>(given.cbegin(), given.cend());
    if (given.isEmpty() || !QSet<QString>(kinds.cbegin(), kinds.cend()).contains(f.mKinds))
        return QStringLiteral("fault kinds: ") + kinds.join(',');
    f.mOpts = vqSimOptions(args, 1);
    for (auto it = f.mOpts.cbegin(); it != f.mOpts.cend(); ++it) {
        const QPair<qint64, qint64> range = numbers.value(it.key(), {1, 0});
        qint64 v = 0;
        if (!texts.contains(it.key()) && (it->isNull() || !vqSimNumber(*it, &v, range.first, range.second)))
            return QStringLiteral("bad option ") + it.key();
    }
    f.mCount = f.vqNumber("count", 1);
    f.mAfter = f.vqNumber("after", 0);
    f.mActive = true;
    *this = f;
    return QString();
}

qint64 CvqSimFault::vqNumber(const char* key, qint64 fallback) const
{
    vqSimNumber(mOpts.value(QLatin1String(key)), &fallback, LLONG_MIN, LLONG_MAX);
    return fallback;
}

bool CvqSimFault::vqTakes()
{
    if (!mActive || mAfter-- > 0)
        return false;
    if (mCount > 0 && --mCount == 0)
        mActive = false;
    return true;
}
