#include "fvquprom1progress.h"
#include "ui_fvquprom1progress.h"

#include "cvqlanuprom.h"
#include "qvqmovablewidget.h"

#include "printerlink/printerlink.h"

#include <QTimer>

FvqUpRom1Progress::FvqUpRom1Progress(QWidget* parent) : QWidget(parent), ui(new Ui::FvqUpRom1Progress)
{
    ui->setupUi(this);
    setWindowTitle(vqMonitorTitle);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    vqMoveToBottomRight(this);
    ui->prg->setValue(0);

    trd = new CvqLanUpRomTrd;
    trd->onePass = true;
    trd->start(QThread::InheritPriority);

    mMainTmr_when_timeout();
    mMainTmr = new QTimer(this);
    mMainTmr->setObjectName(QStringLiteral("mMainTmr"));
    mMainTmr->setInterval(1000);
    connect(mMainTmr, &QTimer::timeout, this, &FvqUpRom1Progress::mMainTmr_when_timeout);
    mMainTmr->start();
}

FvqUpRom1Progress::~FvqUpRom1Progress()
{
    vqQuitAll();
    trd->wait();
    delete trd;
    delete ui;
}

QProgressBar* FvqUpRom1Progress::vqBar() const { return ui->prg; }

void FvqUpRom1Progress::mMainTmr_when_timeout()
{
    if (trd->vqFinished()) {
        close();
        return;
    }
    int maximum = ui->prg->maximum();
    int value = ui->prg->value();
    vqUpRomTick(trd->vqTotal(), trd->vqPendingCount(), maximum, value);
    if (maximum != ui->prg->maximum())
        ui->prg->setMaximum(maximum);
    else
        ui->prg->setValue(value);
}
