#include "vqtexts.h"

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
    case 0: return QT_TRANSLATE_NOOP("Device Status", "空闲");
    case 1: return QT_TRANSLATE_NOOP("Device Status", "休眠");
    case 2: return QT_TRANSLATE_NOOP("Device Status", "正在预热..");
    case 3: return QT_TRANSLATE_NOOP("Device Status", "正在传输..");
    case 4: return QT_TRANSLATE_NOOP("Device Status", "正在打印..");
    case 5: return QT_TRANSLATE_NOOP("Device Status", "正在取消..");
    case 6: return QT_TRANSLATE_NOOP("Device Status", "正在打印..");
    case 7: return QT_TRANSLATE_NOOP("Device Status", "正在散热..");
    default: return "";
    }
}

namespace {
constexpr int bit(int n) { return int(1u << n); }

const int kJam = bit(10);
const int kNoPaper = bit(8);

// The order in which faults are tested and shown. Bits 10 and 8 are split by source.
const int kFaultOrder[] = {16, 17, 10, 8, 9, 30, 3, 11, 27, 15, 28, 12, 13, 14, 18, 25, 2, 26, 19, 29, 31, 1};
}

QList<CvqFaultItem> vqFaultList(int pex, int peGuZhangSource)
{
    const quint32 p = quint32(pex);
    const int s = peGuZhangSource;
    QList<CvqFaultItem> out;
    for (int n : kFaultOrder) {
        if (!(p & (1u << n)))
            continue;
        const int code = bit(n);
        if (code == kJam) {
            if (!(s & 0xF0)) {
                out << CvqFaultItem(kJam, 0);
                continue;
            }
            if (s & 0x10) {
                if (s & 0x0E) {
                    for (int b : {0x2, 0x4, 0x8})
                        if (s & b)
                            out << CvqFaultItem(kJam, b);
                } else {
                    out << CvqFaultItem(kJam, 0x10);
                }
            }
            for (int b : {0x20, 0x40, 0x80})
                if (s & b)
                    out << CvqFaultItem(kJam, b);
        } else if (code == kNoPaper) {
            if (s & 0x0E) {
                for (int b : {0x2, 0x4, 0x8})
                    if (s & b)
                        out << CvqFaultItem(kNoPaper, b);
            } else {
                out << CvqFaultItem(kNoPaper, 0);
            }
        } else {
            out << CvqFaultItem(code, 0);
        }
    }
    return out;
}

