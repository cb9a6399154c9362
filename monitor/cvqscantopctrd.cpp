#include "cvqscantopctrd.h"

#include "vqmonitorseams.h"
#include "vqportloop.h"

#include "printerlink/vqscan.h"
#include "printerlink/vqscanpages.h"
#include "printerlink/vqtext.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

const QString vqScanToPcReqFile = QStringLiteral("/tmp/vqscantopc.req.txt");
const QString vqScanToPcImageBase = QStringLiteral("/tmp/vqstdscans/pic");

QString vqScanToPcFolderName(const QString& displayName, const QDateTime& when)
{
    QString name = displayName;
    for (QChar& c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("\\/:*?\"<>|").contains(c))
            c = QLatin1Char('_');
    }
    return name + QLatin1Char(' ') + when.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss"));
}

QString vqScanToPcFolder(const QString& desktop, const QString& name)
{
    // No desktop: never fall back to the working directory.
    if (desktop.isEmpty() || !QDir::isAbsolutePath(desktop)) {
        qDebug() << "create dir failed:" << desktop << name;
        return QString();
    }
    QDir top(desktop);
    for (int n = 1; n <= 100; ++n) {
        const QString leaf = n == 1 ? name : QStringLiteral("%1 (%2)").arg(name).arg(n);
        const QString path = QDir::cleanPath(desktop + QDir::separator() + leaf);
        if (top.mkdir(leaf)) {
            qDebug() << "create dir ok:" << path;
            return path;
        }
        // A link planted there would lead the pages anywhere: take the next name.
        if (QFileInfo(path).isSymLink()) {
            qDebug() << "not following a link:" << path;
            continue;
        }
        const QDir dir(path);
        if (!dir.exists()) {
            qDebug() << "create dir failed:" << path;
            return QString();
        }
        // A job of the same second before this one: keep its pages.
        if (dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
            qDebug() << "dir already exists:" << path;
            return path;
        }
    }
    qDebug() << "create dir failed:" << QDir::cleanPath(desktop + QDir::separator() + name);
    return QString();
}

namespace {
// The desktop folder appears with the first page: a job that brings none
// leaves nothing behind.
class CvqScanToPcOuter : public CvqScanOuterOfFile
{
public:
    CvqScanToPcOuter(const QString& format, std::function<QString()> makeFolder)
        : CvqScanOuterOfFile(QString(), QStringLiteral("scan"), format), mMakeFolder(std::move(makeFolder))
    {
    }
    bool vqBeginPage(int page) override
    {
        if (vqDir().isEmpty())
            vqSetDir(mMakeFolder());
        mNoFolder = vqDir().isEmpty();
        return !mNoFolder && CvqScanOuterOfFile::vqBeginPage(page);
    }
    bool vqNoFolder() const { return mNoFolder; }

private:
    std::function<QString()> mMakeFolder;
    bool mNoFolder = false;
};
}  // namespace

CvqScanToPcEnd vqScanToPcPass(const QString& port, const QString& displayName)
{
    CvqCommOfUsb comm(port);
    CvqComLink& link = comm.vqLink();
    if (!link.open())
        return CvqScanToPcEnd::NoRequest;
    link.vqSetGetLimit(CvqScanBounds().pageBytes);

    quint8 status = 0;
    QString err;
    QByteArray bytes;
    bool cut = false;
    // A request names a format: a few bytes. Of a larger one only its start is read.
    bool ok = link.vqLinkGetHead(vqScanToPcReqFile, vqScanToPcReqLimit, bytes, cut, status, err);
    const QString text = vqTextBeforeNul(bytes);
    qDebug() << "...................read req" << vqTickCount() << ok << status << err << text.left(64);
    if (!ok || status != 0)
        return CvqScanToPcEnd::NoRequest;
    const QString format = text.trimmed();

    ok = link.vqLinkDel(vqScanToPcReqFile, status, err);
    qDebug() << "...................del req" << vqTickCount() << ok << status << err;
    if (!ok || status != 0)
        return CvqScanToPcEnd::NoRequest;
    if (cut) {
        qDebug() << "scan to pc: refused request over" << vqScanToPcReqLimit << "bytes:" << format.left(40);
        return CvqScanToPcEnd::BadRequest;
    }
    // The format becomes a file extension on the desktop: only an image type, never one it runs.
    if (!vqScanFormatOk(format)) {
        qDebug() << "scan to pc: refused image format" << format.left(40);
        return CvqScanToPcEnd::BadRequest;
    }

    const CvqMonitorSeams& seams = vqSeams<CvqMonitorSeams>();
    const QString name = vqScanToPcFolderName(displayName, seams.now ? seams.now() : QDateTime::currentDateTime());
    CvqScanToPcOuter sink(format, [&] {
        return vqScanToPcFolder(
            seams.desktop ? seams.desktop() : QStandardPaths::writableLocation(QStandardPaths::DesktopLocation), name);
    });
    sink.vqBeginJob();
    const CvqScanLoopResult r =
        vqScanPageLoop(comm, vqScanToPcImageBase, format, sink, [](int ms) { return vqWaitQuit(ms); });
    qDebug() << "scan to pc: job ended" << int(r.end) << r.jobState << sink.vqDir();
    return sink.vqNoFolder() ? CvqScanToPcEnd::NoFolder : CvqScanToPcEnd::JobEnded;
}

void CvqScanToPcTrd::run()
{
    vqRunPortLoop([](const CvqState& s) { vqScanToPcPass(s.vqComName, vqDisplayName(s)); });
}
