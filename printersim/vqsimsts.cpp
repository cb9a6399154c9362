#include "vqsimsts.h"

#include <QMap>
#include <algorithm>
#include <cmath>

namespace {
struct BitFault
{
    const char* name;
    int byte;
    quint8 mask;
};
const BitFault kFaults[] = {
    {"lsu", 1, 0x01},         {"data-transfer", 2, 0x01}, {"lsu-data", 2, 0x02},    {"data-too-large", 2, 0x04},
    {"fuser-heat", 3, 0x01},  {"fuser-curve", 3, 0x04},   {"fuser-other", 3, 0x80}, {"tray1-empty", 4, 0x01},
    {"drum-door", 4, 0x08},   {"paper-out", 5, 0x01},     {"paper-jam", 5, 0x02},   {"motor", 5, 0x04},
    {"bin-full", 5, 0x08},    {"size-mismatch", 5, 0x10}, {"cover-open", 6, 0x01},  {"err0801", 8, 0x01},
    {"crypto-chip", 8, 0x02}, {"severe", 8, 0x80},
};
const QMap<QString, int> kSources = {{"none", 0},  {"mp", 2},    {"tray1", 4},  {"tray2", 8},
                                     {"tray", 16}, {"drum", 32}, {"fuser", 64}, {"duplex", 128}};
const QMap<QString, QPair<int, int>> kActivities = {{"idle", {4, 0}},     {"sleep", {1, 0}}, {"warmup", {0, 0}},
                                                    {"printing", {2, 1}}, {"busy", {4, 1}},  {"cooling", {5, 0}}};
}  // namespace

QStringList vqSimFaultNames(const CvqStsFields& sts)
{
    QStringList names;
    for (const BitFault& f : kFaults)
        if (sts.statusBytes[f.byte] & f.mask)
            names << QLatin1String(f.name);
    return names;
}

QString vqSimSetFaults(CvqStsFields* sts, const QString& names, bool on, bool exactly)
{
    CvqStsFields s = *sts;
    for (const BitFault& f : kFaults)
        if (exactly)
            s.statusBytes[f.byte] &= quint8(~f.mask);
    for (const QString& name : names.split(',', Qt::SkipEmptyParts)) {
        const auto f = std::find_if(std::begin(kFaults), std::end(kFaults),
                                    [&name](const BitFault& b) { return name == QLatin1String(b.name); });
        if (f == std::end(kFaults) && exactly && name == QLatin1String("none"))
            continue;
        if (f == std::end(kFaults))
            return QStringLiteral("unknown fault ") + name;
        quint8& byte = s.statusBytes[f->byte];
        byte = on ? quint8(byte | f->mask) : quint8(byte & ~f->mask);
    }
    *sts = s;
    return QString();
}

QString vqSimSetSource(CvqStsFields* sts, const QString& names)
{
    int src = 0;
    for (const QString& s : names.split(',', Qt::SkipEmptyParts))
        src |= kSources.value(s, -1);
    if (src < 0)
        return QStringLiteral("unknown source in ") + names;
    sts->statusBytes[6] = quint8((sts->statusBytes[6] & 0x01) | src);
    return QString();
}

QString vqSimSetLevel(CvqStsFields* sts, bool toner, int layout, const QString& pct)
{
    const bool first = toner && layout >= 2;
    const quint8 present = first ? 0x02 : 0x08;
    const bool none = pct == QLatin1String("none");
    bool ok = false;
    const double v = pct.toDouble(&ok);
    if (!none && (!ok || !std::isfinite(v) || v < 0 || v > 655.35))
        return QStringLiteral("level must be 0 to 655.35 or none");
    (first ? sts->crumT : sts->crumD) = none ? 0 : quint16(std::lround(v * 100));
    sts->crumStatus = none ? quint8(sts->crumStatus & ~present) : quint8(sts->crumStatus | 0x10 | present);
    return QString();
}

bool vqSimActivity(const QString& name, quint8* b7, quint8* inJob)
{
    const auto it = kActivities.constFind(name);
    if (it == kActivities.cend())
        return false;
    *b7 = quint8(it->first);
    *inJob = quint8(it->second);
    return true;
}
