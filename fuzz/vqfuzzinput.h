#pragma once
// One fuzz target: VQ_FUZZ_TARGET(bytes) { ... } gets the fuzzer's bytes as a
// QByteArray over their own buffer, exactly sized, with no terminating zero (a
// read past the end is a sanitizer report). Library debug lines are silenced.
#include <QByteArray>

#include <cstdint>

// A broken invariant: the fuzzer reports it as a crash.
#define VQ_FUZZ_REQUIRE(ok) ((ok) ? void() : __builtin_trap())

#define VQ_FUZZ_TARGET(bytes)                                                                                          \
    static void vqFuzzTarget(const QByteArray& bytes);                                                                 \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)                                            \
    {                                                                                                                  \
        [[maybe_unused]] static const auto quiet =                                                                     \
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});                       \
        vqFuzzTarget(QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)));                         \
        return 0;                                                                                                      \
    }                                                                                                                  \
    static void vqFuzzTarget(const QByteArray& bytes)
