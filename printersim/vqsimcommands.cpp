// The control commands a printer takes ("fault paper-jam", "scan pages=3" …),
// one row each: adding a command means one row and one handler.

#include "vqsimhttp.h"
#include "vqsimoptions.h"
#include "vqsimprinter.h"
#include "vqsimserial.h"

#include <QMap>
#include <QRegularExpression>

const QList<CvqSimPrinter::CommandRow>& CvqSimPrinter::vqCommands()
{
    // clang-format off
    static const QList<CommandRow> rows = {
        {"reset", 0, &CvqSimPrinter::vqCmdReset},
        {"plug", 0, &CvqSimPrinter::vqCmdPlug},
        {"unplug", 0, &CvqSimPrinter::vqCmdPlug},
        {"activity", 1, &CvqSimPrinter::vqCmdActivity},
        {"fault", 1, &CvqSimPrinter::vqCmdFault},
        {"faults", 1, &CvqSimPrinter::vqCmdFaults},
        {"clear", 0, &CvqSimPrinter::vqCmdFaults},
        {"source", 1, &CvqSimPrinter::vqCmdSource},
        {"toner", 1, &CvqSimPrinter::vqCmdLevel},
        {"drum", 1, &CvqSimPrinter::vqCmdLevel},
        {"chip", 1, &CvqSimPrinter::vqCmdChip},
        {"romver", 1, &CvqSimPrinter::vqCmdRomver},
        {"upromver", 1, &CvqSimPrinter::vqCmdUpromver},
        {"pxg", 1, &CvqSimPrinter::vqCmdNumber},
        {"tll", 1, &CvqSimPrinter::vqCmdNumber},
        {"jobs", 1, &CvqSimPrinter::vqCmdNumber},
        {"printtime", 1, &CvqSimPrinter::vqCmdNumber},
        {"key", 0, &CvqSimPrinter::vqCmdKey},
        {"scan", 0, &CvqSimPrinter::vqCmdScan},
        {"scanjob", 0, &CvqSimPrinter::vqCmdScan},
        {"scanner", 1, &CvqSimPrinter::vqCmdScanner},
        {"jobstate", 1, &CvqSimPrinter::vqCmdJobState},
        {"exeout", 1, &CvqSimPrinter::vqCmdExeOut},
        {"raw", 2, &CvqSimPrinter::vqCmdRaw},
        {"file", 1, &CvqSimPrinter::vqCmdFile},
        {"linkfault", 1, &CvqSimPrinter::vqCmdLinkFault},
        {"httpfault", 1, &CvqSimPrinter::vqCmdHttpFault},
        {"web", 2, &CvqSimPrinter::vqCmdWeb},
        {"history", 0, &CvqSimPrinter::vqCmdHistory},
        {"refuse", 1, &CvqSimPrinter::vqCmdRefuse},
    };
    // clang-format on
    return rows;
}

bool CvqSimPrinter::vqIsPrinterCommand(const QString& word)
{
    for (const CommandRow& row : vqCommands())
        if (word == QLatin1String(row.name))
            return true;
    return false;
}

QString CvqSimPrinter::vqControl(const QStringList& args, QStringList* out)
{
    const QString cmd = args.value(0);
    for (const CommandRow& row : vqCommands()) {
        if (cmd != QLatin1String(row.name))
            continue;
        if (args.size() < row.minArgs + 1)
            break;
        const QString err = (this->*row.run)(args, out);
        // A refused command leaves the host tree as it was.
        if (err.isEmpty())
            vqSync();
        return err;
    }
    return QStringLiteral("bad arguments for ") + cmd;
}

QString CvqSimPrinter::vqCmdReset(const QStringList&, QStringList*)
{
    vqReset();
    return QString();
}

