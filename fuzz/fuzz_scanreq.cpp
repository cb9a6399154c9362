// Fuzz target: the scan job-state reader and the scan-to-PC request content
// (the format it names and the folder name made for it). The first byte
// splits the input between the job-state text and the request.
#include "cvqscantopctrd.h"
#include "printerlink/vqscan.h"
#include "vqfuzzinput.h"

VQ_FUZZ_TARGET(input)
{
    if (input.isEmpty())
        return;
    const QByteArray bytes = vqFuzzTail(input, 1);
    const int cut = qMin(int(quint8(input.at(0))) * 4, bytes.size());
    const int state = vqParseScanJobState(QString::fromUtf8(bytes.left(cut)));
    if (state < -1 || state > 12 || state == 9)
        __builtin_trap();

    const QString format = QString::fromUtf8(bytes.mid(cut)).trimmed();
    if (vqScanFormatOk(format)
        && (format.isEmpty() || format.size() > 8 || format.contains('/') || format.contains('.')))
        __builtin_trap();
    static const QDateTime when(QDate(2026, 12, 7), QTime(3, 4, 5));
    const QString folder = vqScanToPcFolderName(format, when);
    for (QChar c : folder)
        if (QStringLiteral("\\/:*?\"<>|").contains(c) || c.unicode() < 0x20)
            __builtin_trap();
}
