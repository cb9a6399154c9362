// Without libFuzzer: replays the seed corpus and a fixed number of deterministic
// mutations of it, so the target runs under every test build.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [mutations]\n", argv[0]);
        return 2;
    }
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const int mutations = argc > 2 ? atoi(argv[2]) : 20000;
    QList<QByteArray> seeds;
    for (const QFileInfo& fi : QDir(argv[1]).entryInfoList(QDir::Files)) {
        QFile f(fi.filePath());
        if (f.open(QIODevice::ReadOnly))
            seeds << f.readAll();
    }
    if (seeds.isEmpty())
        return 2;
    QRandomGenerator rng(20261206);
    for (const QByteArray& s : seeds)
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.constData()), size_t(s.size()));
    for (int i = 0; i < mutations; ++i) {
        QByteArray b = seeds.at(int(rng.bounded(seeds.size())));
        const int edits = 1 + int(rng.bounded(8));
        for (int e = 0; e < edits; ++e) {
            const int pos = b.isEmpty() ? 0 : int(rng.bounded(b.size()));
            switch (rng.bounded(4)) {
            case 0: if (!b.isEmpty()) b[pos] = char(rng.bounded(256)); break;
            case 1: b.insert(pos, char(rng.bounded(256))); break;
            case 2: b.remove(pos, 1 + int(rng.bounded(4))); break;
            default: b.truncate(pos); break;
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size()));
    }
    std::printf("replayed %d seeds and %d mutations\n", int(seeds.size()), mutations);
    return 0;
}
