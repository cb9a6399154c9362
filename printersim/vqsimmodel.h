#pragma once
// The printer models the emulator knows.

#include <QList>
#include <QString>

struct CvqSimModel
{
    QString type, pid;  // as the web server names it, e.g. "P4120W"; the USB product id
    int pxg;            // consumable layout
    bool hasScan;

    static const QList<CvqSimModel>& vqAll();
    // The model of that type (case ignored); an unknown type gets the first model's ids.
    static CvqSimModel vqOf(const QString& type);
};
