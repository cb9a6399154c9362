#pragma once
// One scan from the PC: the parameter record, their validation, the printer's
// job state and scanner probe, and the scan itself over a CvqComm.

#include "vqcomm.h"
#include "vqscanpages.h"

#include <QString>
#include <functional>

class QDebug;

// A new record has all numbers 0 and all texts empty.
struct CvqScanParams
{
    int vqScannerHostTp = 0;  // 1: over HTTP, 2: over USB
    QString vqScannerHost;    // network address or serial port name
    QString taskId;
    int inputMode = 0;         // 128, 0 or 1
    int colorMode = 0;         // 0 or 1
    int dpiMode = 0;           // 0 or 1
    QString saveToFileFormat;  // jpg, jpeg, png, tif, tiff in any case
    QString scanPaperSizeTypeEngName;
    QString vqOutDir;  // local directory of the pages
};
QDebug operator<<(QDebug d, const CvqScanParams& p);

// Printer-side names of the scan (the job state's command: vqscanpages.h).
extern const QString vqScanProbeCmd;
extern const QString vqScanTryCmd;
extern const QString vqScanRunCmd;
extern const QString vqScanJobDirPrefix;  // "/tmp/vqkeltoscans/"

// Result codes of vqDoScan besides the scanner's own 0 to 8.
enum : int {
    vqScanInitFailed = 12,
    vqScanBusy = 241,
    vqScanCommError = 249,
    vqScanStoreError = 252,
    vqScanParamError = 254,
    vqScanSystemError = -1,
};

// The image types a scan stores: jpg, jpeg, png, tif, tiff, in any case.
bool vqScanFormatOk(const QString& format);

class CvqDoScan
{
public:
    // The front end's yes/no question box for the validation; true for Yes.
    using Ask = std::function<bool(const QString& title, const QString& text)>;

    CvqScanBounds vqBounds;

    // taskId = "scan" + milliseconds since 1970 (UTC).
    static void vqNewTaskId(CvqScanParams& p);
    // The nine checks in order, then the output directory (asked before it
    // is created). The question is asked on the GUI thread only; elsewhere,
    // or without ask, it counts as No.
    bool vqCheckParams(const CvqScanParams& p, const Ask& ask, QString& err) const;
    // One job on the printer named by the parameters; a result code, with
    // its text in err (empty for 0).
    int vqDoScan(const CvqScanParams& p, QString& err) const;
    // The same on a given connection. Its pauses end at the program's close (vqQuitAll), as 249.
    int vqScanOn(CvqComm& comm, const CvqScanParams& p, QString& err) const;

    // 0 "ok", 1 "err", -1 anything else or a failed command.
    static int vqProbeScanner(CvqComm& comm);

    // " taskId=… isOutParted=1", to append to the try and run commands.
    static QString vqParamString(const CvqScanParams& p, const QString& base);
    // The text shown for a result code (empty for 0 and unknown codes).
    static QString vqResultText(int code);
};
