#include "fvqmain.h"
#include "ui_fvqmain.h"

#include "cvqlangmgr.h"
#include "cvqlanuprom.h"
#include "cvqonekeyprinttrd.h"
#include "cvqscantopctrd.h"
#include "fvqmytrayalert.h"
#include "vqpanel.h"
#include "vqswitches.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDateTime>
#include <QDebug>
#include <QMenu>
#include <QSignalBlocker>
#include <QTimer>

FvqMain::FvqMain(QWidget* parent) : QvqMovableWidget(parent), ui(new Ui::FvqMain)
{
    vqInitResources();
    vqInstallFontFallbacks();
    ui->setupUi(this);
    setWindowTitle(vqMonitorTitle);
    setWindowFlags(Qt::FramelessWindowHint);
    // Names come from devices: never let a queue or model name be read as markup.
    for (QLabel* l : {ui->lblPrinters, ui->lblConn, ui->lblJobStatus, ui->lblToner, ui->lblFault})
        l->setTextFormat(Qt::PlainText);

    ui->btnSet->setDefaultAction(ui->actSet);
    ui->btnMin->setDefaultAction(ui->actMin);

    mTray = new QSystemTrayIcon(this);
    mTray->setObjectName(QStringLiteral("mTray"));
    mTray->setIcon(QIcon(QStringLiteral(":/img/vqapp.png")));
    mTray->setToolTip(vqMonitorTitle);
    connect(mTray, &QSystemTrayIcon::activated, this, &FvqMain::mTray_when_activated);
    mTrayMenu = new QMenu(this);
    mTrayMenu->setObjectName(QStringLiteral("mTrayMenu"));
    ui->actShow->setText(vqMenuText(vqMonitorTitle));
    mTrayMenu->addAction(ui->actShow);
    mTrayMenu->addSeparator();
    mTrayMenu->addAction(ui->actSet);
    mTrayMenu->addAction(ui->actMin);
    mTrayMenu->addAction(ui->actExit);
    mTray->setContextMenu(mTrayMenu);
    mTray->setVisible(true);

    mTonerTmr = new QTimer(this);
    mTonerTmr->setObjectName(QStringLiteral("mTonerTmr"));
    mTonerTmr->setInterval(750);
    connect(mTonerTmr, &QTimer::timeout, this, &FvqMain::mTonerTmr_when_timeout);

    vqRegisterStateMetaTypes();
    coreTrd = new CvqCoreTrd(this);
    coreTrd->setObjectName(QStringLiteral("coreTrd"));
    connect(coreTrd, &CvqCoreTrd::vqOnChange, this, &FvqMain::vqWhenOnCoreTrdChange);
    coreTrd->start(QThread::InheritPriority);

    mShowTimeTmr_when_timeout();
    mShowTimeTmr = new QTimer(this);
    mShowTimeTmr->setObjectName(QStringLiteral("mShowTimeTmr"));
    mShowTimeTmr->setInterval(1000);
    connect(mShowTimeTmr, &QTimer::timeout, this, &FvqMain::mShowTimeTmr_when_timeout);
    mShowTimeTmr->start();

    ui->cbbPrinters->clear();
    ui->cbbPrinters->hide();
    ui->lblPrinters->hide();
    updating = true;
    vqUpdateDeviceList(states);
    updating = false;

    {
        const QSignalBlocker block(ui->cbbLangs);
        langMgr = CvqLangMgr::instance();
        ui->cbbLangs->clear();
        ui->cbbLangs->addItems(langMgr->offeredNames());
        for (int i = 0; i < ui->cbbLangs->count(); ++i)
            if (ui->cbbLangs->itemText(i) == langMgr->currentName())
                ui->cbbLangs->setCurrentIndex(i);
        ui->cbbLangs->setSizeAdjustPolicy(QComboBox::AdjustToContentsOnFirstShow);
    }
    if (ui->cbbLangs->count() < 2)
        ui->cbbLangs->hide();

    vqApplyTexts();
    vqRefresh();

    if (vqLanUpRomEnabled) {
        lanUpRomTrd = new CvqLanUpRomTrd(this);
        lanUpRomTrd->start(QThread::InheritPriority);
    }
    if (vqOneKeyPrintEnabled) {
        auto* oneKey = new CvqOneKeyPrintTrd(this);
        oneKeyPrintTrd = oneKey;
        // The screen leaves the PC: the user is told, each time.
        connect(oneKey, &CvqOneKeyPrintTrd::vqScreenSent, this, [this](const QString& printer) {
            mTray->showMessage(vqMonitorTitle, tr("屏幕画面已发送到打印机 %1").arg(printer),
                               QSystemTrayIcon::Information, 5000);
        });
        oneKeyPrintTrd->start(QThread::InheritPriority);
    }
    if (vqScanToPcEnabled) {
        scanToPcTrd = new CvqScanToPcTrd(this);
        scanToPcTrd->start(QThread::InheritPriority);
    }
}

