#include "fvqmain.h"

#include <QDebug>

FvqMain::FvqMain(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(vqMonitorTitle);
    resize(793, 507);
    vqRegisterStateMetaTypes();
    coreTrd = new CvqCoreTrd(this);
    connect(coreTrd, &CvqCoreTrd::vqOnChange, this, &FvqMain::vqWhenOnCoreTrdChange);
    coreTrd->start(QThread::InheritPriority);
}

FvqMain::~FvqMain()
{
    vqQuitAll();
    coreTrd->wait();
}

void FvqMain::vqWhenOnCoreTrdChange(QMap<QString, CvqState> oldStates, QMap<QString, CvqState> newStates)
{
    Q_UNUSED(oldStates);
    states = newStates;
    for (const CvqState& s : qAsConst(states))
        qDebug() << s;
}
