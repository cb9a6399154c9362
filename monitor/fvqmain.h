#pragma once
// The monitor's main window: owns the worker threads and shows the state map.

#include "printerlink/printerlink.h"

#include <QWidget>

class FvqMain : public QWidget
{
    Q_OBJECT
public:
    explicit FvqMain(QWidget* parent = nullptr);
    // Raises the stop signal and waits for every thread it started, the core thread last.
    ~FvqMain() override;

    const QMap<QString, CvqState>& vqStates() const { return states; }
    CvqCoreTrd* vqCoreTrd() const { return coreTrd; }

public slots:
    void vqWhenOnCoreTrdChange(QMap<QString, CvqState> oldStates, QMap<QString, CvqState> newStates);

private:
    QMap<QString, CvqState> states;
    CvqCoreTrd* coreTrd = nullptr;
};
