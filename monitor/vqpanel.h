#pragma once
// What the main window shows for a device state, as plain values: texts,
// styles, the toner gauge's blink, the fault badges' layout. The window only
// applies them.

#include "vqtexts.h"

#include "printerlink/printerlink.h"

#include <QMap>
#include <QPoint>
#include <QSize>
#include <QString>

class QComboBox;

// Style words the panel uses; exact texts matter (tests compare them).
extern const char* const vqStyleNoDevice;   // lblPrinters, no device
extern const char* const vqStyleOneDevice;  // lblPrinters, one device
extern const char* const vqStyleTonerShown;
extern const char* const vqStyleTonerNone;
extern const char* const vqStyleFaultNone;    // lblFault, not connected
extern const char* const vqStyleFaultNormal;  // lblFault, connected, no fault

// Busy: connected and doing a job (pa 3 to 7).
bool vqIsBusy(const CvqState& s);

// Colour of the activity text for pa.
QString vqJobStatusStyle(int pa);

// The panel for one state; texts already translated.
struct CvqPanelView
{
    bool connected = false;
    QString deviceName;   // lblPrinters
    QString trayToolTip;  // safe for a rich-text tooltip
    QString showText;     // actShow text, '&' escaped
    bool setEnabled = false;
    QString connText;
    QString connStyle;
    QString jobText;
    QString jobStyle;
    int toner = -1;  // what the gauge gets
    QList<CvqFaultItem> faults;
    // The fault frame: badges for two faults or more, else the single label.
    bool faultBadges = false;
    QString faultText;
    QString faultStyle;
};
CvqPanelView vqPanelView(const CvqState& s);

// Printers (display names) to tell about a due firmware upgrade: a model on
// the upgrade list with an older version, when it comes (back) or starts a job.
QStringList vqFirmwareNoticeNames(const QMap<QString, CvqState>& previous, const QMap<QString, CvqState>& next);

// A text for a menu entry: '&' would otherwise become a mnemonic.
QString vqMenuText(const QString& text);
// A text for a tooltip, which Qt may render as rich text when it looks like markup.
QString vqPlainToolTip(const QString& text);

// Toner gauge: text and style for a percent (blinking levels: the shown step).
struct CvqTonerLook
{
    QString text;
    QString style;
    bool blinks = false;
};
CvqTonerLook vqTonerLook(int percent);
// Blink steps: 0 -> 1 -> 2 -> 0; the step reached tells whether the text shows.
int vqTonerNextPhase(int phase);
bool vqTonerPhaseShows(int phase);

// Fault badges.
QString vqBadgeSpacing(int count);          // side padding word
QString vqBadgeStyle(int code, int count);  // one of `count` badges (count >= 2)
QString vqSingleFaultStyle(int code);       // lblFault with one fault
struct CvqBadgeLayout
{
    QList<QPoint> positions;
    QSize frame;
};
// Badges of the given widths laid left to right from x = 9 at y = 38, 4 pixels apart.
CvqBadgeLayout vqLayoutBadges(const QList<int>& widths);

// Brings a combo box's items in line with key -> text (item data = key), keeping
// items that remain; the combo box picks its own current item as items come and go.
void vqSyncCombo(QComboBox* combo, const QMap<QString, QString>& items);

// One line describing a state map for the log: the demo waits on it.
QString vqStatesSummary(const QMap<QString, CvqState>& states);

// Makes the style sheets' "SimSun" resolve to an installed CJK family when the
// real font is not registered.
void vqInstallFontFallbacks();
