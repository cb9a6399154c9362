// Fuzz target: the answers of a device's web server the LAN upgrade reads (the
// identification, the snapshot JSON, the job states, each cut at its first 0
// byte) and the text bodies of the file and command requests. The input holds
// the bodies one after another, split at each 0x01 byte; each is a view of the
// input's own buffer (the last one ends where the buffer ends).
#include "vqfuzzinput.h"

#include "cvqlanuprom.h"
#include "printerlink/vqcomm.h"
#include "printerlink/vqtext.h"

VQ_FUZZ_TARGET(all)
{
    QList<QByteArray> bodies;
    for (int from = 0, sep = 0; sep >= 0; from = sep + 1) {
        sep = all.indexOf('\x01', from);
        bodies << QByteArray::fromRawData(all.constData() + from, (sep < 0 ? all.size() : sep) - from);
        CvqCommOfHttp::vqBodyText(bodies.last());
    }
    if (vqUpRomIsPrinter(vqTextBeforeNul(bodies.value(0)))
        && vqUpRomReadSnap(vqTextBeforeNul(bodies.value(1))).verdict == CvqUpRomVerdict::Upload)
        vqUpRomJobsVerdict(vqTextBeforeNul(bodies.value(2)));
}