const char* vqFaultText(int code, int source)
{
    if (code == kJam) {
        switch (source) {
        case 0x02: return QT_TRANSLATE_NOOP("Error Code", "多用途纸盒卡纸");
        case 0x04: return QT_TRANSLATE_NOOP("Error Code", "纸盒1卡纸");
        case 0x08: return QT_TRANSLATE_NOOP("Error Code", "纸盒2卡纸");
        case 0x10: return QT_TRANSLATE_NOOP("Error Code", "纸盒卡纸");
        case 0x20: return QT_TRANSLATE_NOOP("Error Code", "硒鼓位置卡纸");
        case 0x40: return QT_TRANSLATE_NOOP("Error Code", "定影器卡纸");
        case 0x80: return QT_TRANSLATE_NOOP("Error Code", "双面器卡纸");
        default: return QT_TRANSLATE_NOOP("Error Code", "卡纸");
        }
    }
    if (code == kNoPaper) {
        switch (source) {
        case 0x02: return QT_TRANSLATE_NOOP("Error Code", "多用途纸盒缺纸");
        case 0x04: return QT_TRANSLATE_NOOP("Error Code", "纸盒1缺纸");
        case 0x08: return QT_TRANSLATE_NOOP("Error Code", "纸盒2缺纸");
        default: return QT_TRANSLATE_NOOP("Error Code", "缺纸");
        }
    }
    switch (quint32(code)) {
    case 1u << 16: return QT_TRANSLATE_NOOP("Error Code", "数据传输错误");
    case 1u << 17: return QT_TRANSLATE_NOOP("Error Code", "LSU数据错误");
    case 1u << 9: return QT_TRANSLATE_NOOP("Error Code", "墨粉已用尽");
    case 1u << 30: return QT_TRANSLATE_NOOP("Error Code", "硒鼓已用尽");
    case 1u << 3: return QT_TRANSLATE_NOOP("Error Code", "纸张尺寸不符");
    case 1u << 11: return QT_TRANSLATE_NOOP("Error Code", "机盖未关");
    case 1u << 27: return QT_TRANSLATE_NOOP("Error Code", "硒鼓仓门开");
    case 1u << 15: return QT_TRANSLATE_NOOP("Error Code", "无墨粉盒");
    case 1u << 28: return QT_TRANSLATE_NOOP("Error Code", "无硒鼓");
    case 1u << 12: return QT_TRANSLATE_NOOP("Error Code", "LSU错误");
    case 1u << 13: return QT_TRANSLATE_NOOP("Error Code", "定影器加热错误");
    case 1u << 14: return QT_TRANSLATE_NOOP("Error Code", "主电机错误");
    case 1u << 18: return QT_TRANSLATE_NOOP("Error Code", "打印机错误#0801");
    case 1u << 25: return QT_TRANSLATE_NOOP("Error Code", "纸盒1空");
    case 1u << 2: return QT_TRANSLATE_NOOP("Error Code", "纸盒2空");
    case 1u << 26: return QT_TRANSLATE_NOOP("Error Code", "出纸盒满");
    case 1u << 19: return QT_TRANSLATE_NOOP("Error Code", "墨粉余量低");
    case 1u << 29: return QT_TRANSLATE_NOOP("Error Code", "硒鼓余量低");
    case 1u << 31: return QT_TRANSLATE_NOOP("Error Code", "纸盒2纸量低");
    case 1u << 1: return QT_TRANSLATE_NOOP("Error Code", "纸盒1纸量低");
    // Known codes the fault list never produces.
    case 1u << 4: return QT_TRANSLATE_NOOP("Error Code", "打印数据过大");
    case 1u << 5: return QT_TRANSLATE_NOOP("Error Code", "定影器加热曲线异常");
    case 1u << 6: return QT_TRANSLATE_NOOP("Error Code", "定影器其他错误");
    case 1u << 7: return QT_TRANSLATE_NOOP("Error Code", "加密芯片错误");
    case 1u << 20: return QT_TRANSLATE_NOOP("Error Code", "未设置密码");
    case 1u << 21: return QT_TRANSLATE_NOOP("Error Code", "取消任务");
    case 1u << 22: return QT_TRANSLATE_NOOP("Error Code", "取消任务");
    case 1u << 23: return QT_TRANSLATE_NOOP("Error Code", "打印机严重错误");
    case 1u << 24: return QT_TRANSLATE_NOOP("Error Code", "固件错误");
    default: return "";
    }
}

QString vqFaultStyle(int code)
{
    const char* bg = "#C89C00";
    const char* fg = "#A80C10";
    switch (quint32(code)) {
    case 1u << 8:
        bg = "#FFFFFF", fg = "#A80C10";
        break;
    case 1u << 9:
    case 1u << 30:
        bg = "#000000", fg = "#A80C10";
        break;
    case 1u << 19:
    case 1u << 29:
        bg = "#000000", fg = "#C89C00";
        break;
    case 1u << 10: case 1u << 11: case 1u << 12: case 1u << 13: case 1u << 14:
    case 1u << 16: case 1u << 17: case 1u << 18: case 1u << 27: case 1u << 28:
        bg = "#A80C10", fg = "#C89C00";
        break;
    default:
        break;
    }
    return QStringLiteral("background-color:") + QLatin1String(bg) + QStringLiteral(";color:") + QLatin1String(fg)
           + QLatin1Char(';');
}

QString vqStatusTextTr(int pa)
{
    return QCoreApplication::translate("Device Status", vqStatusText(pa));
}

QString vqFaultTextTr(const CvqFaultItem& f)
{
    return QCoreApplication::translate("Error Code", vqFaultText(f));
}