FvqMain::~FvqMain()
{
    vqQuitAll();
    // No thread object may outlive its run: join each, the core thread last.
    for (CvqTrd* t : {lanUpRomTrd, oneKeyPrintTrd, scanToPcTrd, static_cast<CvqTrd*>(coreTrd)})
        if (t)
            t->wait();
    delete ui;
}

void FvqMain::vqApplyTexts()
{
    ui->actSet->setText(tr("设置"));
    ui->actExit->setText(tr("退出"));
    ui->actMin->setText(tr("最小化"));
    ui->actSafe->setText(tr("安全"));
    ui->btnSafe->setText(tr("安全"));
    ui->label_2->setText(tr("连接状态:"));
    ui->label_6->setText(tr("打印机状态:"));
    ui->label_10->setText(tr("墨粉余量"));
    ui->label_12->setText(tr("打印机故障"));
    // The fault frame never gets narrower than its caption.
    ui->label_12->adjustSize();
    ui->frameFault->setMinimumWidth(ui->label_12->x() + ui->label_12->width() + 9);
}

void FvqMain::on_actSet_triggered()
{
    if (currentKey.isEmpty() || !states.contains(currentKey))
        return;
    vqShowPrinterQueue(states.value(currentKey).queueName);
}

void FvqMain::on_actMin_triggered() { hide(); }

void FvqMain::on_actShow_triggered()
{
    show();
    raise();
}

void FvqMain::on_actExit_triggered()
{
    vqCloseTrayAlert();
    close();
}

void FvqMain::showEvent(QShowEvent* event)
{
    QvqMovableWidget::showEvent(event);
    qDebug() << "FvqMain::showEvent";
}

void FvqMain::closeEvent(QCloseEvent* event)
{
    vqCloseTrayAlert();
    QvqMovableWidget::closeEvent(event);
}

void FvqMain::mShowTimeTmr_when_timeout()
{
    const QDateTime now = QDateTime::currentDateTime();
    ui->lblDate->setText(now.toString(QStringLiteral("yyyy-MM-dd")));
    ui->lblTime->setText(now.toString(QStringLiteral("HH:mm:ss")));
}

void FvqMain::vqShowTonerText(bool shown)
{
    if (shown) {
        const CvqTonerLook look = vqTonerLook(tonerPercent);
        ui->lblToner->setText(look.text);
        ui->lblToner->setStyleSheet(look.style);
    } else {
        ui->lblToner->setText(QString());
    }
}

void FvqMain::mTonerTmr_when_timeout()
{
    tonerPhase = vqTonerNextPhase(tonerPhase);
    vqShowTonerText(vqTonerPhaseShows(tonerPhase));
}

void FvqMain::vqSetToner(int percent)
{
    tonerPercent = percent;
    const CvqTonerLook look = vqTonerLook(percent);
    if (!look.blinks) {
        mTonerTmr->stop();
        ui->lblToner->setText(look.text);
        ui->lblToner->setStyleSheet(look.style);
        return;
    }
    if (!mTonerTmr->isActive())
        mTonerTmr->start();
    // In the blank step the next tick brings the text back.
    if (!ui->lblToner->text().isEmpty())
        vqShowTonerText(true);
}

void FvqMain::vqWhenOnCoreTrdChange(QMap<QString, CvqState> oldStates, QMap<QString, CvqState> newStates)
{
    Q_UNUSED(oldStates);  // the window compares with what it last showed
    if (vqLanUpRomEnabled)
        for (const QString& name : vqFirmwareNoticeNames(states, newStates))
            vqShowTrayAlert(name,
                            tr("打印机存在重要固件升级\n请将打印机连接到本电脑所在局域网,"
                               "保持状态监视器打开或最小化\n稍后(30分钟左右)自动升级成功"));
    states = newStates;
    qDebug().noquote() << "FvqMain::vqWhenOnCoreTrdChange" << vqStatesSummary(states);
    updating = true;
    vqUpdateDeviceList(newStates);
    updating = false;
    vqRefresh();
}

