// Fuzz target: every link operation reading its replies from a scripted printer
// (see vqfuzzlink.h); each runs until the script falls silent.
#include "vqfuzzinput.h"
#include "vqfuzzlink.h"

VQ_FUZZ_TARGET(script)
{
    CvqScriptedLink link(script);
    link.vqSetGetLimit(64 * 1024);
    quint8 status = 0;
    QString err, text;
    QByteArray bytes;
    link.vqTestLink();
    link.vqTestBulk();
    link.vqLinkPut(QStringLiteral("/tmp/up"), QByteArray(2500, 'u'), status, err);
    link.vqLinkGet(QStringLiteral("/tmp/down"), bytes, status, err);
    VQ_FUZZ_REQUIRE(bytes.size() <= 64 * 1024);
    link.vqLinkGetText(QStringLiteral("/tmp/text"), text, status, err);
    link.vqLinkHas(QStringLiteral("/tmp/has"), status, err);
    link.vqLinkDel(QStringLiteral("/tmp/del"), status, err);
    link.vqLinkExe(QStringLiteral("ls /"), text, status, err, 5);
    link.vqLinkExeAlong(QStringLiteral("run"), status, err);
}
