// The control commands a printer takes ("fault paper-jam", "scan pages=3" …),
// one row each.

#include "vqsimhttp.h"
#include "vqsimprinter.h"
#include "vqsimserial.h"

#include <cmath>

namespace {
// Faults that are one bit of a status byte.
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
// Where a paper fault sits: the bits of status byte 6 above the cover's.
const QMap<QString, int> kSources = {{"none", 0},  {"mp", 2},    {"tray1", 4},  {"tray2", 8},
                                     {"tray", 16}, {"drum", 32}, {"fuser", 64}, {"duplex", 128}};
// Status byte 7 and the job flag of each activity.
const QMap<QString, QPair<int, int>> kActivities = {{"idle", {4, 0}},     {"sleep", {1, 0}}, {"warmup", {0, 0}},
                                                    {"printing", {2, 1}}, {"busy", {4, 1}},  {"cooling", {5, 0}}};
}  // namespace

struct CvqSimPrinter::Command
{
    const char* name;
    int minArgs;  // after the name
    // Empty result: done; else the reason it was refused.
    std::function<QString(CvqSimPrinter& p, const QStringList& a, QStringList* out)> run;
};

const QList<CvqSimPrinter::Command>& CvqSimPrinter::vqCommands()
{
    using A = const QStringList&;
    using Out = QStringList*;
    // "fault A,B [on|off]" turns these on or off; "faults A,B|none" sets exactly these.
    static const auto faults = [](CvqSimPrinter& p, A a, Out) {
        const QString state = a.value(2, QStringLiteral("on"));
        if (state != QLatin1String("on") && state != QLatin1String("off"))
            return QStringLiteral("fault takes on or off");
        for (const BitFault& f : kFaults)
            if (a[0] == QLatin1String("faults"))
                p.mSts.statusBytes[f.byte] &= quint8(~f.mask);
        for (const QString& name : a[1].split(',', Qt::SkipEmptyParts)) {
            const auto f = std::find_if(std::begin(kFaults), std::end(kFaults),
                                        [&name](const BitFault& b) { return name == QLatin1String(b.name); });
            quint8* byte = f == std::end(kFaults) ? nullptr : &p.mSts.statusBytes[f->byte];
            if (byte)
                *byte = state == QLatin1String("on") ? quint8(*byte | f->mask) : quint8(*byte & ~f->mask);
            else if (a[0] == QLatin1String("fault") || name != QLatin1String("none"))
                return QStringLiteral("unknown fault ") + name;
        }
        return QString();
    };
    // "toner PCT|none", "drum PCT|none" (decimals allowed). Toner lives in the
    // first counter for layouts 2 and 3, in the drum counter for printers with
    // one combined cartridge.
    static const auto level = [](CvqSimPrinter& p, A a, Out) {
        const bool first = a[0] == QLatin1String("toner") && (p.mModel.pxg == 2 || p.mModel.pxg == 3);
        quint16& field = first ? p.mSts.crumT : p.mSts.crumD;
        const quint8 present = first ? 0x02 : 0x08;
        bool ok = false;
        const double pct = a[1].toDouble(&ok);
        if (a[1] == QLatin1String("none")) {
            field = 0;
            p.mSts.crumStatus &= quint8(~present);
        } else if (!ok || !std::isfinite(pct) || pct < 0 || pct > 655.35) {
            return QStringLiteral("level must be 0 to 655.35 or none");
        } else {
            field = quint16(std::lround(pct * 100));
            p.mSts.crumStatus |= quint8(0x10 | present);
        }
        return QString();
    };
    // "unplug" alone: device and serial (the queue stays installed, as on a PC); "plug" alone: everything.
    static const auto plug = [](CvqSimPrinter& p, A a, Out) {
        const bool on = a[0] == QLatin1String("plug");
        QStringList parts = a.size() > 1 ? QStringList(a.mid(1)) : on ? kSimParts : QStringList{"device", "serial"};
        if (parts.contains(QStringLiteral("all")))
            parts = kSimParts;
        for (const QString& part : qAsConst(parts))
            if (!kSimParts.contains(part))
                return QStringLiteral("unknown part ") + part;
        for (const QString& part : qAsConst(parts))
            p.mPlugged[part] = on;
        return QString();
    };
    // clang-format off
    static const QList<Command> rows = {
        {"reset", 0, [](CvqSimPrinter& p, A, Out) { p.vqReset(); return QString(); }},
        {"plug", 0, plug},
        {"unplug", 0, plug},
        {"activity", 1, [](CvqSimPrinter& p, A a, Out) {
            if (!kActivities.contains(a[1]))
                return QStringLiteral("unknown activity ") + a[1];
            p.mPrograms->vqSetActivity(quint8(kActivities[a[1]].first), quint8(kActivities[a[1]].second));
            return QString();
        }},
        {"fault", 1, faults},
        {"faults", 1, faults},
        {"source", 1, [](CvqSimPrinter& p, A a, Out) {
            int src = 0;
            for (const QString& s : a[1].split(',', Qt::SkipEmptyParts))
                src |= kSources.value(s, -1);
            if (src < 0)
                return QStringLiteral("unknown source in ") + a[1];
            p.mSts.statusBytes[6] = quint8((p.mSts.statusBytes[6] & 0x01) | src);
            return QString();
        }},
        {"toner", 1, level},
        {"drum", 1, level},
        {"romver", 1, [](CvqSimPrinter& p, A a, Out) {
            if (a[1].contains(';'))
                return QStringLiteral("a version cannot hold ';'");
            p.mRomver = a[1];
            return QString();
        }},
        {"jobs", 1, [](CvqSimPrinter& p, A a, Out) {
            qint64 v = 0;
            if (!vqSimNumber(a[1], &v, 0, 1000))
                return QStringLiteral("jobs takes 0 to 1000");
            p.mJobs = int(v);
            return QString();
        }},
        // "file put PATH TEXT", "file get PATH", "file rm PATH", "file ls [PREFIX]".
        {"file", 1, [](CvqSimPrinter& p, A a, Out out) {
            CvqSimFs& fs = p.mPrograms->fs();
            QByteArray data;
            if (a[1] == QLatin1String("put") && a.size() >= 3)
                return vqsimstatus::vqText(quint8(fs.vqPut(a[2], a.mid(3).join(' ').toUtf8())));
            if (a[1] == QLatin1String("rm") && a.size() == 3)
                return vqsimstatus::vqText(quint8(fs.vqRemove(a[2])));
            if (a[1] == QLatin1String("get") && a.size() == 3 && !fs.vqGet(a[2], &data))
                return vqsimstatus::vqText(vqsimstatus::NotFound);
            if (a[1] == QLatin1String("get") && a.size() == 3)
                *out << QStringLiteral("file %1 size=%2 hex=%3").arg(CvqSimFs::vqResolve(a[2])).arg(data.size()).arg(QString::fromLatin1(data.left(4096).toHex()));
            else if (a[1] == QLatin1String("ls"))
                for (const QString& f : fs.vqList(a.value(2)))
                    *out << QStringLiteral("file %1 size=%2").arg(f).arg(fs.vqSize(f));
            else
                return QStringLiteral("file takes put, get, rm or ls");
            return QString();
        }},
        {"linkfault", 1, [](CvqSimPrinter& p, A a, Out) {
            if (a[1] != QLatin1String("clear"))
                return p.mSerial->vqSetFault(a.mid(1));
            p.mSerial->vqClearFault();
            return QString();
        }},
        {"httpfault", 1, [](CvqSimPrinter& p, A a, Out) {
            if (!p.mHttp)
                return QStringLiteral("this printer has no web server");
            if (a[1] != QLatin1String("clear"))
                return p.mHttp->vqSetFault(a.mid(1));
            p.mHttp->vqClearFault();
            return QString();
        }},
        // "web id|snap|type|romver TEXT|auto": what the web server answers instead.
        {"web", 2, [](CvqSimPrinter& p, A a, Out) {
            if (!QStringList({"id", "snap", "type", "romver"}).contains(a[1]))
                return QStringLiteral("web takes id, snap, type or romver");
            if (a.size() == 3 && a[2] == QLatin1String("auto"))
                p.mWeb.remove(a[1]);
            else
                p.mWeb.insert(a[1], a.mid(2).join(' '));
            return QString();
        }},
        {"history", 0, [](CvqSimPrinter& p, A a, Out out) {
            if (a.value(1) == QLatin1String("clear"))
                p.mHistory.clear();
            for (const QString& h : qAsConst(p.mHistory))
                *out << QStringLiteral("history ") + h;
            return QString();
        }},
    };
    // clang-format on
    return rows;
}

