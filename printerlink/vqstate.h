#pragma once
// The per-device summary the user interface sees.

#include "vqjetmem.h"
#include "vqproduct.h"

#include <QMap>
#include <QMetaType>

// Activity codes (pa).
enum CvqActivity {
    vqPaIdle = 0,
    vqPaSleeping = 1,
    vqPaWarmingUp = 2,
    vqPaTransferring = 3,
    vqPaPrinting = 4,
    vqPaCancelling = 5,
    vqPaJobPrinting = 6,
    vqPaCoolingDown = 7,
};

// Fault and warning bit numbers of pex.
enum CvqFaultBit {
    vqBitTray1Low = 1,
    vqBitTray2Empty = 2,
    vqBitSizeMismatch = 3,
    vqBitDataTooLarge = 4,
    vqBitFuserCurve = 5,
    vqBitFuserOther = 6,
    vqBitCryptoChip = 7,
    vqBitNoPaper = 8,
    vqBitTonerOut = 9,
    vqBitPaperJam = 10,
    vqBitCoverOpen = 11,
    vqBitLsu = 12,
    vqBitFuserHeating = 13,
    vqBitMainMotor = 14,
    vqBitNoTonerBox = 15,
    vqBitDataTransfer = 16,
    vqBitLsuData = 17,
    vqBitError0801 = 18,
    vqBitTonerLow = 19,
    vqBitNoPassword = 20,
    vqBitCancelled = 21,
    vqBitCancelledToo = 22,
    vqBitSevere = 23,
    vqBitFirmware = 24,
    vqBitTray1Empty = 25,
    vqBitBinFull = 26,
    vqBitDrumDoorOpen = 27,
    vqBitNoDrum = 28,
    vqBitDrumLow = 29,
    vqBitDrumOut = 30,
    vqBitTray2Low = 31,
};

struct CvqState
{
    bool connected = false;
    CvqVIDPID vidpid;
    QString productName;
#ifdef VQ_BENCH_TABLE
    bool vqHasScan = false;  // printed "true" / "false"
#else
    int vqHasScan = 0;
#endif
    int vqPlatform = 0;
    QString instanceId;
    QString queueName;
    int pex = 0;  // used as 32 unsigned bits
    int pa = 0;
    int tonerPercent = -1;
    int drumPercent = -1;
    int peGuZhangSource = 0;
    QString ROMVER;
    QString SN;
    QString vqComName;

    bool operator==(const CvqState& o) const;
    bool operator!=(const CvqState& o) const { return !(*this == o); }
};
QDebug operator<<(QDebug dbg, const CvqState& s);

typedef QMap<QString, CvqState> CvqStateMap;
Q_DECLARE_METATYPE(CvqState)
Q_DECLARE_METATYPE(CvqStateMap)

QString vqDisplayName(const CvqState& s);
// A product or queue name without the maker's prefix, as the model lists spell it.
QString vqWithoutBrand(const QString& name);

int vqCalcPex(const CvqJetMem& m);
int vqCalcPa(const CvqJetMem& m);
int vqCalcTonerPercent(const CvqJetMem& m);
int vqCalcDrumPercent(const CvqJetMem& m);

// Fills the status fields of a connected device from a valid record.
void vqFillState(CvqState& s, const CvqJetMem& m);
