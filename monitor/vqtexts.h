#pragma once
// Status texts, fault items and badge colours: what the panel shows for the
// numeric fields of a device state. Texts are Chinese source strings; callers
// translate them at display time ("Device Status", "Error Code").

#include <QList>
#include <QString>

// One fault to show: the pex bit value and, for faults split by location,
// the peGuZhangSource bit (0 when not split).
struct CvqFaultItem
{
    int code = 0;
    int source = 0;

    CvqFaultItem() = default;
    CvqFaultItem(int c, int s) : code(c), source(s) {}
    bool operator==(const CvqFaultItem& o) const { return code == o.code && source == o.source; }
    bool operator!=(const CvqFaultItem& o) const { return !(*this == o); }
};
QDebug operator<<(QDebug dbg, const CvqFaultItem& f);

// Activity source text of pa; empty for unknown codes.
const char* vqStatusText(int pa);
// The faults of pex to show, in display order; paper faults split by source.
QList<CvqFaultItem> vqFaultList(int pex, int peGuZhangSource);
// Fault source text; empty for codes without one.
const char* vqFaultText(int code, int source);
inline const char* vqFaultText(const CvqFaultItem& f) { return vqFaultText(f.code, f.source); }
// "background-color:B;color:T;" for a fault badge.
QString vqFaultStyle(int code);

// Translated texts (the lookups the window makes).
QString vqStatusTextTr(int pa);
QString vqFaultTextTr(const CvqFaultItem& f);
