#include "vqpanel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QTextDocument>

const char* const vqStyleNoDevice = "padding:0 5px 0 5px;color:gray;font-weight:bold;";
const char* const vqStyleOneDevice =
    "border:1px solid rgb(225,225,225);border-radius:4px;background-color:rgb(225,225,225);padding:0 5px 0 5px;";
const char* const vqStyleTonerShown = "border-radius:10px;padding:4px 8px 4px 8px;background-color:black;color:white;";
const char* const vqStyleTonerNone =
    "border-radius:10px;padding:4px 8px 4px 8px;background-color:transparent;color:gray;";
const char* const vqStyleFaultNone =
    "border-radius:4px;padding:6px 16px 6px 16px;background-color:transparent;color:gray;";
const char* const vqStyleFaultNormal =
    "border-radius:4px;padding:6px 16px 6px 16px;background-color:rgb(85,170,127);color:white;";

static QString trMain(const char* text) { return QCoreApplication::translate("FvqMain", text); }

bool vqIsBusy(const CvqState& s) { return s.connected && s.pa >= vqPaTransferring && s.pa <= vqPaCoolingDown; }

QString vqJobStatusStyle(int pa)
{
    switch (pa) {
    case vqPaWarmingUp:
    case vqPaJobPrinting: return QStringLiteral("color:#E6990B;");
    case vqPaTransferring:
    case vqPaPrinting:
    case vqPaCancelling: return QStringLiteral("color:#26B3F4;");
    case vqPaIdle:
    case vqPaSleeping: return QStringLiteral("color:#55AA7F;");
    default: return QStringLiteral("color:gray;");
    }
}

