#include "vqsimhostentry.h"

#include "vqsimtree.h"

#include <QFile>
#include <QFileInfo>

CvqSimHostEntry::CvqSimHostEntry(CvqSimTree* tree, const QString& name, const QString& queue, const QString& instanceId,
                                 int usbPort, const QString& sn, const QString& winePrefix)
    : mTree(tree), mName(name), mQueue(queue), mInstanceId(instanceId), mSn(sn), mWinePrefix(winePrefix),
      mUsbPort(usbPort)
{
}

QString CvqSimHostEntry::comLink() const { return mWinePrefix + QStringLiteral("/dosdevices/com%1").arg(4 + mUsbPort); }

QString CvqSimHostEntry::vqComName() const
{
    return mWinePrefix.isEmpty() ? QString() : QStringLiteral("COM%1").arg(4 + mUsbPort);
}

// Our COM links point at pseudo-terminals: one of those is replaced (left by an
// earlier run), anything else in its place is not ours to touch.
bool CvqSimHostEntry::vqComPlaceFree(QString* error) const
{
    const QFileInfo fi(comLink());
    if (mWinePrefix.isEmpty() || (!fi.isSymLink() && !fi.exists())
        || fi.symLinkTarget().startsWith(QLatin1String("/dev/pts/")))
        return true;
    *error = comLink() + QStringLiteral(" is taken by something other than a link to a pseudo-terminal");
    return false;
}

void CvqSimHostEntry::unlinkCom()
{
    if (!mComTarget.isEmpty() && QFileInfo(comLink()).symLinkTarget() == mComTarget)
        QFile::remove(comLink());
    mComTarget.clear();
}

void CvqSimHostEntry::vqShowDevice(const QByteArray& id, bool readFails)
{
    if (!id.isEmpty() && id != mId) {
        if (mId.isEmpty())
            mTree->vqAddDevice(mInstanceId, id);
        else
            mTree->vqSetDeviceReply(mInstanceId, id);
        mId = id;
    } else if (id.isEmpty() && !mId.isEmpty()) {
        mTree->vqRemoveDevice(mInstanceId);
        mReadFails = false;
        mId.clear();
    }
    if (!mId.isEmpty() && mReadFails != readFails) {
        mReadFails = readFails;
        mTree->vqSetReadFails(mInstanceId, readFails);
    }
}

void CvqSimHostEntry::vqShowQueue(bool shown, int jobs)
{
    if (shown != mQueueShown) {
        if (mQueueShown)
            mTree->vqRemoveQueue(mQueue);
        else
            mTree->vqAddQueue(mQueue, mInstanceId, mUsbPort);
        mQueueShown = shown;
        mJobs = -1;
    }
    if (mQueueShown && mJobs != jobs) {
        mTree->vqClearJobs(mQueue);
        for (int i = 1; i <= jobs; ++i)
            mTree->vqAddJob(mQueue, QStringLiteral("job%1").arg(i, 4, 10, QLatin1Char('0')));
        mJobs = jobs;
    }
}

void CvqSimHostEntry::vqShowSerial(const QString& ptyPath)
{
    QString error;
    if (!ptyPath.isEmpty() && !mSerialShown) {
        // Under Wine the port is opened by its COM name, which the link maps to the terminal.
        if (mWinePrefix.isEmpty()) {
            mSerialShown = mTree->vqAddSerialPort(mName, ptyPath, mSn);
            return;
        }
        const bool free = vqComPlaceFree(&error);
        if (free)
            QFile::remove(comLink());
        if (!free || !QFile::link(ptyPath, comLink())) {
            qWarning("cannot link %s: %s", qPrintable(comLink()), qPrintable(error));
            return;
        }
        mComTarget = ptyPath;
        mSerialShown = mTree->vqAddSerialPort(mName, vqComName(), mSn);
    } else if (ptyPath.isEmpty() && mSerialShown) {
        mTree->vqRemoveSerialPort(mName);
        unlinkCom();
        mSerialShown = false;
    }
}

void CvqSimHostEntry::vqRemove()
{
    mTree->vqRemoveDevice(mInstanceId);
    mTree->vqRemoveSerialPort(mName);
    unlinkCom();
    mTree->vqRemoveQueue(mQueue);
    mQueueShown = mSerialShown = mReadFails = false;
    mId.clear();
    mJobs = -1;
}
