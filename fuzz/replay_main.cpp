// Without libFuzzer: replays the seed corpus, the regression inputs and a fixed
// number of deterministic mutations of them, so each target runs in every test
// build. Each input sits in a buffer of exactly its size, as libFuzzer gives it.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static void runOne(const QByteArray& input)
{
    const size_t size = size_t(input.size());
    std::unique_ptr<uint8_t[]> buf(new uint8_t[size ? size : 1]);
    if (size)
        std::memcpy(buf.get(), input.constData(), size);
    LLVMFuzzerTestOneInput(size ? buf.get() : nullptr, size);
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MUTATIONS DIR...\n", argv[0]);
        return 2;
    }
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const int mutations = std::atoi(argv[1]);
    QList<QByteArray> seeds;
    for (int a = 2; a < argc; ++a) {
        for (const QFileInfo& fi : QDir(QString::fromLocal8Bit(argv[a])).entryInfoList(QDir::Files)) {
            QFile f(fi.filePath());
            if (f.open(QIODevice::ReadOnly))
                seeds << f.readAll();
        }
    }
    if (seeds.isEmpty())
        return 2;
    QRandomGenerator rng(20261206);
    for (const QByteArray& s : seeds)
        runOne(s);
    for (int i = 0; i < mutations; ++i) {
        QByteArray b = seeds.at(int(rng.bounded(seeds.size())));
        const int edits = 1 + int(rng.bounded(8));
        for (int e = 0; e < edits; ++e) {
            const int pos = b.isEmpty() ? 0 : int(rng.bounded(b.size()));
            switch (rng.bounded(4)) {
            case 0:
                if (!b.isEmpty())
                    b[pos] = char(rng.bounded(256));
                break;
            case 1: b.insert(pos, char(rng.bounded(256))); break;
            case 2: b.remove(pos, 1 + int(rng.bounded(4))); break;
            default: b.truncate(pos); break;
            }
        }
        runOne(b);
    }
    std::printf("replayed %d inputs and %d mutations\n", int(seeds.size()), mutations);
    return 0;
}