QString CvqSimPrinter::vqCmdPlug(const QStringList& args, QStringList*)
{
    const bool on = args[0] == QLatin1String("plug");
    QStringList parts = args.mid(1);
    if (parts.isEmpty())
        parts << (on ? QStringLiteral("all") : QStringLiteral("device")) << (on ? QString() : QStringLiteral("serial"));
    for (const QString& p : qAsConst(parts)) {
        if (p.isEmpty())
            continue;
        if (p == QLatin1String("all"))
            mPlugDevice = mPlugQueue = mPlugSerial = mPlugPort = mPlugIdRead = on;
        else if (p == QLatin1String("device"))
            mPlugDevice = on;
        else if (p == QLatin1String("queue"))
            mPlugQueue = on;
        else if (p == QLatin1String("serial"))
            mPlugSerial = on;
        else if (p == QLatin1String("port"))
            mPlugPort = on;
        else if (p == QLatin1String("idread"))
            mPlugIdRead = on;
        else
            return QStringLiteral("unknown part ") + p;
    }
    return QString();
}

QString CvqSimPrinter::vqCmdActivity(const QStringList& args, QStringList*)
{
    static const QMap<QString, QPair<int, int>> acts = {
        {QStringLiteral("idle"), {4, 0}},     {QStringLiteral("sleep"), {1, 0}}, {QStringLiteral("warmup"), {0, 0}},
        {QStringLiteral("printing"), {2, 1}}, {QStringLiteral("busy"), {4, 1}},  {QStringLiteral("cooling"), {5, 0}},
    };
    if (!acts.contains(args[1]))
        return QStringLiteral("unknown activity ") + args[1];
    mPrograms->vqSetActivity(quint8(acts[args[1]].first), quint8(acts[args[1]].second));
    return QString();
}

QString CvqSimPrinter::vqCmdFault(const QStringList& args, QStringList*)
{
    const bool on = args.size() < 3 || args[2] == QLatin1String("on");
    if (args.size() >= 3 && args[2] != QLatin1String("on") && args[2] != QLatin1String("off"))
        return QStringLiteral("fault takes on or off");
    return vqSetFaults(args[1].split(',', Qt::SkipEmptyParts), on, mSts);
}

// "faults A,B" sets exactly these; "clear" none.
QString CvqSimPrinter::vqCmdFaults(const QStringList& args, QStringList*)
{
    const CvqStsFields saved = mSts;
    for (const QString& f : vqFaultNames())
        vqSetFault(f, false);
    const bool none = args[0] == QLatin1String("clear") || args[1] == QLatin1String("none");
    return vqSetFaults(none ? QStringList() : args[1].split(',', Qt::SkipEmptyParts), true, saved);
}

// All of them or, at the first unknown name, back to saved (a copy: it may be mSts).
QString CvqSimPrinter::vqSetFaults(const QStringList& names, bool on, CvqStsFields saved)
{
    for (const QString& f : names) {
        const QString err = vqSetFault(f, on);
        if (!err.isEmpty()) {
            mSts = saved;
            return err;
        }
    }
    return QString();
}

QString CvqSimPrinter::vqCmdSource(const QStringList& args, QStringList*)
{
    // "other" is the tray-area bit's older name.
    static const QMap<QString, int> names = {
        {QStringLiteral("none"), 0},  {QStringLiteral("mp"), 2},     {QStringLiteral("tray1"), 4},
        {QStringLiteral("tray2"), 8}, {QStringLiteral("tray"), 16},  {QStringLiteral("other"), 16},
        {QStringLiteral("drum"), 32}, {QStringLiteral("fuser"), 64}, {QStringLiteral("duplex"), 128}};
    int src = 0;
    for (const QString& s : args[1].split(',', Qt::SkipEmptyParts)) {
        qint64 v = 0;
        if (names.contains(s))
            src |= names[s];
        else if (vqSimParseNumber(s, &v) && v >= 0 && v <= 255)
            src |= int(v);
        else
            return QStringLiteral("unknown source ") + s;
    }
    mSts.statusBytes[6] = quint8((mSts.statusBytes[6] & 0x01) | (src & 0xFE));
    return QString();
}

