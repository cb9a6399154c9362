#pragma once
// One fuzz target: VQ_FUZZ_TARGET(bytes) { ... } receives the fuzzer's bytes as
// a QByteArray over a copy of exactly their size, with no terminating zero
// behind it (a read past the end is a sanitizer report); library debug lines,
// which would flood the fuzzer's output, are silenced.

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

inline void vqFuzzRun(const uint8_t* data, size_t size, void (*target)(const QByteArray&))
{
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)quiet;
    std::unique_ptr<char[]> copy(new char[size ? size : 1]);
    if (size)
        std::memcpy(copy.get(), data, size);
    target(QByteArray::fromRawData(copy.get(), int(size)));
}

// A view of bytes from `from` on, as exactly sized as the input.
inline QByteArray vqFuzzTail(const QByteArray& bytes, int from)
{
    return QByteArray::fromRawData(bytes.constData() + from, bytes.size() - from);
}

#define VQ_FUZZ_TARGET(bytes)                                                                                          \
    static void vqFuzzTarget(const QByteArray& bytes);                                                                 \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)                                            \
    {                                                                                                                  \
        vqFuzzRun(data, size, vqFuzzTarget);                                                                           \
        return 0;                                                                                                      \
    }                                                                                                                  \
    static void vqFuzzTarget(const QByteArray& bytes)
