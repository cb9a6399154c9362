#pragma once
// A planned disturbance of a service's answers ("linkfault …", "httpfault …"):
// its kinds and options, and which answers it takes: the next count (0: all)
// after the first after of them.

#include <QMap>
#include <QPair>
#include <QSet>
#include <QStringList>

class CvqSimFault
{
public:
    // "KIND[,KIND…] key=value…" with the kinds a service knows, count, after and delay and the
    // service's own numbers (with their bounds) and texts, or "clear"; empty result: ok, set.
    QString vqSet(const QStringList& args, const QStringList& kinds, QMap<QString, QPair<qint64, qint64>> numbers,
                  const QStringList& texts);
    bool vqHas(const char* kind) const { return mKinds.contains(QLatin1String(kind)); }
    qint64 vqNumber(const char* key, qint64 fallback) const;
    QString vqText(const char* key) const { return mOpts.value(QLatin1String(key)); }
    // True when the fault takes this answer (and counts it).
    bool vqTakes();

private:
    QSet<QString> mKinds;
    QMap<QString, QString> mOpts;
    qint64 mCount = 0, mAfter = 0;
    bool mActive = false;
};
