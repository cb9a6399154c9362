#pragma once
// What the simulated host tree shows of one printer: its device entry and
// identification read, its queue and jobs, its serial port entry (under Wine,
// a COM link to the pseudo-terminal). It writes only what changed.

#include <QByteArray>
#include <QString>

class CvqSimTree;

class CvqSimHostEntry
{
public:
    CvqSimHostEntry(CvqSimTree* tree, const QString& name, const QString& queue, const QString& instanceId, int usbPort,
                    const QString& sn, const QString& winePrefix);
    ~CvqSimHostEntry() { unlinkCom(); }

    // The device entry with that identification text (empty: none), its read failing or not.
    void vqShowDevice(const QByteArray& id, bool readFails);
    void vqShowQueue(bool shown, int jobs);
    // The serial port entry of that pseudo-terminal (empty: none).
    void vqShowSerial(const QString& ptyPath);
    // Everything of the printer out of the tree.
    void vqRemove();
    // Under Wine, whether the COM link's place is ours to take (false with a reason).
    bool vqComPlaceFree(QString* error) const;
    // "COM<4 + port>" under Wine, else empty.
    QString vqComName() const;

private:
    QString comLink() const;
    void unlinkCom();

    CvqSimTree* mTree;
    QString mName, mQueue, mInstanceId, mSn, mWinePrefix;
    int mUsbPort;
    // What the tree holds now (an empty id: no device entry).
    QByteArray mId;
    bool mReadFails = false, mQueueShown = false, mSerialShown = false;
    int mJobs = -1;
    QString mComTarget;  // the pseudo-terminal our COM link points at; empty: none
};
