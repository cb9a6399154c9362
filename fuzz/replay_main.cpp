// Without libFuzzer: replays the seed corpus, the regression inputs and a fixed
// number of deterministic mutations of them, so each target runs in every test
// build. Each input sits in a buffer of exactly its size, as libFuzzer gives it.
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// usage: replay_<target> MUTATIONS DIR...
int main(int argc, char** argv)
{
    QList<QByteArray> seeds;
    for (int a = 2; a < argc; ++a)
        for (const QFileInfo& fi : QDir(QString::fromLocal8Bit(argv[a])).entryInfoList(QDir::Files)) {
            QFile f(fi.filePath());
            if (f.open(QIODevice::ReadOnly))
                seeds << f.readAll();
        }
    if (seeds.isEmpty())
        return 2;
    const int mutations = QByteArray(argv[1]).toInt();
    QRandomGenerator rng(20261206);
    // First every input as it is (i < 0), then mutations of random ones.
    for (int i = -seeds.size(); i < mutations; ++i) {
        QByteArray b = seeds.at(i < 0 ? i + seeds.size() : int(rng.bounded(seeds.size())));
        for (int e = i < 0 ? 0 : 1 + int(rng.bounded(8)); e > 0; --e) {
            const int pos = b.isEmpty() ? 0 : int(rng.bounded(b.size()));
            switch (rng.bounded(4)) {
            case 0: b[pos] = char(rng.bounded(256)); break;  // past the end it grows
            case 1: b.insert(pos, char(rng.bounded(256))); break;
            case 2: b.remove(pos, 1 + int(rng.bounded(4))); break;
            default: b.truncate(pos); break;
            }
        }
        const std::vector<uint8_t> buf(b.cbegin(), b.cend());
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
    }
    return 0;
}