QString CvqSimPrinter::vqCmdLevel(const QStringList& args, QStringList*)
{
    return vqSetLevel(args[0] == QLatin1String("toner"), args[1]);
}

QString CvqSimPrinter::vqCmdChip(const QStringList& args, QStringList*)
{
    if (args[1] == QLatin1String("on"))
        mSts.crumStatus |= 0x10;
    else if (args[1] == QLatin1String("off"))
        mSts.crumStatus &= quint8(~0x10);
    else
        return QStringLiteral("chip takes on or off");
    return QString();
}

QString CvqSimPrinter::vqCmdRomver(const QStringList& args, QStringList*)
{
    if (args[1].contains(';'))
        return QStringLiteral("a version cannot hold ';'");
    mRomver = args[1];
    return QString();
}

QString CvqSimPrinter::vqCmdUpromver(const QStringList& args, QStringList*)
{
    mUpromVer = args[1] == QLatin1String("none") ? QString() : args[1];
    return QString();
}

QString CvqSimPrinter::vqCmdNumber(const QStringList& args, QStringList*)
{
    qint64 v = 0;
    if (!vqSimParseNumber(args[1], &v) || v < 0 || v > 100000)
        return QStringLiteral("bad number ") + args[1];
    const QString& cmd = args[0];
    if (cmd == QLatin1String("pxg"))
        mPxg = int(v);
    else if (cmd == QLatin1String("tll"))
        mTll = int(v);
    else if (cmd == QLatin1String("jobs"))
        mJobs = int(qMin<qint64>(v, 1000));
    else
        mPrograms->vqSetPrintTime(int(v));
    return QString();
}

QString CvqSimPrinter::vqCmdKey(const QStringList&, QStringList*) { return mPrograms->vqPressKey(); }

// "scan stop [result=N]", "scan [options]" (a panel scan to the PC) and
// "scanjob [options]" (how the next scan the PC starts runs).
QString CvqSimPrinter::vqCmdScan(const QStringList& args, QStringList*)
{
    const bool stop = args[0] == QLatin1String("scan") && args.value(1) == QLatin1String("stop");
    const CvqSimOptions o(args, stop ? 2 : 1);
    if (stop) {
        qint64 result = 8;
        if (!o.vqNumber(QStringLiteral("result"), &result) || result < 0 || result > 255)
            return QStringLiteral("bad result");
        if (!mPrograms->vqScanning())
            return QStringLiteral("no scan is running");
        mPrograms->vqStopScan(int(result));
        return QString();
    }
    const CvqSimScanSettings& next = mPrograms->vqNextScan();
    qint64 pages = next.pages, parts = next.parts, interval = next.interval, result = next.result;
    const bool ok = o.vqNumber(QStringLiteral("pages"), &pages) && o.vqNumber(QStringLiteral("parts"), &parts)
        && o.vqNumber(QStringLiteral("interval"), &interval) && o.vqNumber(QStringLiteral("result"), &result);
    if (!ok || pages < 0 || pages > 9999 || parts < -1 || parts > 1000 || interval < 1 || interval > 600000
        || result < 0 || result > 255)
        return QStringLiteral("bad scan options");
    qint64 open = next.openEnd;
    const QString last = o.vqValue(QStringLiteral("last"), next.lastAtState ? "state" : "tick");
    if (!o.vqNumber(QStringLiteral("open"), &open) || open < 0 || open > 1
        || (last != QLatin1String("state") && last != QLatin1String("tick")))
        return QStringLiteral("bad scan options");
    const QString tryAnswer = o.vqValue(QStringLiteral("try"), next.tryAnswer.isEmpty() ? "auto" : next.tryAnswer);
    const CvqSimScanSettings s{int(pages),
                               int(parts),
                               int(interval),
                               int(result),
                               last == QLatin1String("state"),
                               open == 1,
                               tryAnswer == QLatin1String("auto") ? QString() : tryAnswer};
    if (args[0] == QLatin1String("scanjob")) {
        mPrograms->vqSetNextScan(s);
        return QString();
    }
    return mPrograms->vqStartPanelScan(s, o.vqValue(QStringLiteral("format"), QStringLiteral("jpg")));
}

