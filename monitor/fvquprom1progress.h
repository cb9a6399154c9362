#pragma once
// The small window of the "uprom1" verb: runs one LAN upgrade pass, shows its
// progress and closes itself when the pass is over.

#include <QWidget>

class CvqLanUpRomTrd;
class QProgressBar;
class QTimer;

namespace Ui {
class FvqUpRom1Progress;
}

class FvqUpRom1Progress : public QWidget
{
    Q_OBJECT
public:
    explicit FvqUpRom1Progress(QWidget* parent = nullptr);
    ~FvqUpRom1Progress() override;

    CvqLanUpRomTrd* vqThread() const { return trd; }
    QProgressBar* vqBar() const;

private slots:
    void mMainTmr_when_timeout();

private:
    Ui::FvqUpRom1Progress* ui;
    CvqLanUpRomTrd* trd = nullptr;
    QTimer* mMainTmr = nullptr;
};