QString vqMenuText(const QString& text)
{
    QString t = text;
    return t.replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString vqPlainToolTip(const QString& text)
{
#ifdef Q_OS_WIN
    return text;  // the native tray tooltip is plain text
#else
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
#endif
}

CvqPanelView vqPanelView(const CvqState& s)
{
    CvqPanelView v;
    v.connected = s.connected;
    if (s.connected) {
        const QString name = vqDisplayName(s);
        v.deviceName = name;
        v.trayToolTip = vqPlainToolTip(vqMonitorTitle + QStringLiteral(": ") + name);
        v.showText = vqMenuText(name);
        v.setEnabled = true;
        v.jobText = vqStatusTextTr(s.pa);
        v.jobStyle = vqJobStatusStyle(s.pa);
        v.connText = trMain("已连接 ");
        v.connStyle = QStringLiteral("color:#55AA7F;");
        v.toner = s.tonerPercent;
        v.faults = vqFaultList(s.pex, s.peGuZhangSource);
        v.faultBadges = v.faults.size() >= 2;
        if (v.faults.isEmpty()) {
            v.faultText = trMain("正常");
            v.faultStyle = QLatin1String(vqStyleFaultNormal);
        } else if (v.faults.size() == 1) {
            v.faultText = vqFaultTextTr(v.faults.first());
            v.faultStyle = vqSingleFaultStyle(v.faults.first().code);
        }
    } else {
        v.deviceName = trMain("暂无设备连接");
        v.trayToolTip = vqMonitorTitle;
        v.showText = trMain("暂无设备连接");
        v.setEnabled = false;
        v.jobText = QStringLiteral("-");
        v.jobStyle = QStringLiteral("color:gray;");
        v.connText = trMain("未连接 ");
        v.connStyle = QStringLiteral("color:gray;");
        v.toner = -1;
        v.faultText = QStringLiteral("-");
        v.faultStyle = QLatin1String(vqStyleFaultNone);
    }
    return v;
}

QStringList vqFirmwareNoticeNames(const QMap<QString, CvqState>& previous, const QMap<QString, CvqState>& next)
{
    QStringList names;
    for (auto it = next.cbegin(); it != next.cend(); ++it) {
        const CvqState& s = it.value();
        if (!vqUpRomProductTypes.contains(vqWithoutBrand(s.productName)) || !vqRomUpgradeDue(s.ROMVER))
            continue;
        const auto before = previous.constFind(it.key());
        const bool cameNow = before == previous.cend() || !before->connected;
        const bool jobStarted = !cameNow && !vqIsBusy(*before) && vqIsBusy(s);
        if (cameNow || jobStarted)
            names << vqDisplayName(s);
    }
    return names;
}

CvqTonerLook vqTonerLook(int percent)
{
    CvqTonerLook look;
    if (percent < 0) {
        look.text = QStringLiteral("-");
        look.style = QLatin1String(vqStyleTonerNone);
        return look;
    }
    look.text = QString::asprintf("%d%%", percent);
    look.style = QLatin1String(vqStyleTonerShown);
    look.blinks = percent <= 10;
    return look;
}

int vqTonerNextPhase(int phase) { return phase == 2 ? 0 : phase == 0 ? 1 : 2; }

bool vqTonerPhaseShows(int phase) { return phase != 0; }

QString vqBadgeSpacing(int count) { return count < 6 ? QStringLiteral("16px") : QStringLiteral("6px"); }

QString vqBadgeStyle(int code, int count)
{
    const QString p = vqBadgeSpacing(count);
    return QStringLiteral("border-radius:4px;padding:6px ") + p + QStringLiteral(" 6px ") + p + QLatin1Char(';')
        + vqFaultStyle(code);
}

QString vqSingleFaultStyle(int code)
{
    return QStringLiteral("border-radius:4px;padding:6px 16px 6px 16px;") + vqFaultStyle(code);
}

CvqBadgeLayout vqLayoutBadges(const QList<int>& widths)
{
    CvqBadgeLayout layout;
    int x = 9;
    for (int w : widths) {
        layout.positions << QPoint(x, 38);
        x += w + 4;
    }
    layout.frame = QSize(x + 5, 72);
    return layout;
}

void vqSyncCombo(QComboBox* combo, const QMap<QString, QString>& items)
{
    for (int i = combo->count() - 1; i >= 0; --i)
        if (!items.contains(combo->itemData(i).toString()))
            combo->removeItem(i);
    for (auto it = items.cbegin(); it != items.cend(); ++it) {
        const int i = combo->findData(it.key());
        if (i < 0)
            combo->addItem(it.value(), it.key());
        else if (combo->itemText(i) != it.value())
            combo->setItemText(i, it.value());
    }
}

void vqInstallFontFallbacks()
{
    const QFontDatabase db;
    const QStringList families = db.families();
    for (const QString& f : families)
        if (f.compare(QLatin1String("SimSun"), Qt::CaseInsensitive) == 0)
            return;  // the real font is there
    // Debian's CJK fonts, best first; only those installed are named.
    static const char* const candidates[] = {"WenQuanYi Micro Hei", "WenQuanYi Zen Hei", "Noto Sans CJK SC",
                                             "Noto Serif CJK SC",   "AR PL UMing CN",    "Droid Sans Fallback"};
    QStringList subs;
    for (const char* c : candidates)
        if (families.contains(QLatin1String(c), Qt::CaseInsensitive))
            subs << QLatin1String(c);
    if (subs.isEmpty())
        return;
    QFont::insertSubstitutions(QStringLiteral("SimSun"), subs);
}

QString vqStatesSummary(const QMap<QString, CvqState>& states)
{
    QString out = QStringLiteral("n=%1").arg(states.size());
    for (const CvqState& s : states)
        out += QStringLiteral(" [%1: connected=%2 pa=%3 toner=%4 faults=%5 src=%6]")
                   .arg(vqDisplayName(s))
                   .arg(s.connected ? 1 : 0)
                   .arg(s.pa)
                   .arg(s.tonerPercent)
                   .arg(s.connected ? vqFaultList(s.pex, s.peGuZhangSource).size() : 0)
                   .arg(s.peGuZhangSource);
    return out;
}