QString CvqSimPrinter::vqCmdScanner(const QStringList& args, QStringList*)
{
    if (args[1] != QLatin1String("ok") && args[1] != QLatin1String("err"))
        return QStringLiteral("scanner takes ok or err");
    mPrograms->vqSetScannerAnswer(args[1]);
    return QString();
}

QString CvqSimPrinter::vqCmdJobState(const QStringList& args, QStringList*)
{
    if (args[1].startsWith(QLatin1String("fail="))) {
        const CvqSimOptions o(args, 1);
        qint64 count = 0, after = 0;
        if (!o.vqNumber(QStringLiteral("fail"), &count) || !o.vqNumber(QStringLiteral("after"), &after) || count < 0
            || after < 0 || count > 1000000 || after > 1000000)
            return QStringLiteral("jobstate fail=N takes numbers");
        mPrograms->vqSetJobStateFailures(int(after), int(count));
        return QString();
    }
    mPrograms->vqSetJobState(args[1] == QLatin1String("auto") ? QString() : args.mid(1).join(' '));
    return QString();
}

QString CvqSimPrinter::vqCmdExeOut(const QStringList& args, QStringList*)
{
    if (args[1] != QLatin1String("auto") && args[1] != QLatin1String("inline") && args[1] != QLatin1String("file"))
        return QStringLiteral("exeout takes auto, inline or file");
    mPrograms->vqSetExeOut(args[1]);
    return QString();
}

QString CvqSimPrinter::vqCmdRaw(const QStringList& args, QStringList*)
{
    qint64 v = 0;
    const QString& what = args[1];
    if (what == QLatin1String("id")) {
        mRawId = args[2] == QLatin1String("auto") ? QByteArray() : args.mid(2).join(' ').toUtf8();
    } else if (what == QLatin1String("byte") && args.size() >= 4) {
        qint64 i = 0;
        if (!vqSimParseNumber(args[2], &i) || i < 0 || i > 9 || !vqSimParseNumber(args[3], &v) || v < 0 || v > 255)
            return QStringLiteral("raw byte takes an index 0-9 and a value 0-255");
        mSts.statusBytes[i] = quint8(v);
    } else if (vqSimParseNumber(args[2], &v) && v >= 0) {
        if (what == QLatin1String("inprintjob") && v <= 255)
            mSts.inPrintJob = quint8(v);
        else if (what == QLatin1String("crum") && v <= 255)
            mSts.crumStatus = quint8(v);
        else if (what == QLatin1String("t") && v <= 65535)
            mSts.crumT = quint16(v);
        else if (what == QLatin1String("d") && v <= 65535)
            mSts.crumD = quint16(v);
        else if (what == QLatin1String("count") && v <= 65535)
            mSts.jobPrintedCount = quint16(v);
        else if (what == QLatin1String("total") && v <= 0xFFFFFF)
            mSts.allPrintCount = quint32(v);
        else
            return QStringLiteral("bad raw field or value");
    } else {
        return QStringLiteral("bad raw field or value");
    }
    return QString();
}

