// Fuzz target: the link's receive loop, one exchange over a printer that sends
// the input in pieces (raw bytes and answers shaped by the request, see
// vqfuzzlink.h) until it falls silent.
#include "vqfuzzinput.h"
#include "vqfuzzlink.h"

VQ_FUZZ_TARGET(bytes)
{
    CvqScriptedLink link(bytes);
    for (int i = 0; i < 4; ++i) {
        CvqComMsg req(vqMsgHasFile), resp;
        req.vqAppendStr(QStringLiteral("/tmp/x"));
        VQ_FUZZ_REQUIRE(!link.vqExchange(req, 5, resp) || (resp.vqMsgId == req.vqMsgId && resp.vqIsResponse()));
    }
}
