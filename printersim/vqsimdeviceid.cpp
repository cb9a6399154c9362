#include "vqsimdeviceid.h"

QByteArray vqShiftSts(const QByteArray& hexDigits)
{
    QByteArray out = hexDigits;
    for (char& c : out)
        c = char(c + 17);
    return out;
}

QByteArray vqMakeDeviceId(const QString& model, const QString& romver, const QString& sn, const CvqStsFields& sts,
                          int pxg, int tll)
{
    QByteArray hex;
    auto put = [&hex](quint32 v, int digits) {
        hex += QByteArray::number(v, 16).rightJustified(digits, '0').toUpper();
    };
    put(sts.jobPrintedCount, 4);
    put(sts.inPrintJob, 2);
    for (quint8 b : sts.statusBytes)
        put(b, 2);
    put(sts.crumStatus, 2);
    put(sts.crumT, 4);
    put(sts.crumD, 4);
    put(sts.allPrintCount & 0xFFFFFF, 6);
    QByteArray id = "MFG:Morvane;CMD:PCL,PWG;CLS:PRINTER;MDL:" + model.toUtf8() + ";EX:0;ROMVER:" + romver.toUtf8()
        + ";SN:" + sn.toUtf8() + ";";
    if (pxg > 0)
        id += "PXG:" + QByteArray::number(pxg) + ";";
    return id + "TLL:" + QByteArray::number(tll) + ";STS:" + vqShiftSts(hex) + ";";
}

QByteArray vqWithIdLength(const QByteArray& id)
{
    const int length = qMin(id.size() + 2, 0xFFFF);
    return QByteArray(1, char(length >> 8)) + char(length & 0xFF) + id;
}
