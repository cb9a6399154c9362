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
    const CvqRomVer v(text), rom(QStringLiteral("V1.3.6406"));
    VQ_FUZZ_REQUIRE(v == v && int(v < rom) + int(rom < v) + int(v == rom) == 1);  // one order, whatever the text
    static const QList<CvqUsbDevFilter> filters = vqProductFilters();
    vqMatchInstanceId(QString::fromUtf8(bytes), filters);
}
