// Fuzz target: the poll cycle over a simulated host tree written from the
// input (a FIFO where a file belongs once blocked the poll thread for good).
// Records are split by 0 bytes, each "<relative path>\x01<content>"; a content
// of "\x02fifo" makes a FIFO, "\x02dir" a directory, "\x02link:<n>" a symbolic
// link to one of a few fixed targets (devices, its own folder, a sibling, nothing).
#include "printerlink/printerlink.h"
#include "vqfuzzinput.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

VQ_FUZZ_TARGET(layout)
{
    // No target leads out of the tree: files written through a link stay inside.
    static const QByteArrayList kLinks = {"/dev/zero", "/dev/null", ".", "instance_id", "nonexistent"};
    static QTemporaryDir base;
    const QByteArray root = QFile::encodeName(base.path()) + "/host";
    QDir(QFile::decodeName(root)).removeRecursively();
    QDir().mkpath(QFile::decodeName(root));
    int files = 0;
    for (const QByteArray& rec : layout.split('\0')) {
        const int sep = rec.indexOf('\x01');
        const QByteArray rel = rec.left(sep < 0 ? rec.size() : sep);
        const QByteArray content = sep < 0 ? QByteArray() : rec.mid(sep + 1, 8192);
        const QByteArray path = root + '/' + rel;
        // Relative, no "..", a few levels deep; the first record of a path wins
        // (writing to a FIFO made before would block).
        struct stat st;
        if (rel.startsWith('/') || rel.contains("..") || rel.count('/') > 6 || ++files > 24
            || ::lstat(path.constData(), &st) == 0)
            continue;
        QDir().mkpath(QFile::decodeName(path.left(path.lastIndexOf('/'))));
        if (content == "\2fifo")
            ::mkfifo(path.constData(), 0600);
        else if (content == "\2dir")
            ::mkdir(path.constData(), 0700);
        else if (content.startsWith("\2link:"))
            ::symlink(kLinks.at(int(content.mid(6).toUInt() % 5)).constData(), path.constData());
        else if (QFile f(QFile::decodeName(path)); f.open(QIODevice::WriteOnly))
            f.write(content);
    }
    qputenv("VQ_SIM_HOST", root);
    vqPollCycle();
}
