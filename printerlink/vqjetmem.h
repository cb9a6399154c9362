#pragma once
// The printer status record parsed from the identification text, and the
// comparable firmware version.

#include <QDebug>
#include <QList>
#include <QString>

struct CvqJetMem
{
    bool ok = false;
    QString mdl;
    QString ex;
    QString romver;
    QString sn;
    quint16 job_printed_count = 0;
    quint8 inprintjob = 0;
    quint8 status_bytes[10] = {};
    quint32 AllPrintCount = 0;
    quint8 crum_status = 0;
    quint16 crum_t_percent = 0;  // hundredths of a per cent
    quint16 crum_d_percent = 0;
    qint32 vqPXG = 0;  // consumable layout code 1, 2 or 3
    qint32 vqTLL = 0;  // low threshold in per cent
    bool vqIGNORENODRUM = false;
};
QDebug operator<<(QDebug dbg, const CvqJetMem& m);

// Never fails; the outcome is in ok.
CvqJetMem vqParseDeviceId(const QString& text, int defaultPxg);
// Decodes the shifted hex status memory; true when every mandatory field decoded.
bool vqParseSts(CvqJetMem& mem, const QString& sts);
// Reads exactly `digits` hex characters from *cursor, advancing it; stops at the
// first non-hex character (the terminating zero included) with *ok false and 0.
quint32 vqReadHex(const char** cursor, bool* ok, int digits);

// Firmware version such as "V1.3.6406".
class CvqRomVer
{
public:
    bool valid = false;
    QList<int> parts;

    CvqRomVer() = default;
    explicit CvqRomVer(const QString& text);

    bool operator<(const CvqRomVer& o) const;
    bool operator==(const CvqRomVer& o) const;
    bool operator!=(const CvqRomVer& o) const { return !(*this == o); }
};
QDebug operator<<(QDebug dbg, const CvqRomVer& v);

// Printers at or below this version, or with an unreadable one, are due for the upgrade.
extern const QString vqUpRomThreshold;
bool vqRomUpgradeDue(const QString& printerVersion);
