#include "vqscan.h"
#include "vqquit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QThread>

const QString vqScanProbeCmd = QStringLiteral("/usr/local/bin/vqlcd.exe vqwbMain t");
const QString vqScanTryCmd = QStringLiteral("/usr/local/bin/vqlcd.exe vqdoscanMain try");
const QString vqScanRunCmd = QStringLiteral("/usr/local/bin/vqlcd.exe vqdoscanMain run");
const QString vqScanJobDirPrefix = QStringLiteral("/tmp/vqkeltoscans/");

QDebug operator<<(QDebug d, const CvqScanParams& p)
{
    QDebugStateSaver saver(d);
    d.nospace() << "CvqScanParams(vqScannerHostTp=" << p.vqScannerHostTp << ", vqScannerHost=" << p.vqScannerHost
                << ", taskId=" << p.taskId << ", inputMode=" << p.inputMode << ", colorMode=" << p.colorMode
                << ", dpiMode=" << p.dpiMode << ", saveToFileFormat=" << p.saveToFileFormat
                << ", scanPaperSizeTypeEngName=" << p.scanPaperSizeTypeEngName << ", vqOutDir=" << p.vqOutDir << ")";
    return d;
}

static bool onGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void CvqDoScan::vqNewTaskId(CvqScanParams& p)
{
    p.taskId = QStringLiteral("scan") + QString::number(QDateTime::currentMSecsSinceEpoch());
}

bool vqScanFormatOk(const QString& format)
{
    static const QStringList formats = {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"),
                                        QStringLiteral("tif"), QStringLiteral("tiff")};
    return formats.contains(format, Qt::CaseInsensitive);
}

bool CvqDoScan::vqCheckParams(const CvqScanParams& p, const Ask& ask, QString& err) const
{
    const struct
    {
        bool ok;
        const char* text;
    } checks[] = {
        {p.vqScannerHostTp == 1 || p.vqScannerHostTp == 2, "vqScannerHostTp错误"},
        {!p.vqScannerHost.isEmpty(), "vqScannerHost错误"},
        {!p.taskId.isEmpty(), "taskId错误"},
        {p.inputMode == 128 || p.inputMode == 0 || p.inputMode == 1, "inputMode错误"},
        {p.colorMode == 0 || p.colorMode == 1, "colorMode错误"},
        {p.dpiMode == 0 || p.dpiMode == 1, "dpiMode错误"},
        {vqScanFormatOk(p.saveToFileFormat), "saveToFileFormat错误"},
        {!p.scanPaperSizeTypeEngName.isEmpty(), "scanPaperSizeTypeEngName错误"},
        {!p.vqOutDir.isEmpty(), "需填写扫描图片输出目录"},
    };
    for (const auto& c : checks) {
        if (!c.ok) {
            err = QString::fromUtf8(c.text);
            return false;
        }
    }
    const QString dir = p.vqOutDir;
    if (QDir(dir).exists())
        return true;
    // A question box off the GUI thread would crash or hang: answer No there.
    if (!onGuiThread()) {
        qWarning() << "(vq)vqCheckParams off the GUI thread: not creating" << dir;
        return false;
    }
    const QString text = QStringLiteral("目录 ") + dir + QStringLiteral(" 不存在, 创建吗?");
    if (!ask || !ask(QStringLiteral("确认"), text))
        return false;
    if (!QDir().mkpath(dir)) {
        err = QStringLiteral("目录 ") + dir + QStringLiteral(" 创建错误");
        return false;
    }
    return true;
}

int CvqDoScan::vqProbeScanner(CvqComm& comm)
{
    QString out;
    if (!comm.vqExe(vqScanProbeCmd, out, vqComTimeoutSec))
        return -1;
    return out == QLatin1String("ok") ? 0 : out == QLatin1String("err") ? 1 : -1;
}

QString CvqDoScan::vqParamString(const CvqScanParams& p, const QString& base)
{
    return QStringLiteral(" taskId=%1 inputMode=%2 colorMode=%3 dpiMode=%4 saveToBaseWfn=%5 saveToFileFormat=%6 "
                          "scanPaperSizeTypeEngName=%7 isOutParted=1")
        .arg(p.taskId)
        .arg(p.inputMode)
        .arg(p.colorMode)
        .arg(p.dpiMode)
        .arg(base, p.saveToFileFormat, p.scanPaperSizeTypeEngName);
}