QString CvqSimPrinter::vqCmdFile(const QStringList& args, QStringList* out)
{
    const QString& op = args[1];
    const int n = args.size();
    if (op == QLatin1String("put") && n >= 3) {
        const CvqSimFs::Result r = mFs.vqPut(args[2], args.mid(3).join(' ').toUtf8());
        if (r != CvqSimFs::Ok)
            return vqsimstatus::vqText(quint8(r));
    } else if (op == QLatin1String("puthex") && n == 4) {
        // Any bytes, NUL and control characters included.
        static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
        if (!hex.match(args[3]).hasMatch())
            return QStringLiteral("file puthex takes pairs of hex digits");
        const CvqSimFs::Result r = mFs.vqPut(args[2], QByteArray::fromHex(args[3].toLatin1()));
        if (r != CvqSimFs::Ok)
            return vqsimstatus::vqText(quint8(r));
    } else if (op == QLatin1String("get") && n == 3) {
        QByteArray data;
        if (!mFs.vqGet(args[2], &data))
            return vqsimstatus::vqText(vqsimstatus::NotFound);
        *out << QStringLiteral("file %1 size=%2 hex=%3")
                    .arg(CvqSimFs::vqResolve(args[2]))
                    .arg(data.size())
                    .arg(QString::fromLatin1(data.left(4096).toHex()));
    } else if (op == QLatin1String("rm") && n == 3) {
        const CvqSimFs::Result r = mFs.vqRemove(args[2]);
        if (r != CvqSimFs::Ok)
            return vqsimstatus::vqText(quint8(r));
    } else if (op == QLatin1String("ls")) {
        for (const QString& f : mFs.vqList(args.value(2)))
            *out << QStringLiteral("file %1 size=%2").arg(f).arg(mFs.vqSize(f));
    } else {
        return QStringLiteral("file takes put, puthex, get, rm or ls");
    }
    return QString();
}

QString CvqSimPrinter::vqCmdLinkFault(const QStringList& args, QStringList*)
{
    if (args[1] != QLatin1String("clear"))
        return mSerial->vqSetFault(args.mid(1));
    mSerial->vqClearFault();
    return QString();
}

QString CvqSimPrinter::vqCmdHttpFault(const QStringList& args, QStringList*)
{
    if (!mHttp)
        return QStringLiteral("this printer has no web server");
    if (args[1] != QLatin1String("clear"))
        return mHttp->vqSetFault(args.mid(1));
    mHttp->vqClearFault();
    return QString();
}

QString CvqSimPrinter::vqCmdWeb(const QStringList& args, QStringList*)
{
    static const QStringList keys = {QStringLiteral("id"), QStringLiteral("snap"), QStringLiteral("type"),
                                     QStringLiteral("romver")};
    if (!keys.contains(args[1]))
        return QStringLiteral("web takes id, snap, type or romver");
    if (args.size() == 3 && args[2] == QLatin1String("auto"))
        mWeb.remove(args[1]);
    else
        mWeb.insert(args[1], args.mid(2).join(' '));
    return QString();
}

QString CvqSimPrinter::vqCmdHistory(const QStringList& args, QStringList* out)
{
    if (args.value(1) == QLatin1String("clear"))
        mHistory.clear();
    else
        for (const QString& h : qAsConst(mHistory))
            *out << QStringLiteral("history ") + h;
    return QString();
}

QString CvqSimPrinter::vqCmdRefuse(const QStringList& args, QStringList*)
{
    if (args[1] == QLatin1String("clear")) {
        mRefusals.clear();
        return QString();
    }
    static const QStringList ops = {QStringLiteral("del"), QStringLiteral("get"), QStringLiteral("put")};
    if (!ops.contains(args[1]))
        return QStringLiteral("refuse takes del, get, put or clear");
    const CvqSimOptions opts(args, 2);
    qint64 count = 1;
    if (!opts.vqNumber(QStringLiteral("count"), &count) || count < 0 || count > 1000000)
        return QStringLiteral("bad count");
    Refusal r{args[1], QString(), int(count)};
    if (opts.vqHas(QStringLiteral("path"))) {
        r.path = CvqSimFs::vqResolve(opts.vqValue(QStringLiteral("path")));
        if (r.path.isEmpty())
            return QStringLiteral("bad path");
    }
    mRefusals.append(r);
    return QString();
}

bool CvqSimPrinter::vqRefuse(const char* op, const QString& path)
{
    const QString resolved = CvqSimFs::vqResolve(path);
    for (int i = 0; i < mRefusals.size(); ++i) {
        Refusal& r = mRefusals[i];
        if (r.op != QLatin1String(op) || (!r.path.isEmpty() && r.path != resolved))
            continue;
        if (r.count > 0 && --r.count == 0)
            mRefusals.removeAt(i);
        return true;
    }
    return false;
}
