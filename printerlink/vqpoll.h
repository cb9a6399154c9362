#pragma once
// The poll cycle and the core thread; the stop signal the workers watch comes along.

#include "vqquit.h"
#include "vqstate.h"

#include <QThread>

// One pass over every attached supported printer. Shares no mutable data:
// safe to call from several threads at once.
QMap<QString, CvqState> vqPollCycle();

// Base class of every worker thread of the programs.
class CvqTrd : public QThread
{
    Q_OBJECT
public:
    using QThread::QThread;
};

// Runs poll cycles one second apart and reports every change of the map.
class CvqCoreTrd : public CvqTrd
{
    Q_OBJECT
public:
    explicit CvqCoreTrd(QObject* parent = nullptr) : CvqTrd(parent) {}

signals:
    void vqOnChange(QMap<QString, CvqState> oldStates, QMap<QString, CvqState> newStates);

protected:
    void run() override;
};

// Registers "QMap<QString,CvqState>" so the map can travel in queued signals.
void vqRegisterStateMetaTypes();
