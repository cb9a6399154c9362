#include "vqstate.h"

bool CvqState::operator==(const CvqState& o) const
{
    return connected == o.connected && vidpid == o.vidpid && productName == o.productName && vqHasScan == o.vqHasScan
        && vqPlatform == o.vqPlatform && instanceId == o.instanceId && queueName == o.queueName && pex == o.pex
        && pa == o.pa && tonerPercent == o.tonerPercent && drumPercent == o.drumPercent
        && peGuZhangSource == o.peGuZhangSource && ROMVER == o.ROMVER && SN == o.SN && vqComName == o.vqComName;
}

QDebug operator<<(QDebug dbg, const CvqState& s)
{
    QDebugStateSaver saver(dbg);
    dbg.nospace() << "CvqState(" << (s.connected ? "true" : "false") << ",";
    dbg << s.vidpid;
    dbg.space() << "," << s.productName << "," << s.instanceId << "," << s.queueName << ","
                << "pex=" << s.pex << "=" << QString::asprintf("0x%x", unsigned(s.pex)).toLatin1().constData() << ","
                << "pa=" << s.pa << ","
                << "tonerPercent=" << s.tonerPercent << ","
                << "drumPercent=" << s.drumPercent << ","
                << "peGuZhangSource=" << s.peGuZhangSource << ","
                << "ROMVER=" << s.ROMVER << "SN=" << s.SN << "vqComName=" << s.vqComName << "vqHasScan=" << s.vqHasScan
                << "vqPlatform=" << s.vqPlatform << ")";
    return dbg;
}

QString vqDisplayName(const CvqState& s) { return vqWithoutBrand(s.queueName.isEmpty() ? s.productName : s.queueName); }

QString vqWithoutBrand(const QString& name) { return name.startsWith(QLatin1String("Morvane ")) ? name.mid(8) : name; }

// Hundredths of a per cent to whole per cent; -1 when nothing is present and the counter is 0.
static int level(quint16 raw, bool present)
{
    if (raw == 0)
        return present ? 0 : -1;
    return qMax(1, (int(raw) + 50) / 100);
}

int vqCalcTonerPercent(const CvqJetMem& m)
{
    const quint8 cs = m.crum_status;
    if (!(cs & 0x10))
        return -1;
    if (m.vqPXG == 2 || m.vqPXG == 3)
        return level(m.crum_t_percent, cs & 0x02);
    // One combined cartridge: its level sits in the drum counter.
    return level(m.crum_d_percent, cs & 0x08);
}

int vqCalcDrumPercent(const CvqJetMem& m)
{
    if (!(m.crum_status & 0x10) || m.vqPXG != 2)
        return -1;
    return level(m.crum_d_percent, m.crum_status & 0x08);
}

int vqCalcPa(const CvqJetMem& m)
{
    const bool job = m.inprintjob != 0;
    switch (m.status_bytes[7]) {
    case 0: return job ? vqPaJobPrinting : vqPaWarmingUp;
    case 1: return job ? vqPaJobPrinting : vqPaSleeping;
    case 2: return vqPaPrinting;
    case 3: return vqPaWarmingUp;
    case 4: return job ? vqPaJobPrinting : vqPaIdle;
    case 5: return vqPaCoolingDown;
    default: return job ? vqPaJobPrinting : vqPaWarmingUp;
    }
}

static inline quint32 bit(int n) { return quint32(1) << n; }

int vqCalcPex(const CvqJetMem& m)
{
    const quint8* b = m.status_bytes;
    // clang-format off
    quint32 pex = 0;
    if (b[1] & 0x01) pex |= bit(vqBitLsu);
    if (b[2] & 0x02) pex |= bit(vqBitLsuData);
    else if (b[2] & 0x01) pex |= bit(vqBitDataTransfer);
    if (b[2] & 0x04) pex |= bit(vqBitDataTooLarge);
    if (b[3] & 0x01) pex |= bit(vqBitFuserHeating);
    if (b[3] & 0x04) pex |= bit(vqBitFuserCurve);
    if (b[3] & 0x80) pex |= bit(vqBitFuserOther);
    // An open drum door hides every tray signal.
    const quint8 t = b[4];
    if (t & 0x08) {
        pex |= bit(vqBitDrumDoorOpen);
    } else {
        if (t & 0x01) pex |= bit(vqBitTray1Empty);
        else if (!(t & 0x80)) pex |= bit(vqBitTray1Low);
        if (t & 0x10) {
            if (t & 0x20) pex |= bit(vqBitTray2Empty);
            else if (t & 0x40) pex |= bit(vqBitTray2Low);
        }
    }
    if (b[5] & 0x01) pex |= bit(vqBitNoPaper);
    if (b[5] & 0x02) pex |= bit(vqBitPaperJam);
    if (b[5] & 0x04) pex |= bit(vqBitMainMotor);
    if (b[5] & 0x08) pex |= bit(vqBitBinFull);
    if (b[5] & 0x10) pex |= bit(vqBitSizeMismatch);
    if (b[6] & 0x01) pex |= bit(vqBitCoverOpen);
    if (b[8] & 0x01) pex |= bit(vqBitError0801);
    if (b[8] & 0x02) pex |= bit(vqBitCryptoChip);
    if (b[8] & 0x80) pex |= bit(vqBitSevere);
    // clang-format on

    const quint8 cs = m.crum_status;
    if (!(cs & 0x10))
        return int(pex);
    const int T = m.vqTLL;
    auto lowRule = [&pex, T](int l, int lowBit, int outBit) {
        if (l == 0)
            pex |= bit(outBit);
        else if (l > 0 && l <= T)
            pex |= bit(lowBit);
    };
    if (m.vqPXG == 2) {
        if (cs & 0x01)
            pex |= bit(vqBitNoTonerBox);
        else
            lowRule(vqCalcTonerPercent(m), vqBitTonerLow, vqBitTonerOut);
        if (cs & 0x04) {
            if (!m.vqIGNORENODRUM)
                pex |= bit(vqBitNoDrum);
        } else {
            lowRule(vqCalcDrumPercent(m), vqBitDrumLow, vqBitDrumOut);
        }
    } else if (m.vqPXG == 3) {
        if (cs & 0x01)
            pex |= bit(vqBitNoDrum);
        else
            lowRule(vqCalcTonerPercent(m), vqBitDrumLow, vqBitDrumOut);
    } else {
        if (cs & 0x04) {
            if (!m.vqIGNORENODRUM)
                pex |= bit(vqBitNoDrum);
        } else {
            lowRule(vqCalcTonerPercent(m), vqBitDrumLow, vqBitDrumOut);
        }
    }
    return int(pex);
}

void vqFillState(CvqState& s, const CvqJetMem& m)
{
    s.pex = vqCalcPex(m);
    s.pa = vqCalcPa(m);
    s.tonerPercent = vqCalcTonerPercent(m);
    s.drumPercent = vqCalcDrumPercent(m);
    s.peGuZhangSource = m.status_bytes[6] & 0xFE;
    s.ROMVER = m.romver;
    s.SN = m.sn;
}
