#include "vqsimverbs.h"

#include "vqsimargs.h"
#include "vqsimfs.h"
#include "vqsimsettable.h"
#include "vqsimstatus.h"
#include "vqsimsts.h"

namespace {
using W = const QStringList&;
using Out = QStringList*;

const QString kOneKeyReq = QStringLiteral("/tmp/vqonekeyprint.req.txt");

// Hands value to set when it is one of values; else the reason.
template <typename Set> QString choice(const QString& value, const QStringList& values, Set set)
{
    if (!values.contains(value))
        return QStringLiteral("takes ") + values.join(", ");
    set(value);
    return QString();
}

QString reset(CvqSimSettable& p, W, Out)
{
    p.vqReset();
    return QString();
}

// "plug" alone: everything; "unplug" alone: device and serial (the queue stays installed, as on a PC).
QString plug(CvqSimSettable& p, W w, Out)
{
    const bool on = w[0] == QLatin1String("plug");
    QStringList parts = w.mid(1);
    if (parts.isEmpty())
        parts = on ? CvqSimSettable::kParts : QStringList{"device", "serial"};
    if (parts.contains(QStringLiteral("all")))
        parts = CvqSimSettable::kParts;
    for (const QString& part : qAsConst(parts))
        if (!CvqSimSettable::kParts.contains(part))
            return QStringLiteral("unknown part ") + part;
    for (const QString& part : qAsConst(parts))
        p.vqSetPlugged(part, on);
    return QString();
}

QString activity(CvqSimSettable& p, W w, Out)
{
    quint8 b7 = 0, inJob = 0;
    if (!vqSimActivity(w[1], &b7, &inJob))
        return QStringLiteral("unknown activity ") + w[1];
    p.vqSetActivity(b7, inJob);
    return QString();
}

// "fault A,B [on|off]" turns these on or off; "faults A,B|none" sets exactly these.
QString faults(CvqSimSettable& p, W w, Out)
{
    const QString state = w.value(2, QStringLiteral("on"));
    if (state != QLatin1String("on") && state != QLatin1String("off"))
        return QStringLiteral("fault takes on or off");
    CvqStsFields sts = p.vqStatus();
    const QString e = vqSimSetFaults(&sts, w[1], state == QLatin1String("on"), w[0] == QLatin1String("faults"));
    if (e.isEmpty())
        p.vqSetStatus(sts);
    return e;
}

QString source(CvqSimSettable& p, W w, Out)
{
    CvqStsFields sts = p.vqStatus();
    const QString e = vqSimSetSource(&sts, w[1]);
    if (e.isEmpty())
        p.vqSetStatus(sts);
    return e;
}

// "toner PCT|none", "drum PCT|none".
QString level(CvqSimSettable& p, W w, Out)
{
    CvqStsFields sts = p.vqStatus();
    const QString e = vqSimSetLevel(&sts, w[0] == QLatin1String("toner"), p.vqLayout(), w[1]);
    if (e.isEmpty())
        p.vqSetStatus(sts);
    return e;
}

QString romver(CvqSimSettable& p, W w, Out)
{
    if (w[1].contains(';'))
        return QStringLiteral("a version cannot hold ';'");
    p.vqSetRomver(w[1]);
    return QString();
}

QString jobs(CvqSimSettable& p, W w, Out)
{
    qint64 v = 0;
    if (!vqSimNumber(w[1], &v, 0, 1000))
        return QStringLiteral("jobs takes 0 to 1000");
    p.vqSetJobs(int(v));
    return QString();
}

// "file put PATH TEXT", "file get PATH" (the first 4096 bytes in hex), "file rm PATH", "file ls [PREFIX]".
QString file(CvqSimSettable& p, W w, Out out)
{
    CvqSimFs& fs = p.vqFs();
    const QString& op = w[1];
    QByteArray data;
    if (op == QLatin1String("put") && w.size() >= 3)
        return vqsimstatus::vqText(fs.vqPut(w[2], w.mid(3).join(' ').toUtf8()));
    if (op == QLatin1String("rm") && w.size() == 3)
        return vqsimstatus::vqText(fs.vqRemove(w[2]));
    if (op == QLatin1String("get") && w.size() == 3 && fs.vqGet(w[2], &data) != vqsimstatus::Ok)
        return vqsimstatus::vqText(vqsimstatus::NotFound);
    if (op == QLatin1String("get") && w.size() == 3) {
        *out << QStringLiteral("file %1 size=%2 hex=%3")
                    .arg(CvqSimFs::vqResolve(w[2]))
                    .arg(data.size())
                    .arg(QString::fromLatin1(data.left(4096).toHex()));
        return QString();
    }
    if (op != QLatin1String("ls"))
        return QStringLiteral("file takes put, get, rm or ls");
    for (const QString& f : fs.vqList(w.value(2)))
        *out << QStringLiteral("file %1 size=%2").arg(f).arg(fs.vqSize(f));
    return QString();
}

// "linkfault KIND[,KIND…] [count=N] [after=N] [types=T,T…] [size=N] [gap=MS] [delay=MS]|clear".
QString linkFault(CvqSimSettable& p, W w, Out) { return p.vqSetLinkFault(w.mid(1)); }

// "httpfault KIND [count=N] [after=N] [path=PREFIX] [delay=MS] [code=N] [size=N] [to=URL]|clear".
QString httpFault(CvqSimSettable& p, W w, Out) { return p.vqSetHttpFault(w.mid(1)); }

// "web id|snap|type|romver TEXT|auto": what the web server answers instead.
QString web(CvqSimSettable& p, W w, Out)
{
    if (!QStringList({"id", "snap", "type", "romver"}).contains(w[1]))
        return QStringLiteral("web takes id, snap, type or romver");
    if (w.mid(2) == QStringList{"auto"})
        p.vqUseOwnWebAnswer(w[1]);
    else
        p.vqSetWebAnswer(w[1], w.mid(2).join(' '));
    return QString();
}

QString history(CvqSimSettable& p, W w, Out out)
{
    if (w.value(1) == QLatin1String("clear"))
        p.vqClearHistory();
    for (const QString& h : p.vqHistory())
        *out << QStringLiteral("history ") + h;
    return QString();
}

// The one-key print button: the request file the monitor looks for.
QString key(CvqSimSettable& p, W, Out)
{
    if (p.vqFs().vqPut(kOneKeyReq, "1\n") != vqsimstatus::Ok)
        return QStringLiteral("no space for the request file");
    return QString();
}

// "scan [options]", "scan stop [result=N]", "scanjob [options]".
QString scan(CvqSimSettable& p, W w, Out) { return p.vqScanControl(w); }

QString scanner(CvqSimSettable& p, W w, Out)
{
    return choice(w[1], {"ok", "err"}, [&p](const QString& v) { p.vqSetScannerAnswer(v); });
}

QString exeOut(CvqSimSettable& p, W w, Out)
{
    return choice(w[1], {"auto", "inline", "file"}, [&p](const QString& v) { p.vqSetExeOut(v); });
}

// "jobstate auto|TEXT" replaces the answer ("\n" for line breaks); "jobstate fail=N [after=M]":
// M more answers, then N failures.
QString jobState(CvqSimSettable& p, W w, Out)
{
    if (!w[1].startsWith(QLatin1String("fail="))) {
        p.vqSetJobState(w[1] == QLatin1String("auto") ? QString() : w.mid(1).join(' '));
        return QString();
    }
    qint64 count = 0, after = 0;
    if (!vqSimNumber(w[1].mid(5), &count, 0, 1000000)
        || !vqSimNumber(vqSimOptions(w, 2).value("after"), &after, 0, 1000000))
        return QStringLiteral("bad arguments for jobstate");
    p.vqFailJobState(int(count), int(after));
    return QString();
}

// "refuse del|put": the next deletion or upload is refused.
QString refuse(CvqSimSettable& p, W w, Out)
{
    return choice(w[1], {"del", "put"}, [&p](const QString& v) { p.vqSetRefuse(v); });
}

const CvqSimVerb kVerbs[] = {
    {"reset", 0, 0, reset},
    {"plug", 0, 6, plug},
    {"unplug", 0, 6, plug},
    {"activity", 1, 1, activity},
    {"fault", 1, 2, faults},
    {"faults", 1, 1, faults},
    {"source", 1, 1, source},
    {"toner", 1, 1, level},
    {"drum", 1, 1, level},
    {"romver", 1, 1, romver},
    {"jobs", 1, 1, jobs},
    {"file", 1, 100, file},
    {"linkfault", 1, 7, linkFault},
    {"httpfault", 1, 8, httpFault},
    {"web", 2, 100, web},
    {"history", 0, 1, history},
    {"key", 0, 0, key},
    {"scan", 0, 8, scan},
    {"scanjob", 0, 8, scan},
    {"scanner", 1, 1, scanner},
    {"exeout", 1, 1, exeOut},
    {"jobstate", 1, 100, jobState},
    {"refuse", 1, 1, refuse},
};
}  // namespace

const CvqSimVerb* CvqSimVerb::vqFind(const QString& word)
{
    for (const CvqSimVerb& v : kVerbs)
        if (word == QLatin1String(v.name))
            return &v;
    return nullptr;
}
