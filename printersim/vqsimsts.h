#pragma once
// Edits of a printer's status memory by name: faults (one status bit each),
// where a paper fault sits, consumable levels and activities. Each returns the
// reason it was refused (empty: done) and leaves the fields as they were then.

#include "vqsimdeviceid.h"

#include <QStringList>

// The faults the fields show, in table order.
QStringList vqSimFaultNames(const CvqStsFields& sts);
// The named faults (joined by ',') on or off; exactly: every other fault off ("none" names none).
QString vqSimSetFaults(CvqStsFields* sts, const QString& names, bool on, bool exactly);
// Sources joined by ',': the bits of status byte 6 above the cover's.
QString vqSimSetSource(CvqStsFields* sts, const QString& names);
// A toner or drum level in per cent (decimals allowed) or "none". Toner lives in
// the first counter for layouts 2 and 3, in the drum counter for printers with
// one combined cartridge (layout 1).
QString vqSimSetLevel(CvqStsFields* sts, bool toner, int layout, const QString& pct);
// Status byte 7 and the job flag of an activity; false for an unknown one.
bool vqSimActivity(const QString& name, quint8* b7, quint8* inJob);
