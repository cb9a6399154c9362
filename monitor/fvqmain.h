#pragma once
// The monitor's main window: a frameless, draggable panel showing the selected
// printer, a tray icon with its menu. Owns every worker thread.

#include "qvqmovablewidget.h"
#include "vqtexts.h"

#include "printerlink/printerlink.h"

#include <QList>
#include <QMap>
#include <QSystemTrayIcon>

class QLabel;
class QMenu;
class QTimer;
class CvqLangMgr;

namespace Ui {
class FvqMain;
}

class FvqMain : public QvqMovableWidget
{
    Q_OBJECT
public:
    explicit FvqMain(QWidget* parent = nullptr);
    // Raises the stop signal and waits for every thread it started, the core thread last.
    ~FvqMain() override;

public slots:
    void on_actSet_triggered();
    void on_actMin_triggered();
    void on_actShow_triggered();
    void on_actExit_triggered();
    void mShowTimeTmr_when_timeout();
    void mTonerTmr_when_timeout();
    void vqWhenOnCoreTrdChange(QMap<QString, CvqState> oldStates, QMap<QString, CvqState> newStates);
    void on_cbbPrinters_currentIndexChanged(int index);
    void mTray_when_activated(QSystemTrayIcon::ActivationReason reason);
    void on_cbbLangs_currentIndexChanged(int index);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Redraws the panel from the selected device's state (not while the list is rebuilt).
    void vqRefresh();
    void vqUpdateDeviceList(const QMap<QString, CvqState>& newStates);
    void vqShowFaults(const QList<CvqFaultItem>& list);
    void vqSetToner(int percent);
    void vqApplyTexts();
    void vqShowTonerText(bool shown);

    Ui::FvqMain* ui;
    QTimer* mShowTimeTmr = nullptr;
    QTimer* mTonerTmr = nullptr;
    int tonerPhase = 0;
    int tonerPercent = -1;
    QList<QLabel*> faultBadges;  // "lblFaultBadge"; reused, never deleted before the window
    // Service threads; their classes land with the services (null until then).
    CvqTrd* lanUpRomTrd = nullptr;
    CvqTrd* oneKeyPrintTrd = nullptr;
    CvqTrd* scanToPcTrd = nullptr;
    QMap<QString, CvqState> states;
    CvqCoreTrd* coreTrd = nullptr;
    QString currentKey;
    bool updating = false;
    QSystemTrayIcon* mTray = nullptr;
    QMenu* mTrayMenu = nullptr;
    CvqLangMgr* langMgr = nullptr;  // process-wide, not owned
};
