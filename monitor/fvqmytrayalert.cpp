#include "fvqmytrayalert.h"
#include "ui_fvqmytrayalert.h"

#include "printerlink/printerlink.h"

#include <QDebug>
#include <QEvent>

namespace {
FvqMyTrayAlert* gAlert = nullptr;
}

FvqMyTrayAlert::FvqMyTrayAlert(QWidget* parent) : QvqMovableWidget(parent), ui(new Ui::FvqMyTrayAlert)
{
    ui->setupUi(this);
    // Title and message may come from a device: never interpret them as markup.
    ui->lblTitle->setTextFormat(Qt::PlainText);
    ui->lblMsg->setTextFormat(Qt::PlainText);
    setWindowTitle(vqMonitorTitle);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    // An auxiliary window: closing it while the monitor sits in the tray must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    // Placed once, above the task bar; not moved again.
    vqMoveToBottomRight(this);
}

FvqMyTrayAlert::~FvqMyTrayAlert()
{
    if (gAlert == this)
        gAlert = nullptr;
    delete ui;
}

void FvqMyTrayAlert::vqSetMessage(const QString& title, const QString& text)
{
    ui->lblTitle->setText(title);
    ui->lblMsg->setText(text);
}

void FvqMyTrayAlert::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QvqMovableWidget::changeEvent(event);
}

void FvqMyTrayAlert::on_btnOk_clicked() { hide(); }

void vqShowTrayAlert(const QString& title, const QString& text)
{
    if (!gAlert)
        gAlert = new FvqMyTrayAlert;
    gAlert->vqSetMessage(title, text);
    gAlert->show();
    qDebug().noquote() << "vqShowTrayAlert" << title;
}

void vqCloseTrayAlert()
{
    if (!gAlert)
        return;
    FvqMyTrayAlert* alert = gAlert;
    gAlert = nullptr;
    alert->close();
    delete alert;
}

FvqMyTrayAlert* vqTrayAlert() { return gAlert; }
