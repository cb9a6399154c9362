#include "vqtexts.h"

#include "printerlink/vqstate.h"

#include <QCoreApplication>
#include <QDebug>

QDebug operator<<(QDebug dbg, const CvqFaultItem& f)
{
    QDebugStateSaver saver(dbg);
    dbg.nospace() << "CvqFaultItem(code=0x" << Qt::hex << f.code << ",source=0x" << f.source << ")";
    return dbg;
}

const char* vqStatusText(int pa)
{
    switch (pa) {
    case vqPaIdle: return QT_TRANSLATE_NOOP("Device Status", "空闲");
    case vqPaSleeping: return QT_TRANSLATE_NOOP("Device Status", "休眠");
    case vqPaWarmingUp: return QT_TRANSLATE_NOOP("Device Status", "正在预热..");
    case vqPaTransferring: return QT_TRANSLATE_NOOP("Device Status", "正在传输..");
    case vqPaPrinting: return QT_TRANSLATE_NOOP("Device Status", "正在打印..");
    case vqPaCancelling: return QT_TRANSLATE_NOOP("Device Status", "正在取消..");
    case vqPaJobPrinting: return QT_TRANSLATE_NOOP("Device Status", "正在打印..");
    case vqPaCoolingDown: return QT_TRANSLATE_NOOP("Device Status", "正在散热..");
    default: return "";
    }
}

