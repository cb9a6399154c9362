#include "cvqlanuprom.h"
#include "vqlanaddr.h"

#include "printerlink/printerlink.h"
#include "printerlink/vqhttponce.h"
#include "printerlink/vqtext.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace {
// Any host on the LAN may answer: no answer of a real printer comes near this.
constexpr qint64 kBodyLimit = 64 * 1024;

// Text from the LAN, quoted with its control characters escaped: a device
// cannot forge log lines.
QString lanText(const QString& text)
{
    QString out;
    QDebug(&out).nospace() << text;
    return out;
}

QUrl deviceUrl(const QString& ip, const QString& path, quint16 port)
{
    QUrl url(QStringLiteral("http://") + ip);
    url.setPath(path.section(QLatin1Char('?'), 0, 0));
    if (path.contains(QLatin1Char('?')))
        url.setQuery(path.section(QLatin1Char('?'), 1));
    if (port != 80)
        url.setPort(port);
    return url;
}
}  // namespace

QString vqUpRomGet(const QString& ip, const QString& path, int timeoutMs, QNetworkAccessManager* nam)
{
    if (!vqUpRomMayContact(ip))
        return QString();
    QByteArray body;
    if (vqHttpFetch(deviceUrl(ip, path, vqUpRomConfig().port), timeoutMs, kBodyLimit, body, nam) != CvqFetchResult::Ok)
        return QString();
    return vqTextBeforeNul(body);
}

bool vqUpRomIsPrinter(const QString& id) { return id.contains(QLatin1String("CLS:PRINTER;")); }

CvqUpRomSnap vqUpRomReadSnap(const QString& snap)
{
    CvqUpRomSnap r;
    const int open = snap.indexOf(QLatin1Char('{'));
    const int close = snap.lastIndexOf(QLatin1Char('}'));
    if (open < 0 || close < open)
        return r;
    const QJsonDocument doc = QJsonDocument::fromJson(snap.mid(open, close - open + 1).toUtf8());
    if (!doc.isObject())
        return r;
    const QJsonObject o = doc.object();
    r.type = o.value(QStringLiteral("vqProductType")).toString();
    r.romver = o.value(QStringLiteral("romver")).toString();
    r.pa = o.value(QStringLiteral("pa")).toInt();
    if (!vqUpRomProductTypes.contains(r.type))
        r.verdict = CvqUpRomVerdict::OtherType;
    else if (!vqRomUpgradeDue(r.romver))
        r.verdict = CvqUpRomVerdict::RomCurrent;
    else if (r.pa != 0 && r.pa != 1)  // idle or sleeping
        r.verdict = CvqUpRomVerdict::PrinterBusy;
    else
        r.verdict = CvqUpRomVerdict::Upload;
    return r;
}

CvqUpRomVerdict vqUpRomJobsVerdict(const QString& jobs)
{
    if (!jobs.contains(QLatin1String("vqmainjob.vqjobrun: 0")))
        return CvqUpRomVerdict::EquipBusy;
    if (!jobs.contains(QLatin1String("vqscanjob.vqjobrun: 0")))
        return CvqUpRomVerdict::ScannerBusy;
    return CvqUpRomVerdict::Upload;
}

QString vqUpRomFirmwarePath(const QString& fixedPath, const QString& appDir)
{
    if (!fixedPath.isEmpty() && QFile::exists(fixedPath))
        return fixedPath;
    const QString beside = appDir + QStringLiteral("/1.RM");
    return QFile::exists(beside) ? beside : QString();
}

bool vqUpRomUpload(const QString& ip)
{
    const CvqUpRomConfig config = vqUpRomConfig();
    const QString path = vqUpRomFirmwarePath(config.firmwareFixed, QCoreApplication::applicationDirPath());
    if (path.isEmpty() || !vqUpRomMayContact(ip))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Never through the network manager: it would post the image again, unasked,
    // on a connection closed before the answer.
    CvqHttpOnceRequest request;
    request.method = "POST";
    request.url = deviceUrl(ip, QStringLiteral("/uprom"), config.port);
    vqHttpFormFile(&request,
                   "Content-Disposition: form-data; name=\"file1\"; filename=\"1.RM\"\r\n"
                   "Content-Type: application/octet-stream\r\n",
                   &file);
    request.timeoutMs = config.uploadMs;
    request.limit = kBodyLimit;  // nobody reads the answer; a larger one is still an answer
    request.progress = [](qint64 sent, qint64 total) { qDebug() << "upload progress：" << sent << " / " << total; };
    // A monitor asked to close must not wait out that long time-out.
    request.stop = [] { return vqWaitQuit(0); };
    const CvqHttpOnceReply reply = vqHttpOnce(request);
    if (reply.error == QLatin1String("Operation canceled") && !vqWaitQuit(0))
        qDebug() << "Request timed out!";
    // A redirect (never followed) is not the printer taking the image.
    if (!reply.error.isEmpty())
        qDebug().noquote() << "upload FAILED:" << lanText(reply.error);
    return reply.ok();
}

