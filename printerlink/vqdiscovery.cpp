#include "vqdiscovery.h"
#include "host/vqhost.h"

QDebug operator<<(QDebug dbg, const CvqUsbDevKnInfo& info)
{
    QDebugStateSaver saver(dbg);
    dbg.nospace() << "CvqUsbDevKnInfo(" << info.vidpid << "," << info.instanceId << ")";
    return dbg;
}

QList<CvqUsbDevFilter> vqProductFilters()
{
    QList<CvqUsbDevFilter> filters;
    filters.reserve(vqProducts.size());
    for (const CvqProduct& row : vqProducts)
        filters.append({row.vidpid, &row});
    return filters;
}

const CvqUsbDevFilter* vqMatchInstanceId(const QString& instanceId, const QList<CvqUsbDevFilter>& filters,
                                         CvqVIDPID* ids)
{
    const QString up = instanceId.toUpper();
    if (!up.startsWith(QLatin1String("USB\\VID_")) || up.size() < 21 || up.at(12) != '&'
        || up.midRef(13, 4) != QLatin1String("PID_"))
        return nullptr;
    const QString vid = up.mid(8, 4);
    const QString pid = up.mid(17, 4);
    for (const CvqUsbDevFilter& f : filters) {
        if (f.vidpid.vid == vid && (f.vidpid.pid.isEmpty() || f.vidpid.pid == pid)) {
            if (ids)
                *ids = CvqVIDPID(vid, pid);
            return &f;
        }
    }
    return nullptr;
}

QMap<QString, CvqUsbDevKnInfo> vqGetUsbPrinters(const QList<CvqUsbDevFilter>& filters)
{
    QMap<QString, CvqUsbDevKnInfo> found;
    QStringList ids;
    const CvqHost::EnumResult rc = vqHost().vqListUsbPrinters(&ids);
    if (rc == CvqHost::EnumListFailed) {
        qDebug() << "(vq)获取系统设备列表失败";
        return found;
    }
    for (const QString& id : qAsConst(ids)) {
        CvqVIDPID vp;
        if (const CvqUsbDevFilter* f = vqMatchInstanceId(id, filters, &vp))
            found.insert(id, {vp, f->product, id});
    }
    if (rc == CvqHost::EnumIdFailed)
        qDebug() << "(vq)获取设备识别字符串失败";
    return found;
}

int vqGetUsbPrinterCount() { return vqGetUsbPrinters(vqProductFilters()).size(); }

QMap<QString, QString> vqGetUsbPrinterQueues(const QStringList& instanceIds)
{
    return vqHost().vqUsbPrinterQueues(instanceIds);
}

void vqShowPrinterQueue(const QString& queueName)
{
    if (queueName.isEmpty())
        return;
    vqHost().vqShowQueue(queueName);
}