void FvqMain::vqUpdateDeviceList(const QMap<QString, CvqState>& newStates)
{
    QMap<QString, QString> names;
    for (auto it = newStates.cbegin(); it != newStates.cend(); ++it)
        names.insert(it.key(), vqDisplayName(it.value()));
    vqSyncCombo(ui->cbbPrinters, names);
    if (names.isEmpty()) {
        ui->cbbPrinters->hide();
        ui->lblPrinters->setStyleSheet(QLatin1String(vqStyleNoDevice));
        ui->lblPrinters->setText(tr("暂无设备连接"));
        ui->lblPrinters->show();
    } else if (names.size() == 1) {
        ui->cbbPrinters->hide();
        ui->lblPrinters->setStyleSheet(QLatin1String(vqStyleOneDevice));
        ui->lblPrinters->setText(names.first());
        ui->lblPrinters->show();
    } else {
        ui->lblPrinters->hide();
        ui->cbbPrinters->show();
    }
}

void FvqMain::on_cbbPrinters_currentIndexChanged(int index)
{
    currentKey = index < 0 ? QString() : ui->cbbPrinters->itemData(index).toString();
    vqRefresh();
}

void FvqMain::vqRefresh()
{
    if (updating)
        return;
    const CvqState state = !currentKey.isEmpty() && states.contains(currentKey) ? states.value(currentKey) : CvqState();
    const CvqPanelView view = vqPanelView(state);

    mTray->setToolTip(view.trayToolTip);
    ui->actShow->setText(view.showText);
    ui->actSet->setEnabled(view.setEnabled);

    ui->lblJobStatus->setText(view.jobText);
    ui->lblJobStatus->setStyleSheet(view.jobStyle);
    ui->lblConn->setText(view.connText);
    ui->lblConn->setStyleSheet(view.connStyle);

    vqSetToner(view.toner);

    if (!view.faultBadges) {
        for (QLabel* b : qAsConst(faultBadges))
            b->hide();
        ui->lblFault->setStyleSheet(view.faultStyle);
        ui->lblFault->setText(view.faultText);
        ui->lblFault->adjustSize();
        ui->frameFault->resize(ui->lblFault->width() + 18, 72);
        ui->lblFault->show();
    } else {
        ui->lblFault->hide();
        vqShowFaults(view.faults);
    }

    ui->lblPrinters->setText(view.deviceName);
    ui->lblPrinters->adjustSize();
}

void FvqMain::vqShowFaults(const QList<CvqFaultItem>& list)
{
    const int n = list.size();
    while (faultBadges.size() < n) {
        QLabel* b = new QLabel(ui->frameFault);
        b->setObjectName(QStringLiteral("lblFaultBadge"));
        QFont f = b->font();
        f.setWeight(75);
        b->setFont(f);
        b->setScaledContents(true);
        b->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        b->setTextFormat(Qt::PlainText);
        faultBadges << b;
    }
    QList<int> widths;
    for (int i = 0; i < n; ++i) {
        QLabel* b = faultBadges.at(i);
        b->setStyleSheet(vqBadgeStyle(list.at(i).code, n));
        b->setText(vqFaultTextTr(list.at(i)));
        b->adjustSize();
        widths << b->width();
    }
    const CvqBadgeLayout layout = vqLayoutBadges(widths);
    for (int i = 0; i < n; ++i) {
        faultBadges.at(i)->move(layout.positions.at(i));
        faultBadges.at(i)->show();
    }
    ui->frameFault->resize(layout.frame);
    for (int i = n; i < faultBadges.size(); ++i)
        faultBadges.at(i)->hide();
}

void FvqMain::mTray_when_activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Context:
        if (!mTrayMenu->isVisible())
            mTrayMenu->popup(QCursor::pos());
        mTrayMenu->raise();
        break;
    case QSystemTrayIcon::DoubleClick: show(); break;
    default: break;
    }
}

void FvqMain::on_cbbLangs_currentIndexChanged(int index)
{
    const QString name = ui->cbbLangs->itemText(index);
    const QString now = langMgr ? langMgr->switchTo(name) : QString();
    qDebug() << "FvqMain::on_cbbLangs_currentIndexChanged" << name << now;
    vqApplyTexts();
    vqRefresh();
}
