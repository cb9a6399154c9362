#pragma once
// The test bench: one library facility per button, and the core thread's
// change events as they come.

#include "printerlink/printerlink.h"

#include <QDebug>
#include <QMap>
#include <QWidget>

namespace Ui {
class FvqMain;
}

// A value in its debug form.
template <typename T> QString vqToStr(const T& value)
{
    QString text;
    QDebug(&text) << value;
    return text.trimmed();
}

// Where the buttons reach the printer. A developer's bench keeps the defaults;
// tests and the demo point them at the emulator through the environment.
QString vqBenchComPort();   // VQ_BENCH_COM, else "com5"
QString vqBenchHttpHost();  // VQ_BENCH_HTTP, else the test address
QString vqBenchScanDir();   // VQ_BENCH_SCANDIR, else "d:\\"

class FvqMain : public QWidget
{
    Q_OBJECT
public:
    explicit FvqMain(QWidget* parent = nullptr);
    // Raises the stop signal before waiting: a bare wake-up is lost while
    // the core thread is inside a poll cycle, and the bench would never close.
    ~FvqMain() override;

    CvqCoreTrd* vqCoreTrd() const { return coreTrd; }

private slots:
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_4_clicked();
    void on_pushButton_5_clicked();
    void on_pushButton_6_clicked();
    void on_pushButton_7_clicked();
    void vqWhenOnCoreTrdChange(QMap<QString, CvqState> oldStates, QMap<QString, CvqState> newStates);

private:
    QString vqPollText();
    // The remote file and command sequence, logged step by step.
    static void vqTestComm(CvqComm& comm, const QString& path);

    Ui::FvqMain* ui;
    CvqCoreTrd* coreTrd = nullptr;
};
