// The control verbs, one row each: sessions, printers and scenarios, and what
// one printer is told ("fault paper-jam", "scan pages=3" …).

#include "vqsimcontrol.h"
#include "vqsimprinter.h"

#include <QPointer>
#include <QRegularExpression>
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
const int kMaxHoldMs = 24 * 3600 * 1000;
const QString kOneKeyReq = QStringLiteral("/tmp/vqonekeyprint.req.txt");
}  // namespace

// One control line as a verb sees it: its words, its printer (when it exists),
// where data lines go; a verb that holds the session sets hold.
struct CvqSimControl::Line
{
    CvqSimControl* ctl;
    CvqSimSession* s;
    CvqSimPrinter* p;
    QStringList w;
    QStringList* out;
    bool inState;
    bool hold;
};

struct CvqSimControl::Verb
{
    const char* name;
    int minArgs, maxArgs;  // after the verb
    bool onPrinter;        // acts on the line's printer, which must exist
    // The reason it was refused; empty: done.
    std::function<QString(Line&)> run;
};

const CvqSimControl::Verb* CvqSimControl::vqVerb(const QString& word)
{
    using L = Line&;
    // "fault A,B [on|off]" turns these on or off; "faults A,B|none" sets exactly these.
    static const auto faults = [](L l) -> QString {
        const QString state = l.w.value(2, QStringLiteral("on"));
        if (state != QLatin1String("on") && state != QLatin1String("off"))
            return QStringLiteral("fault takes on or off");
        for (const BitFault& f : kFaults)
            if (l.w[0] == QLatin1String("faults"))
                l.p->mSts.statusBytes[f.byte] &= quint8(~f.mask);
        for (const QString& name : l.w[1].split(',', Qt::SkipEmptyParts)) {
            const auto f = std::find_if(std::begin(kFaults), std::end(kFaults),
                                        [&name](const BitFault& b) { return name == QLatin1String(b.name); });
            quint8* byte = f == std::end(kFaults) ? nullptr : &l.p->mSts.statusBytes[f->byte];
            if (byte)
                *byte = state == QLatin1String("on") ? quint8(*byte | f->mask) : quint8(*byte & ~f->mask);
            else if (l.w[0] == QLatin1String("fault") || name != QLatin1String("none"))
                return QStringLiteral("unknown fault ") + name;
        }
        return QString();
    };
    // "toner PCT|none", "drum PCT|none" (decimals allowed). Toner lives in the
    // first counter for layouts 2 and 3, in the drum counter for printers with
    // one combined cartridge.
    static const auto level = [](L l) -> QString {
        CvqStsFields& sts = l.p->mSts;
        const bool first = l.w[0] == QLatin1String("toner") && l.p->mModel.pxg >= 2;
        const quint8 present = first ? 0x02 : 0x08;
        bool ok = false;
        const double pct = l.w[1].toDouble(&ok);
        if (l.w[1] != QLatin1String("none") && (!ok || !std::isfinite(pct) || pct < 0 || pct > 655.35))
            return QStringLiteral("level must be 0 to 655.35 or none");
        (first ? sts.crumT : sts.crumD) = l.w[1] == QLatin1String("none") ? 0 : quint16(std::lround(pct * 100));
        sts.crumStatus = l.w[1] == QLatin1String("none") ? quint8(sts.crumStatus & ~present)
                                                         : quint8(sts.crumStatus | 0x10 | present);
        return QString();
    };
    // "unplug" alone: device and serial (the queue stays installed, as on a PC); "plug" alone: everything.
    static const auto plug = [](L l) -> QString {
        const bool on = l.w[0] == QLatin1String("plug");
        QStringList parts = l.w.size() > 1 ? QStringList(l.w.mid(1)) : on ? kSimParts : QStringList{"device", "serial"};
        if (parts.contains(QStringLiteral("all")))
            parts = kSimParts;
        for (const QString& part : qAsConst(parts))
            if (!kSimParts.contains(part))
                return QStringLiteral("unknown part ") + part;
        for (const QString& part : qAsConst(parts))
            l.p->mPlugged[part] = on;
        return QString();
    };
    // "scan [options]", "scan stop [result=N]", "scanjob [options]".
    static const auto scan = [](L l) -> QString { return l.p->vqScanControl(l.w); };
    // "linkfault KIND[,KIND…] [count=N] [after=N] [types=T,T…] [size=N] [gap=MS] [delay=MS]|clear",
    // "httpfault KIND [count=N] [after=N] [path=PREFIX] [delay=MS] [code=N] [size=N] [to=URL]|clear".
    static const auto netFault = [](L l) -> QString {
        if (l.w[0] == QLatin1String("linkfault"))
            return l.p->mSerial->mFault.vqSet(l.w.mid(1),
                                              {"pieces", "noise", "splithead", "garbled", "oversize", "echo", "stale",
                                               "truncated", "wrongecho", "wrongoffset", "late", "silence"},
                                              {{"size", {1, 600000}}, {"gap", {0, 600000}}}, {"types"});
        if (!l.p->mHttp)
            return QStringLiteral("this printer has no web server");
        return l.p->mHttp->mFault.vqSet(l.w.mid(1), {"silence", "late", "status", "huge", "stall", "redirect", "drop"},
                                        {{"code", {100, 599}}, {"size", {0, qint64(4) << 30}}}, {"path", "to"});
    };
    static const auto choice = [](const QString& value, const QStringList& values, QString* to) -> QString {
        return values.contains(value) ? (*to = value, QString()) : QStringLiteral("takes ") + values.join(", ");
    };
    // clang-format off
    static const QList<Verb> verbs = {
        {"use", 1, 1, false, [](L l) -> QString {
            return l.ctl->mPrinters.contains(l.w[1]) ? (l.s->current = l.w[1], QString()) : "no printer " + l.w[1];
        }},
        // "add NAME [model=TYPE] [sn=TEXT] [port=N] [romver=TEXT] [http=ADDR:PORT]"
        {"add", 1, 6, false, [](L l) -> QString {
            const QMap<QString, QString> o = vqSimOptions(l.w, 2);
            const CvqSimPrinterConfig d;
            qint64 port = 0;
            QString e;
            for (const QString& key : o.keys())
                if (!QStringList({"model", "sn", "port", "romver", "http"}).contains(key) || o[key].isNull())
                    return QStringLiteral("bad option ") + key;
            if (!vqSimNumber(o.value("port"), &port, 1, 999) || o.value("romver").contains(';'))
                return QStringLiteral("bad option value");
            const CvqSimPrinterConfig cfg{o.value("model", d.model), o.value("sn"), int(port), o.value("romver", d.romver), o.value("http"), {}};
            return l.ctl->vqAddPrinter(l.w[1], cfg, &e) ? (*l.out << l.ctl->mPrinters[l.w[1]]->vqSummary(), QString()) : e;
        }},
        {"remove", 1, 1, false, [](L l) -> QString {
            CvqSimPrinter* p = l.ctl->mPrinters.take(l.w[1]);
            if (!p)
                return "no printer " + l.w[1];
            l.ctl->mOrder.removeAll(p);
            return p->vqRemoveFromTree(), p->deleteLater(), QString();
        }},
        // "status [NAME]": one status line per printer.
        {"status", 0, 1, false, [](L l) -> QString {
            for (CvqSimPrinter* p : qAsConst(l.ctl->mOrder))
                if (l.w.size() == 1 || p->mName == l.w[1])
                    *l.out << p->vqStatusLine();
            return l.out->isEmpty() && l.w.size() > 1 ? "no printer " + l.w[1] : QString();
        }},
        {"sleep", 1, 1, false, [](L l) -> QString {
            qint64 ms = 0;
            if (!vqSimNumber(l.w[1], &ms, 0, kMaxHoldMs))
                return QStringLiteral("sleep takes milliseconds");
            if (!l.inState)
                l.hold = true, l.s->vqHold(int(ms));
            return QString();
        }},
        // "wait COND [timeout=MS]": holds the session until the printer's condition holds.
        {"wait", 2, 3, true, [](L l) -> QString {
            QStringList cond = l.w.mid(1);
            qint64 timeout = 60000;
            if (cond.last().startsWith(QLatin1String("timeout="))
                && !vqSimNumber(cond.takeLast().mid(8), &timeout, 0, kMaxHoldMs))
                return QStringLiteral("bad timeout");
            if (l.p->vqCondition(cond) < 0)
                return "unknown condition " + cond.join(' ');
            QPointer<CvqSimPrinter> p(l.p);
            if (!l.inState && l.p->vqCondition(cond) == 0)
                l.hold = true, l.s->vqHold(int(timeout), [p, cond] { return p ? p->vqCondition(cond) : 0; });
            return QString();
        }},
        // "state NAME": a loaded step applied at once.
        {"state", 1, 1, false, [](L l) -> QString {
            if (!l.ctl->mSteps.contains(l.w[1]))
                return "no state " + l.w[1];
            const QString saved = l.s->current;
            QString e;
            for (const QString& line : l.ctl->mSteps.value(l.w[1])) {
                const QString r = l.ctl->vqRun(l.s, line, l.out, true);
                if (r.startsWith(QLatin1String("err "))) {
                    e = QStringLiteral("state %1: %2: %3").arg(l.w[1], line, r.mid(4));
                    break;
                }
            }
            l.s->current = saved;
            return e;
        }},
        {"play", 1, 1, false, [](L l) -> QString { return l.ctl->vqPlay(l.w[1]); }},
        {"quit", 0, 0, false, [](L l) -> QString { return l.ctl->vqQuit(), QString(); }},
        // ---- one printer
        {"reset", 0, 0, true, [](L l) -> QString { return l.p->vqReset(), QString(); }},
        {"plug", 0, 6, true, plug},
        {"unplug", 0, 6, true, plug},
        {"activity", 1, 1, true, [](L l) -> QString {
            const auto a = kActivities.value(l.w[1], {-1, 0});
            return a.first < 0 ? "unknown activity " + l.w[1] : (l.p->vqSetActivity(quint8(a.first), quint8(a.second)), QString());
        }},
        {"fault", 1, 2, true, faults},
        {"faults", 1, 1, true, faults},
        {"source", 1, 1, true, [](L l) -> QString {
            int src = 0;
            for (const QString& s : l.w[1].split(',', Qt::SkipEmptyParts))
                src |= kSources.value(s, -1);
            if (src < 0)
                return "unknown source in " + l.w[1];
            l.p->mSts.statusBytes[6] = quint8((l.p->mSts.statusBytes[6] & 0x01) | src);
            return QString();
        }},
        {"toner", 1, 1, true, level},
        {"drum", 1, 1, true, level},
        {"romver", 1, 1, true, [](L l) -> QString {
            return l.w[1].contains(';') ? QStringLiteral("a version cannot hold ';'") : (l.p->mRomver = l.w[1], QString());
        }},
        {"jobs", 1, 1, true, [](L l) -> QString {
            qint64 v = 0;
            return vqSimNumber(l.w[1], &v, 0, 1000) ? (l.p->mJobs = int(v), QString()) : "jobs takes 0 to 1000";
        }},
        // "file put PATH TEXT", "file get PATH" (the first 4096 bytes in hex), "file rm PATH", "file ls [PREFIX]".
        {"file", 1, 100, true, [](L l) -> QString {
            CvqSimFs& fs = l.p->mFs;
            const QString& op = l.w[1];
            QByteArray data;
            if (op == QLatin1String("put") && l.w.size() >= 3)
                return vqsimstatus::vqText(fs.vqPut(l.w[2], l.w.mid(3).join(' ').toUtf8()));
            if (op == QLatin1String("rm") && l.w.size() == 3)
                return vqsimstatus::vqText(fs.vqRemove(l.w[2]));
            if (op == QLatin1String("get") && l.w.size() == 3 && fs.vqGet(l.w[2], &data) != vqsimstatus::Ok)
                return vqsimstatus::vqText(vqsimstatus::NotFound);
            if (op == QLatin1String("get") && l.w.size() == 3)
                *l.out << QStringLiteral("file %1 size=%2 hex=%3").arg(CvqSimFs::vqResolve(l.w[2])).arg(data.size())
                              .arg(QString::fromLatin1(data.left(4096).toHex()));
            else if (op == QLatin1String("ls"))
                for (const QString& f : fs.vqList(l.w.value(2)))
                    *l.out << QStringLiteral("file %1 size=%2").arg(f).arg(fs.vqSize(f));
            else
                return QStringLiteral("file takes put, get, rm or ls");
            return QString();
        }},
        {"linkfault", 1, 7, true, netFault},
        {"httpfault", 1, 8, true, netFault},
        // "web id|snap|type|romver TEXT|auto": what the web server answers instead.
        {"web", 2, 100, true, [](L l) -> QString {
            if (!QStringList({"id", "snap", "type", "romver"}).contains(l.w[1]))
                return QStringLiteral("web takes id, snap, type or romver");
            l.w.mid(2) == QStringList{"auto"} ? void(l.p->mWeb.remove(l.w[1])) : void(l.p->mWeb.insert(l.w[1], l.w.mid(2).join(' ')));
            return QString();
        }},
        {"history", 0, 1, true, [](L l) -> QString {
            if (l.w.value(1) == QLatin1String("clear"))
                l.p->mHistory.clear();
            for (const QString& h : qAsConst(l.p->mHistory))
                *l.out << QStringLiteral("history ") + h;
            return QString();
        }},
        // The one-key print button: the request file the monitor looks for.
        {"key", 0, 0, true, [](L l) -> QString {
            return l.p->mFs.vqPut(kOneKeyReq, "1\n") != vqsimstatus::Ok ? "no space for the request file" : QString();
        }},
        {"scan", 0, 8, true, scan},
        {"scanjob", 0, 8, true, scan},
        {"scanner", 1, 1, true, [](L l) -> QString { return choice(l.w[1], {"ok", "err"}, &l.p->mScannerAnswer); }},
        {"exeout", 1, 1, true, [](L l) -> QString { return choice(l.w[1], {"auto", "inline", "file"}, &l.p->mExeOut); }},
        // "jobstate auto|TEXT" replaces the answer ("\n" for line breaks); "jobstate fail=N [after=M]":
        // M more answers, then N failures.
        {"jobstate", 1, 100, true, [](L l) -> QString {
            qint64 count = 0, after = 0;
            if (!l.w[1].startsWith(QLatin1String("fail=")))
                l.p->mJobState = l.w[1] == QLatin1String("auto") ? QString() : l.w.mid(1).join(' ');
            else if (vqSimNumber(l.w[1].mid(5), &count, 0, 1000000) && vqSimNumber(vqSimOptions(l.w, 2).value("after"), &after, 0, 1000000))
                l.p->mStateCalls = 0, l.p->mStateFailAfter = int(after), l.p->mStateFailures = int(count);
            else
                return QStringLiteral("bad arguments for jobstate");
            return QString();
        }},
        // "refuse del|put": the next deletion or upload is refused.
        {"refuse", 1, 1, true, [](L l) -> QString { return choice(l.w[1], {"del", "put"}, &l.p->mRefuse); }},
    };
    // clang-format on
    for (const Verb& v : verbs)
        if (word == QLatin1String(v.name))
            return &v;
    return nullptr;
}

