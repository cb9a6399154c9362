// Fuzz target: the simulated host's tree reader over a tree written from the
// input, then every question the library asks the host. Records are split by
// 0 bytes, each "<relative path>\x01<content>"; a content of "\x02fifo" makes a
// FIFO, "\x02dir" a directory, "\x02link:<n>" a symbolic link to one of a few
// fixed targets (devices, the tree's parent, itself).
#include "printerlink/printerlink.h"
#include "printerlink/host/vqhost_sim.h"
#include "vqfuzzinput.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// A path inside the tree: relative, no "." or ".." components, a few levels deep.
bool safePath(const QByteArray& p)
{
    const QList<QByteArray> parts = p.split('/');
    return parts.size() <= 7 && std::none_of(parts.cbegin(), parts.cend(), [](const QByteArray& c) {
               return c.isEmpty() || c == "." || c == ".." || c.size() > 200;
           });
}

void writeTree(const QString& root, const QByteArray& layout)
{
    static const char* const kLinks[] = {"/dev/zero", "/dev/null", "..", ".", "/nonexistent", "instance_id"};
    int files = 0;
    for (const QByteArray& rec : layout.split('\0')) {
        const int sep = rec.indexOf('\x01');
        const QByteArray rel = rec.left(sep < 0 ? rec.size() : sep);
        if (!safePath(rel) || ++files > 24)
            continue;
        const QByteArray content = sep < 0 ? QByteArray() : rec.mid(sep + 1, 8192);
        const QByteArray path = QFile::encodeName(root) + '/' + rel;
        // The first record of a path wins: writing to a FIFO made before would block.
        struct stat st;
        if (::lstat(path.constData(), &st) == 0)
            continue;
        QDir().mkpath(QFile::decodeName(path.left(path.lastIndexOf('/'))));
        if (content == "\2fifo") {
            ::mkfifo(path.constData(), 0600);
        } else if (content == "\2dir") {
            ::mkdir(path.constData(), 0700);
        } else if (content.startsWith("\2link:")) {
            ::symlink(kLinks[unsigned(content.mid(6).toInt()) % std::size(kLinks)], path.constData());
        } else {
            QFile f(QFile::decodeName(path));
            if (f.open(QIODevice::WriteOnly))
                f.write(content);
        }
    }
}
}  // namespace

VQ_FUZZ_TARGET(bytes)
{
    static QTemporaryDir base;
    const QString root = base.path() + QStringLiteral("/host");
    QDir(root).removeRecursively();
    QDir().mkpath(root);
    writeTree(root, bytes);
    qputenv("VQ_SIM_HOST", QFile::encodeName(root));

    const QMap<QString, CvqState> states = vqPollCycle();
    vqGetUsbPrinterQueues(states.keys());
    vqHost().vqSerialPorts();
    vqHasPrintJob("Morvane P4120W #0");
    vqHasPrintJob("..");
    QStringList ids;
    vqHost().vqListUsbPrinters(&ids);
    QByteArray reply;
    for (const QString& id : ids)
        vqHost().vqReadIeee1284(id, &reply);
}
