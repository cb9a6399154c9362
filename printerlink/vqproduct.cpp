#include "vqproduct.h"

QDebug operator<<(QDebug dbg, const CvqVIDPID& v)
{
    QDebugStateSaver saver(dbg);
    dbg.nospace() << "CvqVIDPID(" << v.vid << "," << v.pid << ")";
    return dbg;
}

const QString vqVendorId = QStringLiteral("1A2B");

// Same translation unit as the table, so initialisation order is the order here.
static QList<CvqProduct> makeProducts()
{
    const QString& vid = vqVendorId;
    // clang-format off
    return {
    // columns: vidpid, name, defaultPxg, vqHasScan (0 printer, 1/2 scanner kind), vqPlatform
    {CvqVIDPID(vid, QStringLiteral("0101")), QStringLiteral("Morvane P4120W"), 2, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("0106")), QStringLiteral("Morvane P7760FDN"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0107")), QStringLiteral("Morvane P5030FDN"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0108")), QStringLiteral("Morvane P7310W"), 1, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("0109")), QStringLiteral("Morvane M5020F"), 2, 2, 1},
    {CvqVIDPID(vid, QStringLiteral("010B")), QStringLiteral("Morvane P2550W"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("010E")), QStringLiteral("Morvane P6710N"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("010F")), QStringLiteral("Morvane P3020"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0110")), QStringLiteral("Morvane P5750FDN"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0111")), QStringLiteral("Morvane M5960FDW"), 2, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("0113")), QStringLiteral("Morvane M5960FDW"), 2, 1, 2},
    {CvqVIDPID(vid, QStringLiteral("0114")), QStringLiteral("Morvane P2010DW"), 2, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("0115")), QStringLiteral("Morvane P4720FDN"), 2, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("0116")), QStringLiteral("Morvane M2130W"), 2, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("0118")), QStringLiteral("Morvane P5220FDN"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("011D")), QStringLiteral("Morvane M4030F"), 1, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("011E")), QStringLiteral("Morvane P2330W"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0123")), QStringLiteral("Morvane M7260F"), 2, 1, 2},
    {CvqVIDPID(vid, QStringLiteral("0128")), QStringLiteral("Morvane P2860D"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("012D")), QStringLiteral("Morvane M5210FDW"), 1, 2, 2},
    {CvqVIDPID(vid, QStringLiteral("012E")), QStringLiteral("Morvane M5810DN"), 2, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("012F")), QStringLiteral("Morvane M2950D"), 2, 1, 2},
    {CvqVIDPID(vid, QStringLiteral("0134")), QStringLiteral("Morvane P2330N"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0139")), QStringLiteral("Morvane P5360W"), 1, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("013A")), QStringLiteral("Morvane P7660"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("013B")), QStringLiteral("Morvane M3230"), 2, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("013C")), QStringLiteral("Morvane M5250"), 2, 1, 2},
    {CvqVIDPID(vid, QStringLiteral("013D")), QStringLiteral("Morvane M4830W"), 1, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("013F")), QStringLiteral("Morvane M4860FDW"), 1, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("0144")), QStringLiteral("Morvane M3560DW"), 2, 2, 1},
    {CvqVIDPID(vid, QStringLiteral("0149")), QStringLiteral("Morvane M7720FDW"), 2, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("014A")), QStringLiteral("Morvane P4610W"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("014D")), QStringLiteral("Morvane P4010N"), 2, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("014E")), QStringLiteral("Morvane M4710W"), 1, 2, 2},
    {CvqVIDPID(vid, QStringLiteral("0150")), QStringLiteral("Morvane P7010FDN"), 2, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("0151")), QStringLiteral("Morvane P6530D"), 2, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("0153")), QStringLiteral("Morvane M7620FDW"), 2, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("0154")), QStringLiteral("Morvane P6710W"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0157")), QStringLiteral("Morvane M3020DN"), 2, 2, 1},
    {CvqVIDPID(vid, QStringLiteral("015A")), QStringLiteral("Morvane M5250NW"), 1, 1, 2},
    {CvqVIDPID(vid, QStringLiteral("015D")), QStringLiteral("Morvane M3230NW"), 2, 2, 2},
    {CvqVIDPID(vid, QStringLiteral("015E")), QStringLiteral("Morvane P6630"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0160")), QStringLiteral("Morvane M5550FDW"), 1, 2, 1},
    {CvqVIDPID(vid, QStringLiteral("0161")), QStringLiteral("Morvane P4430DW"), 1, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("0166")), QStringLiteral("Morvane M3860D"), 2, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("0167")), QStringLiteral("Morvane P7820"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0168")), QStringLiteral("Morvane M3630"), 1, 2, 1},
    {CvqVIDPID(vid, QStringLiteral("0169")), QStringLiteral("Morvane M3720F"), 2, 1, 2},
    {CvqVIDPID(vid, QStringLiteral("016B")), QStringLiteral("Morvane P4520DW"), 1, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("0170")), QStringLiteral("Morvane M5650NW"), 1, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("0171")), QStringLiteral("Morvane M3710DN"), 2, 2, 2},
    {CvqVIDPID(vid, QStringLiteral("0174")), QStringLiteral("Morvane P7710DN"), 1, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("0175")), QStringLiteral("Morvane M6010DW"), 1, 2, 1},
    {CvqVIDPID(vid, QStringLiteral("0176")), QStringLiteral("Morvane P5820"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0178")), QStringLiteral("Morvane M7510FDW"), 1, 2, 2},
    {CvqVIDPID(vid, QStringLiteral("0179")), QStringLiteral("Morvane P4160W"), 2, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("017B")), QStringLiteral("Morvane P5920"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0180")), QStringLiteral("Morvane M6520D"), 1, 2, 1},
    {CvqVIDPID(vid, QStringLiteral("0181")), QStringLiteral("Morvane M3610DN"), 2, 2, 1},
    {CvqVIDPID(vid, QStringLiteral("0182")), QStringLiteral("Morvane P7930N"), 2, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("0184")), QStringLiteral("Morvane P5320DN"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0187")), QStringLiteral("Morvane P5220DN"), 3, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0189")), QStringLiteral("Morvane P7110DN"), 1, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("018A")), QStringLiteral("Morvane M2010W"), 2, 2, 1},
    {CvqVIDPID(vid, QStringLiteral("018F")), QStringLiteral("Morvane M5020FDW"), 2, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("0190")), QStringLiteral("Morvane P6250N"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("0193")), QStringLiteral("Morvane P5450DW"), 1, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("0195")), QStringLiteral("Morvane M6420W"), 2, 2, 2},
    {CvqVIDPID(vid, QStringLiteral("0197")), QStringLiteral("Morvane M3220F"), 2, 1, 2},
    {CvqVIDPID(vid, QStringLiteral("0199")), QStringLiteral("Morvane M2320"), 1, 2, 2},
    {CvqVIDPID(vid, QStringLiteral("019A")), QStringLiteral("Morvane P6030W"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("019B")), QStringLiteral("Morvane P2310N"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("019E")), QStringLiteral("Morvane M7560DW"), 1, 1, 2},
    {CvqVIDPID(vid, QStringLiteral("01A3")), QStringLiteral("Morvane M3530"), 2, 1, 2},
    {CvqVIDPID(vid, QStringLiteral("01A6")), QStringLiteral("Morvane P3120DN"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("01A9")), QStringLiteral("Morvane P2030DN"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("01AB")), QStringLiteral("Morvane P5530D"), 1, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("01AC")), QStringLiteral("Morvane M7630W"), 2, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("01AE")), QStringLiteral("Morvane P3110DN"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("01B1")), QStringLiteral("Morvane M2550DW"), 1, 2, 1},
    {CvqVIDPID(vid, QStringLiteral("01B6")), QStringLiteral("Morvane P6120D"), 1, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("01BB")), QStringLiteral("Morvane P6910"), 1, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("01BD")), QStringLiteral("Morvane M7210DN"), 2, 1, 1},
    {CvqVIDPID(vid, QStringLiteral("01C0")), QStringLiteral("Morvane P5710W"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("01C1")), QStringLiteral("Morvane P3930N"), 2, 0, 2},
    {CvqVIDPID(vid, QStringLiteral("01C2")), QStringLiteral("Morvane M2560DN"), 2, 2, 1},
    {CvqVIDPID(vid, QStringLiteral("01C7")), QStringLiteral("Morvane M4430FDW"), 2, 1, 2},
    {CvqVIDPID(vid, QStringLiteral("01C8")), QStringLiteral("Morvane P3860N"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("01C9")), QStringLiteral("Morvane P3860N"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("01CC")), QStringLiteral("Morvane P-Series"), 2, 0, 1},
    {CvqVIDPID(vid, QStringLiteral("01D1")), QStringLiteral("Morvane M-Series"), 2, 2, 2},
    };
    // clang-format on
}

#ifdef VQ_BENCH_TABLE
// The bench carries the earlier revision: the same first 84 rows.
const QList<CvqProduct> vqProducts = makeProducts().mid(0, 84);
#else
const QList<CvqProduct> vqProducts = makeProducts();
#endif

const QStringList vqUpRomProductTypes = {
    QStringLiteral("P4120W"),   QStringLiteral("P5030FDN"), QStringLiteral("M5960FDW"), QStringLiteral("P3860N"),
    QStringLiteral("M-Series"), QStringLiteral("P-Series"), QStringLiteral("M2550DW"),  QStringLiteral("P6120D"),
    QStringLiteral("M3220F"),   QStringLiteral("P2030DN"),  QStringLiteral("M5650NW"),
};

const QString vqMonitorTitle = QString::fromUtf8("Quorvel打印机状态监视器");
const QString vqScanToolTitle = QString::fromUtf8("Quorvel一体机扫描工具");
