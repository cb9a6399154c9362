// Fuzz target: every link operation reading its replies from a scripted printer
// (see vqfuzzlink.h); each runs until the script falls silent.
#include "vqfuzzinput.h"
#include "vqfuzzlink.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vqFuzzQuiet();
    const CvqFuzzInput input(data, size);
    CvqScriptedLink link(input.bytes());
    link.vqSetGetLimit(64 * 1024);
    quint8 status = 0;
    QString err, text;
    QByteArray bytes;
    link.vqTestLink();
    link.vqTestBulk();
    link.vqLinkPut(QStringLiteral("/tmp/up"), QByteArray(2500, 'u'), status, err);
    link.vqLinkGet(QStringLiteral("/tmp/down"), bytes, status, err);
    if (bytes.size() > 64 * 1024)
        __builtin_trap();
    link.vqLinkGetText(QStringLiteral("/tmp/text"), text, status, err);
    link.vqLinkHas(QStringLiteral("/tmp/has"), status, err);
    link.vqLinkDel(QStringLiteral("/tmp/del"), status, err);
    link.vqLinkExe(QStringLiteral("ls /"), text, status, err, 5);
    link.vqLinkExeAlong(QStringLiteral("run"), status, err);
    return 0;
}
