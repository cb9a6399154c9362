#include "cvqonekeyprinttrd.h"

#include "vqmonitorseams.h"
#include "vqonekeypage.h"

#include "printerlink/vqcomlink.h"

#include <QDebug>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QMutex>
#include <QWaitCondition>
#include <QThread>

#include <memory>

const QString vqOneKeyPrintReqFile = QStringLiteral("/tmp/vqonekeyprint.req.txt");
const QString vqOneKeyPrintPageName = QStringLiteral("vqonekeyprint.rst.png");
// The printer stores an upload given a bare name in /tmp; the job fields are fixed.
const QString vqOneKeyPrintCommand =
    QStringLiteral("/usr/local/bin/vqlcd.out vqjmaMain prtpng JOBNAME=onekeyprint JOBUSER=onekeyprint JOBMACHINE=com7 "
                   "delAfterPrint=y /tmp/vqonekeyprint.rst.png");

namespace {
QImage vqGrabPrimaryScreen()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        qWarning() << "No screen available!";
        return QImage();
    }
    return screen->grabWindow(0).toImage();
}

void vqLogStep(const char* step, bool ok, quint8 status, const QString& err)
{
    qDebug() << step << vqTickCount() << ok << int(status) << err;
}
}

QImage vqGrabOnGuiThread(const std::function<QImage()>& grab)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return QImage();
    if (QThread::currentThread() == app->thread())
        return grab();
    // Shared: a call abandoned at a stop may still run after this returns.
    struct Shot
    {
        QMutex mutex;
        QWaitCondition cond;
        bool done = false;
        QImage image;
    };
    auto shot = std::make_shared<Shot>();
    QMetaObject::invokeMethod(
        app,
        [shot, grab] {
            const QImage image = grab();
            QMutexLocker lock(&shot->mutex);
            shot->image = image;
            shot->done = true;
            shot->cond.wakeAll();
        },
        Qt::QueuedConnection);
    QMutexLocker lock(&shot->mutex);
    while (!shot->done) {
        if (vqWaitQuit(0))
            return QImage();
        shot->cond.wait(&shot->mutex, 50);
    }
    return shot->image;
}

CvqOneKeyPrintEnd vqOneKeyPrintPass(const QString& port, const std::function<void()>& sent)
{
    CvqComLink link(port);  // closed when the pass ends, however it ends
    quint8 status = 0;
    QString err;

    if (!link.open())
        return CvqOneKeyPrintEnd::NoRequest;
    bool ok = link.vqLinkHas(vqOneKeyPrintReqFile, status, err);
    vqLogStep("...................has req", ok, status, err);
    if (!ok || status != 0)
        return CvqOneKeyPrintEnd::NoRequest;

    // The request goes before the picture: one key press prints at most once.
    if (!link.open())
        return CvqOneKeyPrintEnd::NotDeleted;
    ok = link.vqLinkDel(vqOneKeyPrintReqFile, status, err);
    vqLogStep("...................del req", ok, status, err);
    if (!ok || status != 0)
        return CvqOneKeyPrintEnd::NotDeleted;

    const auto& grab = vqSeams<CvqMonitorSeams>().grab;
    const QImage shot = vqGrabOnGuiThread(grab ? grab : vqGrabPrimaryScreen);
    const QByteArray png = vqPagePng(vqPagePicture(shot));
    if (png.isEmpty()) {
        // A locked session or a platform without a desktop grabs nothing: never print a blank page.
        qWarning() << "One-key print: no usable screen picture" << shot.size() << "- nothing printed";
        return CvqOneKeyPrintEnd::NoPage;
    }

    if (!link.open())
        return CvqOneKeyPrintEnd::NotSent;
    ok = link.vqLinkPut(vqOneKeyPrintPageName, png, status, err);
    vqLogStep("...................send file", ok, status, err);
    if (!ok || status != 0)
        return CvqOneKeyPrintEnd::NotSent;
    if (sent)
        sent();

    if (!link.open())
        return CvqOneKeyPrintEnd::NotStarted;
    ok = link.vqLinkExeAlong(vqOneKeyPrintCommand, status, err);
    vqLogStep("...................exea", ok, status, err);
    return ok && status == 0 ? CvqOneKeyPrintEnd::Started : CvqOneKeyPrintEnd::NotStarted;
}

void CvqOneKeyPrintTrd::run()
{
    vqRunPortLoop(
        [this](const CvqState& s) { vqOneKeyPrintPass(s.vqComName, [&] { emit vqScreenSent(vqDisplayName(s)); }); });
}
