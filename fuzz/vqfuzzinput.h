#pragma once
// The fuzzer's bytes as a QByteArray over a copy of exactly their size, with no
// terminating zero behind it: a read past the end is a sanitizer report.

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <cstring>
#include <memory>

class CvqFuzzInput
{
public:
    CvqFuzzInput(const uint8_t* data, size_t size) : mBuf(new char[size ? size : 1]), mSize(int(size))
    {
        if (size)
            std::memcpy(mBuf.get(), data, size);
    }
    // Valid while this object lives.
    QByteArray bytes() const { return QByteArray::fromRawData(mBuf.get(), mSize); }

private:
    std::unique_ptr<char[]> mBuf;
    int mSize;
};

// Library debug lines would flood the fuzzer's output: silence them once per process.
inline void vqFuzzQuiet()
{
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)quiet;
}