bool CvqSimPrinter::vqIsCommand(const QString& word)
{
    for (const Command& c : vqCommands())
        if (word == QLatin1String(c.name))
            return true;
    return CvqSimPrograms::vqIsCommand(word);
}

// Its own commands, and those of its programs (key, scan, scanner, jobstate …).
QString CvqSimPrinter::vqControl(const QStringList& args, QStringList* out)
{
    const auto c = std::find_if(vqCommands().cbegin(), vqCommands().cend(),
                                [&args](const Command& c) { return args[0] == QLatin1String(c.name); });
    const CvqStsFields saved = mSts;
    QString err = QStringLiteral("bad arguments for ") + args[0];
    if (CvqSimPrograms::vqIsCommand(args[0]))
        err = mPrograms->vqControl(args);
    else if (c != vqCommands().cend() && args.size() > c->minArgs)
        err = c->run(*this, args, out);
    // A refused command leaves the printer as it was.
    if (!err.isEmpty())
        mSts = saved;
    vqSync();
    return err;
}

QString CvqSimPrinter::vqStatusLine() const
{
    QStringList plugged, faults, sources;
    for (const QString& p : kSimParts)
        if (mPlugged.value(p))
            plugged << p;
    for (const BitFault& f : kFaults)
        if (mSts.statusBytes[f.byte] & f.mask)
            faults << QLatin1String(f.name);
    for (auto it = kSources.cbegin(); it != kSources.cend(); ++it)
        if (it.value() & mSts.statusBytes[6])
            sources << it.key();
    return QStringLiteral("status %1 plugged=%2 pa=%3 toner=%4 drum=%5 faults=%6 source=%7 romver=%8 jobs=%9 "
                          "printed=%10 uprom=%11 scan=%12 requests=%13 sn=%14 pty=%15")
        .arg(mName, plugged.join(','))
        .arg(vqPa())
        .arg(vqLevel(true))
        .arg(vqLevel(false))
        .arg(faults.isEmpty() ? QStringLiteral("none") : faults.join(','),
             sources.isEmpty() ? QStringLiteral("none") : sources.join(','), mRomver)
        .arg(mJobs)
        .arg(mPrograms->vqPrinted())
        .arg(mUproms)
        .arg(mPrograms->vqScanning() ? QStringLiteral("running") : QStringLiteral("idle"))
        .arg(mSerial->vqRequests())
        .arg(mSn, vqPtyPath());
}
