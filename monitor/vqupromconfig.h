#pragma once
// The LAN firmware upgrade's settings as plain types, so the monitor's test seams
// can hold them without including the code that reads them.

#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>
#include <QString>

#include <functional>

// One address entry of one network interface.
struct CvqIfAddr
{
    QHostAddress ip;
    QHostAddress netmask;
    QNetworkInterface::InterfaceFlags flags;
};

using CvqIfSource = std::function<QList<CvqIfAddr>()>;

struct CvqUpRomConfig
{
    quint16 port = 80;
    int idMs = 2000;
    int snapMs = 4000;
    int jobMs = 4000;
    int uploadMs = 150000;
    QString firmwareFixed;   // the installed image; the program's own "1.RM" after it
    CvqIfSource interfaces;  // empty: the machine's interfaces
};
