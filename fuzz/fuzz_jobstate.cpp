// Fuzz target: the printer's job state as a scan reads it, over a scripted
// printer (see vqfuzzlink.h) and as the web server's body of the same command.
#include "vqfuzzinput.h"
#include "vqfuzzlink.h"

#include "printerlink/vqscan.h"

VQ_FUZZ_TARGET(bytes)
{
    CvqScriptedLink link(bytes);
    CvqCommOfUsb usb(link);
    for (int state : {vqReadScanJobState(usb), vqParseScanJobState(CvqCommOfHttp::vqBodyText(bytes))})
        VQ_FUZZ_REQUIRE(state >= -1 && state <= 12 && state != 9);
}
