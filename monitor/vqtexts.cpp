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
// Codes the panel never lists show amber on red.
struct FaultRow
{
    CvqFaultBit bit;
    const char* text;
    int source = 0;
    const char* background = kAmber;
    const char* foreground = kRed;
};

// The faults the panel lists, in display order.
const FaultRow kListed[] = {
    {vqBitDataTransfer, QT_TRANSLATE_NOOP("Error Code", "数据传输错误"), 0, kRed, kAmber},
    {vqBitLsuData, QT_TRANSLATE_NOOP("Error Code", "LSU数据错误"), 0, kRed, kAmber},
    {vqBitPaperJam, QT_TRANSLATE_NOOP("Error Code", "多用途纸盒卡纸"), 0x02, kRed, kAmber},
    {vqBitPaperJam, QT_TRANSLATE_NOOP("Error Code", "纸盒1卡纸"), 0x04, kRed, kAmber},
    {vqBitPaperJam, QT_TRANSLATE_NOOP("Error Code", "纸盒2卡纸"), 0x08, kRed, kAmber},
    {vqBitPaperJam, QT_TRANSLATE_NOOP("Error Code", "纸盒卡纸"), 0x10, kRed, kAmber},
    {vqBitPaperJam, QT_TRANSLATE_NOOP("Error Code", "硒鼓位置卡纸"), 0x20, kRed, kAmber},
    {vqBitPaperJam, QT_TRANSLATE_NOOP("Error Code", "定影器卡纸"), 0x40, kRed, kAmber},
    {vqBitPaperJam, QT_TRANSLATE_NOOP("Error Code", "双面器卡纸"), 0x80, kRed, kAmber},
    {vqBitPaperJam, QT_TRANSLATE_NOOP("Error Code", "卡纸"), 0, kRed, kAmber},
    {vqBitNoPaper, QT_TRANSLATE_NOOP("Error Code", "多用途纸盒缺纸"), 0x02, kWhite, kRed},
    {vqBitNoPaper, QT_TRANSLATE_NOOP("Error Code", "纸盒1缺纸"), 0x04, kWhite, kRed},
    {vqBitNoPaper, QT_TRANSLATE_NOOP("Error Code", "纸盒2缺纸"), 0x08, kWhite, kRed},
    {vqBitNoPaper, QT_TRANSLATE_NOOP("Error Code", "缺纸"), 0, kWhite, kRed},
    {vqBitTonerOut, QT_TRANSLATE_NOOP("Error Code", "墨粉已用尽"), 0, kBlack, kRed},
    {vqBitDrumOut, QT_TRANSLATE_NOOP("Error Code", "硒鼓已用尽"), 0, kBlack, kRed},
    {vqBitSizeMismatch, QT_TRANSLATE_NOOP("Error Code", "纸张尺寸不符"), 0, kAmber, kRed},
    {vqBitCoverOpen, QT_TRANSLATE_NOOP("Error Code", "机盖未关"), 0, kRed, kAmber},
    {vqBitDrumDoorOpen, QT_TRANSLATE_NOOP("Error Code", "硒鼓仓门开"), 0, kRed, kAmber},
    {vqBitNoTonerBox, QT_TRANSLATE_NOOP("Error Code", "无墨粉盒"), 0, kAmber, kRed},
    {vqBitNoDrum, QT_TRANSLATE_NOOP("Error Code", "无硒鼓"), 0, kRed, kAmber},
    {vqBitLsu, QT_TRANSLATE_NOOP("Error Code", "LSU错误"), 0, kRed, kAmber},
    {vqBitFuserHeating, QT_TRANSLATE_NOOP("Error Code", "定影器加热错误"), 0, kRed, kAmber},
    {vqBitMainMotor, QT_TRANSLATE_NOOP("Error Code", "主电机错误"), 0, kRed, kAmber},
    {vqBitError0801, QT_TRANSLATE_NOOP("Error Code", "打印机错误#0801"), 0, kRed, kAmber},
    {vqBitTray1Empty, QT_TRANSLATE_NOOP("Error Code", "纸盒1空"), 0, kAmber, kRed},
    {vqBitTray2Empty, QT_TRANSLATE_NOOP("Error Code", "纸盒2空"), 0, kAmber, kRed},
    {vqBitBinFull, QT_TRANSLATE_NOOP("Error Code", "出纸盒满"), 0, kAmber, kRed},
    {vqBitTonerLow, QT_TRANSLATE_NOOP("Error Code", "墨粉余量低"), 0, kBlack, kAmber},
    {vqBitDrumLow, QT_TRANSLATE_NOOP("Error Code", "硒鼓余量低"), 0, kBlack, kAmber},
    {vqBitTray2Low, QT_TRANSLATE_NOOP("Error Code", "纸盒2纸量低"), 0, kAmber, kRed},
    {vqBitTray1Low, QT_TRANSLATE_NOOP("Error Code", "纸盒1纸量低"), 0, kAmber, kRed},
};
// Known codes the panel never lists.
const FaultRow kUnlisted[] = {
    {vqBitDataTooLarge, QT_TRANSLATE_NOOP("Error Code", "打印数据过大")},
    {vqBitFuserCurve, QT_TRANSLATE_NOOP("Error Code", "定影器加热曲线异常")},
    {vqBitFuserOther, QT_TRANSLATE_NOOP("Error Code", "定影器其他错误")},
    {vqBitCryptoChip, QT_TRANSLATE_NOOP("Error Code", "加密芯片错误")},
    {vqBitNoPassword, QT_TRANSLATE_NOOP("Error Code", "未设置密码")},
    {vqBitCancelled, QT_TRANSLATE_NOOP("Error Code", "取消任务")},
    {vqBitCancelledToo, QT_TRANSLATE_NOOP("Error Code", "取消任务")},
    {vqBitSevere, QT_TRANSLATE_NOOP("Error Code", "打印机严重错误")},
    {vqBitFirmware, QT_TRANSLATE_NOOP("Error Code", "固件错误")},
};

quint32 codeOf(const FaultRow& r) { return 1u << r.bit; }

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

QString vqStatusTextTr(int pa) { return QCoreApplication::translate("Device Status", vqStatusText(pa)); }

QString vqFaultTextTr(const CvqFaultItem& f) { return QCoreApplication::translate("Error Code", vqFaultText(f)); }
