// Fuzz target: everything a device's identification reply and instance id reach.
#include "printerlink/printerlink.h"
#include "vqfuzzinput.h"

VQ_FUZZ_TARGET(bytes)
{
    const QString text = vqIdTextFromReply(bytes);
    for (int pxg : {0, 1, 2, 3}) {
        CvqJetMem m = vqParseDeviceId(text, pxg);
        if (m.ok) {
            CvqState s;
            vqFillState(s, m);
            m.vqIGNORENODRUM = true;
            vqCalcPex(m);
        }
    }
    CvqRomVer v(text);
    (void)(v < CvqRomVer(QStringLiteral("V1.3.6406")));
    (void)(v == v);
    static const QList<CvqUsbDevFilter> filters = vqProductFilters();
    vqMatchInstanceId(QString::fromUtf8(bytes), filters);
}
