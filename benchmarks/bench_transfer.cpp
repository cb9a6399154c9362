// Throughput of vqLinkPut / vqLinkGet for 1 MiB over a pseudo-terminal,
// against a bare loop that sends the same chunk requests and reads the same
// answers on the same pseudo-terminal without the library: the protocol's own
// limit with this peer. Both talk to the same in-process peer thread.
//
//   bench_transfer [rounds]      (default 7; the median round is reported)

#include "vqptypeer.h"
#include "printerlink/printerlink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
const int kSize = 1 << 20;
const char kHead[4] = {'\x19', '\x73', '\x10', '\x19'};
const char kTail[4] = {'\x19', '\x79', '\x04', '\x02'};

void put32(char* p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

quint32 get32(const char* p)
{
    const uchar* u = reinterpret_cast<const uchar*>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

// The bare loop: a raw file descriptor, one request buffer, one receive buffer.
class BareLink
{
public:
    explicit BareLink(const QString& path) : mPort(path) { mIn.resize(1 << 16); }
    bool ok() const { return mPort.ok(); }

    // One request frame out, the matching response's body back (as a view into mIn).
    bool exchange(quint8 type, const char* body, int bodyLen, const char** respBody, int* respLen)
    {
        const quint8 id = mId++;
        mOut.resize(16 + bodyLen);
        char* p = mOut.data();
        std::memcpy(p, kHead, 4);
        put32(p + 4, quint32(4 + bodyLen));
        p[8] = char(type);
        p[9] = 0;
        p[10] = char(id);
        p[11] = 0;
        std::memcpy(p + 12, body, size_t(bodyLen));
        std::memcpy(p + 12 + bodyLen, kTail, 4);
        if (!mPort.write(p, int(mOut.size())))
            return false;
        int have = 0;
        for (;;) {
            if (have >= 16) {
                const quint32 len = get32(mIn.data() + 4);
                if (have >= int(12 + len)) {
                    if (quint8(mIn[10]) != id || std::memcmp(mIn.data() + 8 + len, kTail, 4) != 0)
                        return false;
                    *respBody = mIn.data() + 12;
                    *respLen = int(len) - 4;
                    return true;
                }
            }
            const int n = mPort.read(mIn.data() + have, int(mIn.size()) - have, 5000);
            if (n <= 0)
                return false;
            have += n;
        }
    }

private:
    CvqRawPort mPort;
    quint8 mId = 0;
    std::vector<char> mOut;
    std::vector<char> mIn;
};

bool barePut(BareLink& link, const QByteArray& path, const QByteArray& data)
{
    std::vector<char> body(size_t(path.size()) + 1 + 8 + 1024);
    std::memcpy(body.data(), path.constData(), size_t(path.size()) + 1);
    char* const fields = body.data() + path.size() + 1;
    int offset = 0;
    bool sent = false;
    for (;;) {
        const int remaining = data.size() - offset;
        const int chunk = std::min(remaining, 1024);
        if (sent && remaining == 0)
            return true;
        put32(fields, quint32(offset));
        put32(fields + 4, quint32(chunk));
        std::memcpy(fields + 8, data.constData() + offset, size_t(chunk));
        const char* resp = nullptr;
        int len = 0;
        if (!link.exchange(10, body.data(), path.size() + 1 + 8 + chunk, &resp, &len) || len < 1 || resp[0] != 0)
            return false;
        sent = true;
        offset += chunk;
    }
}

bool bareGet(BareLink& link, const QByteArray& path, QByteArray& out)
{
    std::vector<char> body(size_t(path.size()) + 1 + 8);
    std::memcpy(body.data(), path.constData(), size_t(path.size()) + 1);
    char* const fields = body.data() + path.size() + 1;
    quint32 offset = 0;
    // status, empty error text, echoed path, offset, length: then flag, n, bytes.
    const int skip = 1 + 1 + path.size() + 1 + 8;
    for (;;) {
        put32(fields, offset);
        put32(fields + 4, 1024);
        const char* resp = nullptr;
        int len = 0;
        if (!link.exchange(11, body.data(), int(body.size()), &resp, &len) || len < skip + 5 || resp[0] != 0)
            return false;
        const bool last = resp[skip] != 0;
        const quint32 n = get32(resp + skip + 1);
        if (n == 0)
            return true;
        if (int(n) > len - skip - 5)
            return false;
        out.append(resp + skip + 5, int(n));
        if (last)
            return true;
        offset += n;
    }
}

double mibPerSec(qint64 ns) { return ns > 0 ? (double(kSize) / (1 << 20)) / (double(ns) / 1e9) : 0.0; }

qint64 median(std::vector<qint64> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 7;

    CvqFakePrinter printer;
    CvqPtyPeer peer;
    if (!peer.start([&](const CvqPeerFrame& r, CvqPtyPeer& p) { printer.vqServe(r, p); })) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    QByteArray data(kSize, Qt::Uninitialized);
    QRandomGenerator rng(42);
    for (int i = 0; i < kSize; ++i)
        data[i] = char(rng.bounded(256));
    const QString path = QStringLiteral("/tmp/vqbench.bin");

    std::vector<qint64> libPut, libGet, barePutT, bareGetT;
    for (int round = 0; round < rounds; ++round) {
        {
            CvqComLink link(peer.slavePath());
            if (!link.open())
                return 1;
            quint8 st = 0;
            QString err;
            QElapsedTimer t;
            t.start();
            if (!link.vqLinkPut(path, data, st, err) || st != 0)
                return std::fprintf(stderr, "library put failed\n"), 1;
            libPut.push_back(t.nsecsElapsed());
            QByteArray back;
            t.restart();
            if (!link.vqLinkGet(path, back, st, err) || back != data)
                return std::fprintf(stderr, "library get failed\n"), 1;
            libGet.push_back(t.nsecsElapsed());
        }
        {
            BareLink link(peer.slavePath());
            if (!link.ok())
                return 1;
            QElapsedTimer t;
            t.start();
            if (!barePut(link, path.toUtf8(), data))
                return std::fprintf(stderr, "bare put failed\n"), 1;
            barePutT.push_back(t.nsecsElapsed());
            QByteArray back;
            back.reserve(kSize);
            t.restart();
            if (!bareGet(link, path.toUtf8(), back) || back != data)
                return std::fprintf(stderr, "bare get failed\n"), 1;
            bareGetT.push_back(t.nsecsElapsed());
        }
    }

    const double lp = mibPerSec(median(libPut)), lg = mibPerSec(median(libGet));
    const double bp = mibPerSec(median(barePutT)), bg = mibPerSec(median(bareGetT));
    std::printf("1 MiB over a pseudo-terminal, median of %d rounds (1024 exchanges each way)\n", rounds);
    std::printf("%-6s %14s %14s %8s\n", "", "library MiB/s", "bare MiB/s", "ratio");
    std::printf("%-6s %14.2f %14.2f %8.2f\n", "put", lp, bp, bp > 0 ? lp / bp : 0.0);
    std::printf("%-6s %14.2f %14.2f %8.2f\n", "get", lg, bg, bg > 0 ? lg / bg : 0.0);
    peer.stop();
    return 0;
}
