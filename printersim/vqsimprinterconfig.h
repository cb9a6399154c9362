#pragma once
// How a printer is made: its model, identity, USB port, firmware version and services.

#include <QString>

struct CvqSimPrinterConfig
{
    QString model = QStringLiteral("P4120W");
    QString sn;
    int usbPort = 1;
    QString romver = QStringLiteral("V1.3.6500");
    QString http;         // empty: no web server
    QString winePrefix;   // set: the serial port is COM<4 + usbPort> there
    bool bareId = false;  // the USB reply is the bare id text, without its length field
};