QString CvqSimControl::vqRun(CvqSimSession* s, const QString& line, QStringList* out, bool inState)
{
    Line l{this, s, nullptr, {}, out, inState, false};
    if (line.size() > kMaxLine)
        return QStringLiteral("err line too long");
    if (!vqSimSplitLine(line, &l.w))
        return QStringLiteral("err unterminated quote");
    if (l.w.isEmpty() || l.w[0].startsWith('#'))
        return QString("");
    const QString target = l.w[0].startsWith('@') ? l.w.takeFirst().mid(1) : s->current;
    const Verb* v = vqVerb(l.w.value(0));
    l.p = mPrinters.value(target);
    if (!v)
        return QStringLiteral("err unknown command ") + l.w.value(0);
    if (v->onPrinter && !l.p)
        return QStringLiteral("err no printer ") + target;
    if (l.w.size() - 1 < v->minArgs || l.w.size() - 1 > v->maxArgs)
        return QStringLiteral("err bad arguments for ") + l.w[0];
    // A refused command leaves the printer as it was.
    const CvqStsFields saved = l.p ? l.p->mSts : CvqStsFields();
    const QString e = v->run(l);
    if (l.p && v->onPrinter) {
        l.p->mSts = e.isEmpty() ? l.p->mSts : saved;
        l.p->vqSync();
    }
    return l.hold ? QString() : e.isEmpty() ? QStringLiteral("ok") : QStringLiteral("err ") + e;
}
QString CvqSimPrinter::vqStatusLine() const
{
    QStringList plugged, faults;
    for (const QString& p : kSimParts)
        if (mPlugged.value(p))
            plugged << p;
    for (const BitFault& f : kFaults)
        if (mSts.statusBytes[f.byte] & f.mask)
            faults << QLatin1String(f.name);
    return QStringLiteral("status %1 plugged=%2 faults=%3 printed=%4 uprom=%5 requests=%6 sn=%7 pty=%8")
        .arg(mName, plugged.join(','), faults.isEmpty() ? QStringLiteral("none") : faults.join(','))
        .arg(mPrinted)
        .arg(mUproms)
        .arg(mSerial->mRequests)
        .arg(mSn, mSerial->mPath);
}
