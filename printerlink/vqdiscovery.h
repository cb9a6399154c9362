#pragma once
// Which supported printers are attached, and which print queue prints to each.

#include "vqproduct.h"

#include <QMap>

// One supported product as discovery looks for it; an empty pid matches any product.
struct CvqUsbDevFilter
{
    CvqVIDPID vidpid;
    const CvqProduct* product = nullptr;  // not owned
};

// One attached, supported printer.
struct CvqUsbDevKnInfo
{
    CvqVIDPID vidpid;                     // upper-cased ids read from the instance id
    const CvqProduct* product = nullptr;  // the matching row; rows live for the whole run
    QString instanceId;                   // exactly as the OS returned it
};
QDebug operator<<(QDebug dbg, const CvqUsbDevKnInfo& info);

// One match entry per product row, in table order.
QList<CvqUsbDevFilter> vqProductFilters();

// The filter that accepts this instance id, or nullptr. Only positions 0 to 20
// of the upper-cased id are examined.
const CvqUsbDevFilter* vqMatchInstanceId(const QString& instanceId, const QList<CvqUsbDevFilter>& filters,
                                         CvqVIDPID* ids = nullptr);
// The result points into the list: a temporary list would leave it dangling.
const CvqUsbDevFilter* vqMatchInstanceId(const QString&, QList<CvqUsbDevFilter>&&, CvqVIDPID* = nullptr) = delete;

QMap<QString, CvqUsbDevKnInfo> vqGetUsbPrinters(const QList<CvqUsbDevFilter>& filters);
int vqGetUsbPrinterCount();

// Instance id -> queue name for the given ids that are bound to a local USB queue.
QMap<QString, QString> vqGetUsbPrinterQueues(const QStringList& instanceIds);
// Shows the queue's printer window (nothing for an empty name).
void vqShowPrinterQueue(const QString& queueName);
