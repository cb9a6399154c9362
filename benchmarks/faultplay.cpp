// Fault play: the real monitor (every service switched on, hidden, on an X
// server of its own) against printersim on a simulated host, while the
// printer is unplugged (device entry and port gone) again and again, pulled
// at many points of an upload, a download, a one-key print and a scan,
// switched off during an identification read, sends garbage or nothing on
// every frame, and its web server answers slowly, hugely or never.
// Verdicts: the monitor keeps running, shows the printer gone and back,
// leaks no descriptor or thread, stored scan pages stay byte-identical, each
// service works again once the fault is over. Times are figures only.
//
// Usage: faultplay [cycles] [points]     (default 200 cycles, 12 points)
//   points: unplug points per transfer, switch-offs, and link fault kinds
//   played (all of them from 12 up).
// VQ_BIN_DIR: where monitor_allon and printersim are (default: beside this program).
#include "faultwatch.h"
#include "vqsimclient.h"

#include "printerlink/vqcomlink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

const QRegularExpression kGone(QStringLiteral("FvqMain::vqWhenOnCoreTrdChange n=0$"));
const QRegularExpression kBack(QStringLiteral("FvqMain::vqWhenOnCoreTrdChange n=1 \\[[^]]*connected=1 "));
const QRegularExpression kScanEnded(QStringLiteral("scan to pc: job ended"));
const QRegularExpression kScanFolder(QStringLiteral("^(create dir ok|dir already exists):"));
const QString kKeyReq = QStringLiteral("/tmp/vqonekeyprint.req.txt");
const QString kScanReq = QStringLiteral("/tmp/vqscantopc.req.txt");
const char* const kUnplug = "unplug device serial port";
// Long enough for a missed change to be a fault, not a slow machine.
const int kShowMs = 20000;

struct Verdict
{
    QString kind;
    bool pass;
    QString note;
    qint64 atSec;  // when it was decided, since the play began
};

struct WebFault
{
    const char* name;
    const char* line;
    const char* seen;  // a history line that shows the fault was met
};

class CvqFaultPlay
{
public:
    int run(int cycles, int points);
    // Leaves the work folder (the monitor's log, the host tree) in place and names it.
    void vqKeep(bool keep)
    {
        mRoot.setAutoRemove(!keep);
        if (keep)
            std::printf("faultplay: work folder %s\n", qPrintable(mRoot.path()));
    }

private:
    bool setUp(QString* error);
    bool cmd(const QString& line);
    int field(const QString& printer, const QString& key);
    void later(const QStringList& lines);
    void sleepSome(int maxMs) { QThread::msleep(QRandomGenerator::global()->bounded(maxMs)); }
    bool shownGone(const QString& unplugLine, bool timed);
    bool shownBack(bool timed);
    bool goneAndBack(const QString& unplugLine, bool timed);
    void verdict(const QString& kind, bool pass, const QString& note);
    bool historyShows(const QString& text, int ms);
    void webTick();
    bool pagesKept(QString* note);
    void warmUp();
    void plugCycles(int cycles);
    void transfers(int points, bool download);
    void duringService(int points, bool scan);
    void switchOffs(int points);
    void linkFaults(int kinds);
    QString p2Port();

    QElapsedTimer mClock;
    QTemporaryDir mRoot{QDir::tempPath() + QStringLiteral("/faultplay-XXXXXX")};
    CvqSimClient mSim;
    CvqXServer mX;
    CvqWatchedMonitor mMon;
    QString mDesktop;
    QString mScenario;
    QList<Verdict> mVerdicts;
    QVector<qint64> mGoneMs, mBackMs;
    int mMissed = 0;
    int mCycles = 0;
    int mKeyRequests = 0, mScanRequests = 0;
    QMap<QString, QByteArray> mStored;  // pages stored by scans, with their hashes
    QList<WebFault> mWeb;
    int mWebAt = 0;
    int mUpromsAtClear = -1;
    qint64 mRssMax = 0;
};

bool CvqFaultPlay::cmd(const QString& line)
{
    // A "wait" may take its whole time-out: the reply must not be given up before.
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("timeout=(\\d+)")).match(line);
    const QStringList r = mSim.vqCmd(line, m.hasMatch() ? m.captured(1).toInt() + 10000 : 60000);
    if (!r.isEmpty() && r.last().startsWith(QLatin1String("ok")))
        return true;
    std::fprintf(stderr, "printersim: %s -> %s\n", qPrintable(line), qPrintable(r.join(" | ")));
    return false;
}