namespace {
const char* const kRed = "#A80C10";
const char* const kAmber = "#C89C00";
const char* const kWhite = "#FFFFFF";
const char* const kBlack = "#000000";

// One fault text and its badge colours, selected by the pex bit and, for
// faults split by location, the peGuZhangSource bit (0: the unsplit text).
struct FaultRow
{
    CvqFaultBit bit;
    int source;
    const char* text;
    const char* background;
    const char* foreground;
};

// The faults the panel lists, in display order.
const FaultRow kListed[] = {
    {vqBitDataTransfer, 0, QT_TRANSLATE_NOOP("Error Code", "数据传输错误"), kRed, kAmber},
    {vqBitLsuData, 0, QT_TRANSLATE_NOOP("Error Code", "LSU数据错误"), kRed, kAmber},
    {vqBitPaperJam, 0x02, QT_TRANSLATE_NOOP("Error Code", "多用途纸盒卡纸"), kRed, kAmber},
    {vqBitPaperJam, 0x04, QT_TRANSLATE_NOOP("Error Code", "纸盒1卡纸"), kRed, kAmber},
    {vqBitPaperJam, 0x08, QT_TRANSLATE_NOOP("Error Code", "纸盒2卡纸"), kRed, kAmber},
    {vqBitPaperJam, 0x10, QT_TRANSLATE_NOOP("Error Code", "纸盒卡纸"), kRed, kAmber},
    {vqBitPaperJam, 0x20, QT_TRANSLATE_NOOP("Error Code", "硒鼓位置卡纸"), kRed, kAmber},
    {vqBitPaperJam, 0x40, QT_TRANSLATE_NOOP("Error Code", "定影器卡纸"), kRed, kAmber},
    {vqBitPaperJam, 0x80, QT_TRANSLATE_NOOP("Error Code", "双面器卡纸"), kRed, kAmber},
    {vqBitPaperJam, 0, QT_TRANSLATE_NOOP("Error Code", "卡纸"), kRed, kAmber},
    {vqBitNoPaper, 0x02, QT_TRANSLATE_NOOP("Error Code", "多用途纸盒缺纸"), kWhite, kRed},
    {vqBitNoPaper, 0x04, QT_TRANSLATE_NOOP("Error Code", "纸盒1缺纸"), kWhite, kRed},
    {vqBitNoPaper, 0x08, QT_TRANSLATE_NOOP("Error Code", "纸盒2缺纸"), kWhite, kRed},
    {vqBitNoPaper, 0, QT_TRANSLATE_NOOP("Error Code", "缺纸"), kWhite, kRed},
    {vqBitTonerOut, 0, QT_TRANSLATE_NOOP("Error Code", "墨粉已用尽"), kBlack, kRed},
    {vqBitDrumOut, 0, QT_TRANSLATE_NOOP("Error Code", "硒鼓已用尽"), kBlack, kRed},
    {vqBitSizeMismatch, 0, QT_TRANSLATE_NOOP("Error Code", "纸张尺寸不符"), kAmber, kRed},
    {vqBitCoverOpen, 0, QT_TRANSLATE_NOOP("Error Code", "机盖未关"), kRed, kAmber},
    {vqBitDrumDoorOpen, 0, QT_TRANSLATE_NOOP("Error Code", "硒鼓仓门开"), kRed, kAmber},
    {vqBitNoTonerBox, 0, QT_TRANSLATE_NOOP("Error Code", "无墨粉盒"), kAmber, kRed},
    {vqBitNoDrum, 0, QT_TRANSLATE_NOOP("Error Code", "无硒鼓"), kRed, kAmber},
    {vqBitLsu, 0, QT_TRANSLATE_NOOP("Error Code", "LSU错误"), kRed, kAmber},
    {vqBitFuserHeating, 0, QT_TRANSLATE_NOOP("Error Code", "定影器加热错误"), kRed, kAmber},
    {vqBitMainMotor, 0, QT_TRANSLATE_NOOP("Error Code", "主电机错误"), kRed, kAmber},
    {vqBitError0801, 0, QT_TRANSLATE_NOOP("Error Code", "打印机错误#0801"), kRed, kAmber},
    {vqBitTray1Empty, 0, QT_TRANSLATE_NOOP("Error Code", "纸盒1空"), kAmber, kRed},
    {vqBitTray2Empty, 0, QT_TRANSLATE_NOOP("Error Code", "纸盒2空"), kAmber, kRed},
    {vqBitBinFull, 0, QT_TRANSLATE_NOOP("Error Code", "出纸盒满"), kAmber, kRed},
    {vqBitTonerLow, 0, QT_TRANSLATE_NOOP("Error Code", "墨粉余量低"), kBlack, kAmber},
    {vqBitDrumLow, 0, QT_TRANSLATE_NOOP("Error Code", "硒鼓余量低"), kBlack, kAmber},
    {vqBitTray2Low, 0, QT_TRANSLATE_NOOP("Error Code", "纸盒2纸量低"), kAmber, kRed},
    {vqBitTray1Low, 0, QT_TRANSLATE_NOOP("Error Code", "纸盒1纸量低"), kAmber, kRed},
};
// Known codes the panel never lists.
const FaultRow kUnlisted[] = {
    {vqBitDataTooLarge, 0, QT_TRANSLATE_NOOP("Error Code", "打印数据过大"), kAmber, kRed},
    {vqBitFuserCurve, 0, QT_TRANSLATE_NOOP("Error Code", "定影器加热曲线异常"), kAmber, kRed},
    {vqBitFuserOther, 0, QT_TRANSLATE_NOOP("Error Code", "定影器其他错误"), kAmber, kRed},
    {vqBitCryptoChip, 0, QT_TRANSLATE_NOOP("Error Code", "加密芯片错误"), kAmber, kRed},
    {vqBitNoPassword, 0, QT_TRANSLATE_NOOP("Error Code", "未设置密码"), kAmber, kRed},
    {vqBitCancelled, 0, QT_TRANSLATE_NOOP("Error Code", "取消任务"), kAmber, kRed},
    {vqBitCancelledToo, 0, QT_TRANSLATE_NOOP("Error Code", "取消任务"), kAmber, kRed},
    {vqBitSevere, 0, QT_TRANSLATE_NOOP("Error Code", "打印机严重错误"), kAmber, kRed},
    {vqBitFirmware, 0, QT_TRANSLATE_NOOP("Error Code", "固件错误"), kAmber, kRed},
};

quint32 codeOf(const FaultRow& r)
{
    return 1u << r.bit;
}

// Whether a location row shows for the source bits s. Jams: the tray rows
// (multi-purpose, 1, 2) refine the tray-area bit 0x10, which shows alone
// when none is set; the unsplit row only when no area bit (0xF0) is set.
// Out of paper: the tray rows, else the unsplit row.
bool sourceShows(const FaultRow& r, int s)
{
    if (r.bit == vqBitPaperJam) {
        if (r.source == 0)
            return !(s & 0xF0);
        if (r.source & 0x0E)
            return (s & 0x10) && (s & r.source);
        if (r.source == 0x10)
            return (s & 0x10) && !(s & 0x0E);
        return s & r.source;
    }
    if (r.bit == vqBitNoPaper)
        return r.source == 0 ? !(s & 0x0E) : (s & r.source);
    return true;
}

// The row of code and source, falling back to the code's unsplit row.
const FaultRow* findRow(int code, int source)
{
    const FaultRow* plain = nullptr;
    auto look = [&](const auto& table) -> const FaultRow* {
        for (const FaultRow& r : table) {
            if (codeOf(r) != quint32(code))
                continue;
            if (r.source == source)
                return &r;
            if (r.source == 0)
                plain = &r;
        }
        return nullptr;
    };
    if (const FaultRow* r = look(kListed))
        return r;
    if (const FaultRow* r = look(kUnlisted))
        return r;
    return plain;
}
}

QList<CvqFaultItem> vqFaultList(int pex, int peGuZhangSource)
{
    QList<CvqFaultItem> out;
    for (const FaultRow& r : kListed) {
        if ((quint32(pex) & codeOf(r)) && sourceShows(r, peGuZhangSource))
            out << CvqFaultItem(int(codeOf(r)), r.source);
    }
    return out;
}

const char* vqFaultText(int code, int source)
{
    const FaultRow* r = findRow(code, source);
    return r ? r->text : "";
}

QString vqFaultStyle(int code)
{
    const FaultRow* r = findRow(code, 0);
    return QStringLiteral("background-color:") + QLatin1String(r ? r->background : kAmber) + QStringLiteral(";color:")
           + QLatin1String(r ? r->foreground : kRed) + QLatin1Char(';');
}

QString vqStatusTextTr(int pa)
{
    return QCoreApplication::translate("Device Status", vqStatusText(pa));
}

QString vqFaultTextTr(const CvqFaultItem& f)
{
    return QCoreApplication::translate("Error Code", vqFaultText(f));
}