void CvqLanUpRomSlaveTrd::vqRunOneIp(const QString& ip, QNetworkAccessManager* nam)
{
    const CvqUpRomConfig config = vqUpRomConfig();
    qDebug().noquote() << "-------------------"
                       << "vqRunOneIp" << ip << "@" << index << "-------------------";
    const QString id = vqUpRomGet(ip, QStringLiteral("/ajax_get1284"), config.idMs, nam);
    if (id.isEmpty())
        return;
    if (!vqUpRomIsPrinter(id)) {
        qDebug().noquote() << "not our printer" << ip;
        return;
    }
    const CvqUpRomSnap snap = vqUpRomReadSnap(vqUpRomGet(ip, QStringLiteral("/ajax_getsnapstate"), config.snapMs, nam));
    switch (snap.verdict) {
    case CvqUpRomVerdict::NoSnapshot: return;
    case CvqUpRomVerdict::OtherType:
        qDebug().noquote() << "not need uprom ProductType" << ip << lanText(snap.type);
        return;
    case CvqUpRomVerdict::RomCurrent: qDebug().noquote() << "romver already high" << ip << lanText(snap.romver); return;
    case CvqUpRomVerdict::PrinterBusy: qDebug().noquote() << "printer is buzy" << ip << snap.pa; return;
    default: break;
    }
    qDebug().noquote() << "need uprom#1" << ip;
    switch (vqUpRomJobsVerdict(vqUpRomGet(ip, QStringLiteral("/vqexe/usr/local/bin/vqm.out?o"), config.jobMs, nam))) {
    case CvqUpRomVerdict::EquipBusy: qDebug().noquote() << ip << "equip is buzy"; return;
    case CvqUpRomVerdict::ScannerBusy: qDebug().noquote() << ip << "scanner is buzy"; return;
    default: break;
    }
    qDebug().noquote() << ip << "need uprom#2";
    vqUpRomUpload(ip);
}

void CvqLanUpRomSlaveTrd::run()
{
    // One manager (and its thread) for every address of the pass.
    QNetworkAccessManager nam;
    nam.setProxy(QNetworkProxy::NoProxy);
    for (;;) {
        QString ip;
        {
            QMutexLocker lock(mutex);
            if (!pending->isEmpty())
                ip = pending->takeFirst();
        }
        if (ip.isEmpty())
            break;
        vqRunOneIp(ip, &nam);
        if (vqWaitQuit(0))
            break;
    }
}

int CvqLanUpRomTrd::vqTotal()
{
    QMutexLocker lock(&mutex);
    return total;
}

int CvqLanUpRomTrd::vqPendingCount()
{
    QMutexLocker lock(&mutex);
    return pending.size();
}

void CvqLanUpRomTrd::vqPass(int workers)
{
    QStringList list;
    for (const QString& ip : vqUpRomAddressList(vqUpRomIfEntries()))
        if (vqUpRomMayContact(ip))
            list << ip;
    {
        QMutexLocker lock(&mutex);
        pending = list;
        total = list.size();
    }
    QList<CvqLanUpRomSlaveTrd*> slaves;
    for (int i = 0; i < workers; ++i)
        slaves << new CvqLanUpRomSlaveTrd(i, &pending, &mutex);
    for (CvqLanUpRomSlaveTrd* s : slaves)
        s->start(QThread::InheritPriority);
    for (CvqLanUpRomSlaveTrd* s : slaves) {
        s->wait();
        delete s;
    }
}

void CvqLanUpRomTrd::run()
{
    if (onePass) {
        vqPass(8);
    } else {
        while (!vqWaitQuit(10000))
            vqPass(2);
    }
    finished = true;
}

void vqUpRomTick(int total, int pending, int& maximum, int& value)
{
    const int done = total - pending;
    if (done >= 1 && done <= total && total > 0) {
        if (maximum == total)
            value = done;
        else
            maximum = total;
    } else {
        value = 0;
    }
}