int CvqFaultPlay::field(const QString& printer, const QString& key)
{
    return mSim.vqStatus(printer).value(key).toInt();
}

// Lines the emulator plays in a session of its own, while this one goes on.
void CvqFaultPlay::later(const QStringList& lines)
{
    QFile f(mScenario);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write((lines.join('\n') + '\n').toUtf8());
    f.close();
    cmd(QStringLiteral("play ") + mScenario);
}

void CvqFaultPlay::verdict(const QString& kind, bool pass, const QString& note)
{
    mVerdicts.append({kind, pass && mMon.vqAlive(), mMon.vqAlive() ? note : note + QStringLiteral("; monitor ended"),
                      mClock.elapsed() / 1000});
}

// Unplugs with unplugLine and waits until the monitor shows the printer gone.
bool CvqFaultPlay::shownGone(const QString& unplugLine, bool timed)
{
    QElapsedTimer t;
    mMon.vqMark();
    t.start();
    cmd(unplugLine);
    const bool gone = mMon.vqWait(kGone, kShowMs);
    if (timed && gone)
        mGoneMs << t.elapsed();
    return gone;
}

// Plugs everything back and waits until the monitor shows the printer again.
bool CvqFaultPlay::shownBack(bool timed)
{
    mSim.vqCmd(QStringLiteral("file rm ") + kKeyReq);  // a press left over from the fault
    mSim.vqCmd(QStringLiteral("file rm ") + kScanReq);
    QElapsedTimer t;
    mMon.vqMark();
    t.start();
    cmd(QStringLiteral("plug all"));
    const bool back = mMon.vqWait(kBack, kShowMs);
    if (timed && back)
        mBackMs << t.elapsed();
    mRssMax = qMax(mRssMax, mMon.vqRssKb());
    webTick();
    return back;
}

bool CvqFaultPlay::goneAndBack(const QString& unplugLine, bool timed)
{
    const bool gone = shownGone(unplugLine, timed);
    const bool back = shownBack(timed);
    mMissed += gone && back ? 0 : 1;
    return gone && back;
}

// Polls p1's request history up to ms for a line containing text.
bool CvqFaultPlay::historyShows(const QString& text, int ms)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        for (const QString& h : mSim.vqHistory(QStringLiteral("p1")))
            if (h.contains(text))
                return true;
        if (t.elapsed() >= ms)
            return false;
        QThread::msleep(200);
    }
}

// The web faults take turns while everything else runs: each stays until a
// LAN pass has met it; the pass after it proves the monitor went on.
void CvqFaultPlay::webTick()
{
    if (mWebAt >= mWeb.size())
        return;
    if (mWebAt >= 0) {
        const WebFault& w = mWeb[mWebAt];
        if (!historyShows(QLatin1String(w.seen), 0))
            return;
        verdict(QStringLiteral("web server: ") + QLatin1String(w.name), true, QStringLiteral("met by a LAN pass"));
    }
    ++mWebAt;
    cmd(QStringLiteral("history clear"));
    if (mWebAt < mWeb.size()) {
        cmd(QLatin1String(mWeb[mWebAt].line));
    } else {
        cmd(QStringLiteral("httpfault clear"));
        mUpromsAtClear = field(QStringLiteral("p1"), QStringLiteral("uprom"));
    }
}

// Every page stored so far is still there, byte for byte; new ones join.
bool CvqFaultPlay::pagesKept(QString* note)
{
    const QMap<QString, QByteArray> now = vqHashTree(mDesktop);
    int changed = 0;
    for (auto it = mStored.cbegin(); it != mStored.cend(); ++it)
        changed += now.value(it.key()) != it.value() ? 1 : 0;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (!mStored.contains(it.key()))
            mStored.insert(it.key(), it.value());
    if (changed)
        *note += QStringLiteral("; %1 stored pages changed or lost").arg(changed);
    return changed == 0;
}

