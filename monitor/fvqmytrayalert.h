#pragma once
// The tray alert: a frameless, always-on-top message box at the bottom-right
// corner of the desktop. One instance serves the whole process.

#include "qvqmovablewidget.h"

namespace Ui {
class FvqMyTrayAlert;
}

class FvqMyTrayAlert : public QvqMovableWidget
{
    Q_OBJECT
public:
    explicit FvqMyTrayAlert(QWidget* parent = nullptr);
    ~FvqMyTrayAlert() override;

    void vqSetMessage(const QString& title, const QString& text);

public slots:
    void on_btnOk_clicked();

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::FvqMyTrayAlert* ui;
};

// Shows title and text in the one alert, building it on first use.
void vqShowTrayAlert(const QString& title, const QString& text);
// Closes and destroys the alert; the next vqShowTrayAlert builds a new one.
void vqCloseTrayAlert();
// The alert instance, or null (for tests).
FvqMyTrayAlert* vqTrayAlert();
