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
    const QByteArray bytes = QByteArray::fromRawData(input.constData() + 1, input.size() - 1);  // exactly sized
    const int cut = qMin(int(quint8(input.at(0))) * 4, bytes.size());
    const int state = vqParseScanJobState(QString::fromUtf8(bytes.left(cut)));
    VQ_FUZZ_REQUIRE(state >= -1 && state <= 12 && state != 9);
    const QString format = QString::fromUtf8(bytes.mid(cut)).trimmed();
    VQ_FUZZ_REQUIRE(!vqScanFormatOk(format)
                    || (!format.isEmpty() && format.size() <= 8 && !format.contains('/') && !format.contains('.')));
    for (QChar c : vqScanToPcFolderName(format, QDateTime(QDate(2026, 12, 7), QTime(3, 4, 5))))
        VQ_FUZZ_REQUIRE(!QStringLiteral("\\/:*?\"<>|").contains(c) && c.unicode() >= 0x20);
}