QString CvqDoScan::vqResultText(int code)
{
    const char* text = "";
    switch (code) {
    case 1: text = "扫描仪卡纸"; break;
    case 2: text = "扫描中机盖打开"; break;
    case 3: text = "扫描仪无纸"; break;
    case 4: text = "扫描仪硬件故障"; break;
    case 5: text = "扫描中硒鼓仓门打开"; break;
    case 6: text = "扫描超时"; break;
    case 7: text = "扫描电机异常"; break;
    case 8: text = "扫描仪错误"; break;
    case vqScanInitFailed: text = "扫描仪初始化失败,请稍后重试,或重启设备再尝试"; break;
    case vqScanBusy: text = "设备忙,请稍后重试"; break;
    case vqScanCommError: text = "通信错误"; break;
    case vqScanStoreError: text = "文件存储错误"; break;
    case vqScanParamError: text = "参数错误"; break;
    case vqScanSystemError: text = "系统错误"; break;
    default: break;
    }
    return QString::fromUtf8(text);
}

namespace {
// The scan job's pages: like the file sink, but a page's file exists from
// its first part on, as the job's consumers expect.
class CvqScanJobOuter : public CvqScanOuterOfFile
{
public:
    using CvqScanOuterOfFile::CvqScanOuterOfFile;
    bool vqBeginPage(int page) override { return CvqScanOuterOfFile::vqBeginPage(page) && vqOpen(); }
};
}  // namespace

int CvqDoScan::vqScanOn(CvqComm& comm, const CvqScanParams& p, QString& err) const
{
    auto result = [&err](int code) {
        err = vqResultText(code);
        return code;
    };
    const int state = vqReadScanJobState(comm);
    if (state < 0)
        return result(vqScanCommError);
    if (state > 9)
        return result(vqScanBusy);
    const int probe = vqProbeScanner(comm);
    if (probe < 0)
        return result(vqScanCommError);
    if (probe == 1)
        return result(vqScanInitFailed);

    const QString base = vqScanJobDirPrefix + p.taskId + QStringLiteral("/pic");
    const QString params = vqParamString(p, base);
    QString answer;
    if (!comm.vqExe(vqScanTryCmd + params, answer, vqComTimeoutSec))
        return result(vqScanCommError);
    if (answer == QLatin1String("err"))
        return result(vqScanParamError);
    if (answer != QLatin1String("ok"))
        return result(vqScanCommError);
    if (!comm.vqExeAlong(vqScanRunCmd + params))
        return result(vqScanCommError);

    CvqScanJobOuter sink(p.vqOutDir, p.taskId, p.saveToFileFormat);
    sink.vqBeginJob();
    // A job waits out a busy printer without limit: the program's close ends it at once.
    const auto sleep = [](int ms) { return vqWaitQuit(ms); };
    const CvqScanLoopResult r = vqScanPageLoop(comm, base, p.saveToFileFormat, sink, sleep, vqBounds);
    switch (r.end) {
    case CvqScanEnd::Finished: return result(r.jobState);
    case CvqScanEnd::StoreFailed: return result(vqScanStoreError);
    case CvqScanEnd::PartialPage:
        // The bytes stay on disk, but the page is not whole: the scanner's own
        // fault says why; success for a page that never ended does not.
        qDebug() << "(vq)scan ended inside a page; result" << r.jobState;
        return result(r.jobState >= 1 && r.jobState <= 8 ? r.jobState : vqScanCommError);
    case CvqScanEnd::CommFailed:
    case CvqScanEnd::Stopped: break;
    }
    return result(vqScanCommError);
}

int CvqDoScan::vqDoScan(const CvqScanParams& p, QString& err) const
{
    if (p.vqScannerHostTp == 1) {
        CvqCommOfHttp comm(p.vqScannerHost);
        comm.vqSetBodyLimit(vqBounds.pageBytes);
        return vqScanOn(comm, p, err);
    }
    if (p.vqScannerHostTp == 2) {
        CvqCommOfUsb comm(p.vqScannerHost);
        comm.vqLink().vqSetGetLimit(vqBounds.pageBytes);
        return vqScanOn(comm, p, err);
    }
    err = vqResultText(vqScanSystemError);
    return vqScanSystemError;
}
