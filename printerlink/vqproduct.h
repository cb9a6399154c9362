#pragma once
// Product table: which USB devices are supported printers and what they are.

#include <QDebug>
#include <QList>
#include <QString>
#include <QStringList>

// Vendor and product id of a USB device, four upper-case hex digits each.
struct CvqVIDPID
{
    QString vid;
    QString pid;

    CvqVIDPID() = default;
    CvqVIDPID(const QString& v, const QString& p) : vid(v), pid(p) {}

    bool operator==(const CvqVIDPID& o) const { return vid == o.vid && pid == o.pid; }
    bool operator!=(const CvqVIDPID& o) const { return !(*this == o); }
    bool operator<(const CvqVIDPID& o) const { return vid != o.vid ? vid < o.vid : pid < o.pid; }
};
QDebug operator<<(QDebug dbg, const CvqVIDPID& v);

#ifdef VQ_BENCH_TABLE
// The bench's earlier table revision keeps only whether a model scans: both
// scanner kinds read as yes.
class CvqScanFlag
{
public:
    constexpr CvqScanFlag(int kind = 0) : mYes(kind != 0) {}
    constexpr operator bool() const { return mYes; }

private:
    bool mYes;
};
typedef CvqScanFlag CvqHasScanField;
#else
typedef qint32 CvqHasScanField;
#endif

// One row of the product table.
struct CvqProduct
{
    CvqVIDPID vidpid;
    QString name;
    qint32 defaultPxg = 1;
    CvqHasScanField vqHasScan = 0;  // 0 printer, 1 and 2 the two scanner kinds
    qint32 vqPlatform = 1;          // firmware platform, 1 or 2
};

// The supported printers' USB vendor id.
extern const QString vqVendorId;
// Built during static initialisation, never changed: rows are addressed by pointer.
extern const QList<CvqProduct> vqProducts;
// Model type names the firmware-upgrade check applies to (case-sensitive).
extern const QStringList vqUpRomProductTypes;
extern const QString vqMonitorTitle;
extern const QString vqScanToolTitle;