bool CvqFaultPlay::setUp(QString* error)
{
    const QString bin = qEnvironmentVariable("VQ_BIN_DIR", QCoreApplication::applicationDirPath());
    const QString host = mRoot.path() + "/host", out = mRoot.path() + "/out", home = mRoot.path() + "/home";
    mDesktop = home + "/Desktop";
    mScenario = mRoot.path() + "/later.scn";
    for (const QString& d : {host, out, mDesktop, mRoot.path() + "/bin"})
        QDir().mkpath(d);
    if (!mSim.vqStart(host, {"--printers", "0", "--out", out}, 30000, bin)) {
        *error = mSim.vqError();
        return false;
    }
    // A loopback /24 of this run's own for the LAN pass; the printer answers on .2.
    const quint32 pid = quint32(QCoreApplication::applicationPid());
    const QString net = QStringLiteral("127.%1.%2").arg(200 + pid % 50).arg((pid / 50) % 256);
    const QStringList added =
        mSim.vqCmd(QStringLiteral("add p1 model=M5960FDW sn=QV0001 romver=V1.3.6000 http=%1.2:0").arg(net));
    const QString http = CvqSimClient::vqFields(added.value(0)).value(QStringLiteral("http"));
    // p2 is no printer the monitor sees (no device entry, no queue): its port is the link's alone.
    if (!http.startsWith(net) || !cmd("add p2 model=P4120W sn=QV0002 port=2") || !cmd("@p2 unplug device queue")) {
        *error = QStringLiteral("printersim would not add the printers: ") + added.join(" | ");
        return false;
    }
    const QString display = mX.vqStart();
    if (display.isEmpty()) {
        *error = QStringLiteral("Xvfb is missing or did not start (scripts/deps.sh installs it)");
        return false;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("VQ_SIM_HOST", host);
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("VQ_LOOPBACK_ONLY", "1");
    env.insert("VQ_UPROM_IFACES", net + ".1/255.255.255.0");
    env.insert("VQ_UPROM_PORT", http.section(':', 1));
    if (!mMon.vqStart(bin + "/monitor_allon", mRoot.path() + "/bin", QByteArray(64 * 1024, 'F'), env, error))
        return false;
    if (!mMon.vqWait(kBack, 30000)) {
        *error = QStringLiteral("the monitor never showed the printer");
        return false;
    }
    return true;
}

// One clean round of the button services: the base the faults are measured against.
void CvqFaultPlay::warmUp()
{
    const QString p1 = QStringLiteral("p1");
    int r0 = field(p1, "requests");
    const bool printed = cmd("key") && cmd("wait printed 1 timeout=30000");
    mKeyRequests = field(p1, "requests") - r0;
    r0 = field(p1, "requests");
    mMon.vqMark();
    cmd("scan pages=2 interval=300 format=jpg");
    const bool scanned = mMon.vqWait(kScanEnded, 60000);
    mScanRequests = field(p1, "requests") - r0;
    QString note;
    pagesKept(&note);
    // The first LAN pass makes the network's process-wide helpers (a thread, a
    // descriptor) once: the floor is measured after it.
    historyShows(QStringLiteral("http GET /ajax_get1284"), 30000);
    // The LAN upload's clean run is the last step, once the web faults are over.
    verdict(QStringLiteral("clean run of the button services"), printed && scanned && mStored.size() == 2,
            QStringLiteral("printed %1, %2 pages stored; a press takes %3 requests, a scan %4")
                .arg(printed ? "yes" : "no")
                .arg(mStored.size())
                .arg(mKeyRequests)
                .arg(mScanRequests));
}

void CvqFaultPlay::plugCycles(int cycles)
{
    for (int i = 0; i < cycles && mMon.vqAlive(); ++i) {
        // A different point of the poll cycle each time, both ways.
        sleepSome(1000);
        const bool gone = shownGone(QLatin1String(kUnplug), true);
        sleepSome(1000);
        const bool back = shownBack(true);
        mMissed += gone && back ? 0 : 1;
        ++mCycles;
    }
}

QString CvqFaultPlay::p2Port() { return mSim.vqStatus(QStringLiteral("p2")).value(QStringLiteral("pty")); }

// The port of p2 goes away at request k of a 64 KiB put or get over the link.
void CvqFaultPlay::transfers(int points, bool download)
{
    const QByteArray data = QByteArray(64 * vqComChunk, 'D') + "end";
    const int chunks = data.size() / vqComChunk + 1;
    int clean = 0, falseOk = 0;
    qint64 longest = 0;
    for (int j = 0; j < points; ++j) {
        const int k = 1 + (points > 1 ? j * (chunks - 2) / (points - 1) : chunks / 2);
        quint8 status = 0;
        QString err;
        if (download) {
            CvqComLink put(p2Port());
            put.open();
            put.vqLinkPut(QStringLiteral("/tmp/fp.bin"), data, status, err);
        }
        // Answers 15 ms late: the unplug, played on a 20 ms poll, lands near its point.
        cmd("@p2 linkfault late delay=15 count=0");
        later({QStringLiteral("@p2 wait requests %1 timeout=30000").arg(field("p2", "requests") + k),
               QStringLiteral("@p2 unplug port")});
        CvqComLink link(p2Port());
        QElapsedTimer t;
        t.start();
        QByteArray got;
        bool ok = link.open();
        ok = ok
            && (download ? link.vqLinkGet(QStringLiteral("/tmp/fp.bin"), got, status, err)
                         : link.vqLinkPut(QStringLiteral("/tmp/fp.bin"), data, status, err));
        longest = qMax(longest, t.elapsed());
        // A transfer that beat the played unplug: let it happen before plugging again.
        for (QElapsedTimer w; !w.isValid() || w.elapsed() < 5000; QThread::msleep(10)) {
            if (!w.isValid())
                w.start();
            if (!mSim.vqStatus(QStringLiteral("p2")).value(QStringLiteral("plugged")).contains(QLatin1String("port")))
                break;
        }
        cmd("@p2 plug port");
        cmd("@p2 linkfault clear");
        if (ok && status == 0) {
            // A success must be a whole file: check it over the new port.
            QByteArray back;
            CvqComLink check(p2Port());
            const bool whole = download
                ? got == data
                : check.open() && check.vqLinkGet(QStringLiteral("/tmp/fp.bin"), back, status, err) && back == data;
            falseOk += whole ? 0 : 1;
        } else {
            ++clean;
        }
        mSim.vqCmd("@p2 file rm /tmp/fp.bin");
    }
    verdict(
        QStringLiteral("unplug during a link %1").arg(download ? "download" : "upload"), falseOk == 0,
        QStringLiteral("%1 points: %2 failed cleanly, %3 finished before the unplug, %4 false successes; longest %5 ms")
            .arg(points)
            .arg(clean)
            .arg(points - clean - falseOk)
            .arg(falseOk)
            .arg(longest));
}

// The printer is pulled at request k of a one-key print or a scan to PC; the
// monitor must show it gone and back, and the service must work again.
void CvqFaultPlay::duringService(int points, bool scan)
{
    const int total = qMax(2, scan ? mScanRequests : mKeyRequests);
    int missed = 0, notAgain = 0;
    bool kept = true;
    QString note;
    for (int j = 0; j < points && mMon.vqAlive(); ++j) {
        const int k = 1 + (points > 1 ? j * (total - 1) / (points - 1) : total / 2);
        later({QStringLiteral("wait requests %1 timeout=30000").arg(field("p1", "requests") + k),
               QLatin1String(kUnplug)});
        mMon.vqMark();
        cmd(scan ? "scan pages=3 interval=300 format=jpg" : "key");
        const bool gone = mMon.vqWait(kGone, kShowMs);
        // A scan job must end by itself, the printer still away (none starts
        // when the printer went before the request was deleted).
        const bool ended = !scan || !mMon.vqWait(kScanFolder, 2000) || mMon.vqWait(kScanEnded, 60000);
        if (scan)
            mSim.vqCmd("scan stop");
        const bool back = shownBack(false);
        if (!gone || !back || !ended) {
            ++missed;
            note += QStringLiteral("; at request %1: gone %2, back %3, job ended %4")
                        .arg(k)
                        .arg(gone ? "yes" : "no", back ? "yes" : "no", ended ? "yes" : "no");
        }
        kept = pagesKept(&note) && kept;
        // Again, undisturbed.
        const int printed = field("p1", "printed");
        mMon.vqMark();
        const bool again = scan ? cmd("scan pages=1 format=jpg") && mMon.vqWait(kScanEnded, 60000)
                                : cmd("key") && cmd(QStringLiteral("wait printed %1 timeout=30000").arg(printed + 1));
        notAgain += again ? 0 : 1;
        kept = pagesKept(&note) && kept;
    }
    verdict(QStringLiteral("unplug during a %1").arg(scan ? "scan page" : "one-key print"),
            missed == 0 && notAgain == 0 && kept,
            QStringLiteral("%1 points of %2 requests: %3 not shown gone/back (or job not ended), %4 times the service "
                           "did not work again%5")
                .arg(points)
                .arg(total)
                .arg(missed)
                .arg(notAgain)
                .arg(note));
}

// Switched off during an identification read: the device is still listed but
// its identification request fails, then it goes.
void CvqFaultPlay::switchOffs(int points)
{
    int missed = 0;
    for (int j = 0; j < points && mMon.vqAlive(); ++j) {
        cmd("unplug idread");
        sleepSome(1500);
        missed += goneAndBack(QLatin1String(kUnplug), false) ? 0 : 1;
    }
    verdict(QStringLiteral("switched off during an identification read"), missed == 0,
            QStringLiteral("%1 times, %2 not shown gone/back").arg(points).arg(missed));
}

// Garbage or silence on every frame while the key is pressed; the printer
// then goes and comes back, and after the fault one press prints one page.
void CvqFaultPlay::linkFaults(int kinds)
{
    static const char* const all[] = {"garbled",   "silence",   "noise",       "oversize", "echo",      "stale",
                                      "truncated", "wrongecho", "wrongoffset", "late",     "splithead", "pieces"};
    for (int i = 0; i < kinds && i < int(sizeof all / sizeof *all) && mMon.vqAlive(); ++i) {
        const QString kind = QLatin1String(all[i]);
        const int before = field("p1", "printed");
        cmd(QStringLiteral("linkfault %1 count=0").arg(kind));
        cmd("key");
        QThread::msleep(2000);                                          // a pass or two of each service under the fault
        const bool shown = goneAndBack(QLatin1String(kUnplug), false);  // plug all clears no link fault
        const int during = field("p1", "printed") - before;
        cmd("linkfault clear");
        const int printed = field("p1", "printed");
        const bool again = cmd("key") && cmd(QStringLiteral("wait printed %1 timeout=40000").arg(printed + 1));
        verdict(QStringLiteral("link fault on every frame: ") + kind, shown && again,
                QStringLiteral("shown gone/back %1, pages printed during it %2, prints again after %3")
                    .arg(shown ? "yes" : "no")
                    .arg(during)
                    .arg(again ? "yes" : "no"));
    }
}

qint64 median(QVector<qint64> v)
{
    if (v.isEmpty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int CvqFaultPlay::run(int cycles, int points)
{
    QString error;
    mClock.start();
    if (!setUp(&error)) {
        std::fprintf(stderr, "faultplay: %s\n", qPrintable(error));
        return 2;
    }
    warmUp();
    const int window = cycles >= 50 ? 11000 : 2500;  // a LAN pass every 10 s: sample past one
    const CvqFloor before = vqFloorOver(mMon, window);
    const qint64 rssBefore = mMon.vqRssKb();

    mWeb = {{"slow", "httpfault late delay=5000 count=0", "http GET /ajax_get1284"},
            {"huge", "httpfault huge count=0", "http GET /ajax_get1284"},
            {"never", "httpfault silence count=0", "http GET /ajax_get1284"}};
    if (cycles >= 50)  // the upload's own time-out is long: only where the run outlasts it
        mWeb.prepend(
            {"upload never finishes", "httpfault stall path=/uprom size=4096 count=0", "http POST /uprom stalled"});
    mWebAt = -1;
    webTick();

    plugCycles(cycles);
    transfers(points, false);
    transfers(points, true);
    duringService(points, false);
    duringService(points, true);
    switchOffs(points);
    linkFaults(qMax(2, points));
    // The web faults that no pass has met yet.
    for (QElapsedTimer t; !t.isValid() || (mWebAt < mWeb.size() && t.elapsed() < 180000 && mMon.vqAlive());) {
        if (!t.isValid())
            t.start();
        QThread::msleep(500);
        webTick();
    }
    for (int i = mWebAt; i < mWeb.size(); ++i)
        verdict(QStringLiteral("web server: ") + QLatin1String(mWeb[i].name), false,
                QStringLiteral("no LAN pass met it"));
    if (mUpromsAtClear >= 0) {
        const bool up = cmd(QStringLiteral("wait uprom %1 timeout=200000").arg(mUpromsAtClear + 1));
        verdict(QStringLiteral("web server: uploads again after the faults"), up, QString());
    }

    CvqFloor after = vqFloorOver(mMon, window);
    if (after.fds > before.fds || after.threads > before.threads) {
        // A LAN pass may have lasted the whole window: look past the next one too.
        const CvqFloor longer = vqFloorOver(mMon, 12000);
        after = {qMin(after.fds, longer.fds), qMin(after.threads, longer.threads)};
    }
    const qint64 rssAfter = mMon.vqRssKb();
    QString note;
    const bool kept = pagesKept(&note);
    verdict(QStringLiteral("no descriptor or thread leaked"),
            after.fds >= 0 && after.fds <= before.fds && after.threads <= before.threads,
            QStringLiteral("descriptors %1 -> %2, threads %3 -> %4 (Qt's pooled threads left out)")
                .arg(before.fds)
                .arg(after.fds)
                .arg(before.threads)
                .arg(after.threads));
    verdict(QStringLiteral("stored scan pages byte-identical"), kept,
            QStringLiteral("%1 files hashed before and after%2").arg(mStored.size()).arg(note));
    verdict(QStringLiteral("plug/unplug cycles shown"), mMissed == 0,
            QStringLiteral("%1 changes not shown within %2 s").arg(mMissed).arg(kShowMs / 1000));
    const bool alive = mMon.vqAlive();
    verdict(QStringLiteral("monitor kept running"), alive, QString());
    // Closing while the printer answers each chunk of a one-key print's upload
    // just inside the time-out, and the web server takes uploads and never answers.
    cmd("httpfault stall path=/uprom size=4096 count=0");
    cmd("linkfault late delay=3000 count=0 types=10");  // each upload chunk
    cmd("history clear");
    cmd("key");
    const bool midUpload = historyShows(QStringLiteral("serial type=10 "), 60000);
    QElapsedTimer closing;
    closing.start();
    const bool closed = mMon.vqStop();
    mVerdicts.append({QStringLiteral("monitor closes on \"exit\" with a slow printer"), closed && midUpload,
                      QStringLiteral("each upload chunk answered 3 s late, %1; closed after %2 ms")
                          .arg(midUpload ? "mid-upload" : "the upload never began")
                          .arg(closing.elapsed()),
                      mClock.elapsed() / 1000});

    auto within = [](const QVector<qint64>& v, qint64 ms) {
        return int(std::count_if(v.begin(), v.end(), [ms](qint64 x) { return x <= ms; }));
    };
    std::printf("fault play: %d plug/unplug cycles survived (monitor %s)\n", mCycles, alive ? "running" : "ENDED");
    std::printf("  gone shown after: median %lld ms, max %lld ms; %d of %d within two poll cycles (2000 ms)\n",
                median(mGoneMs), mGoneMs.isEmpty() ? -1LL : *std::max_element(mGoneMs.begin(), mGoneMs.end()),
                within(mGoneMs, 2000), int(mGoneMs.size()));
    std::printf("  back shown after: median %lld ms, max %lld ms; %d of %d within two poll cycles (2000 ms)\n",
                median(mBackMs), mBackMs.isEmpty() ? -1LL : *std::max_element(mBackMs.begin(), mBackMs.end()),
                within(mBackMs, 2000), int(mBackMs.size()));
    std::printf("  descriptors %d -> %d, threads %d -> %d (Qt's pooled threads left out), resident %lld -> %lld KiB "
                "(max %lld KiB)\n",
                before.fds, after.fds, before.threads, after.threads, rssBefore, rssAfter, qMax(mRssMax, rssAfter));
    int failed = 0;
    for (const Verdict& v : qAsConst(mVerdicts)) {
        std::printf("  %s %4lld s  %s%s%s\n", v.pass ? "pass" : "FAIL", v.atSec, qPrintable(v.kind),
                    v.note.isEmpty() ? "" : ": ", qPrintable(v.note));
        failed += v.pass ? 0 : 1;
    }
    std::printf("%s\n", failed ? "fault play: FAILED" : "fault play: every fault kind passed");
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const int cycles = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    const int points = argc > 2 ? std::max(1, atoi(argv[2])) : 12;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    CvqFaultPlay play;
    play.vqKeep(qEnvironmentVariableIsSet("VQ_FAULTPLAY_KEEP"));
    return play.run(cycles, points);
}
