#pragma once
// Scan to PC: a scan started at the printer's panel arrives as page files in
// a new folder on the user's desktop, fetched over the printer's serial link.

#include "printerlink/vqpoll.h"

#include <QDateTime>

// How one pass ended.
enum class CvqScanToPcEnd { NoRequest, BadRequest, NoFolder, JobEnded };

extern const QString vqScanToPcReqFile;    // "/tmp/vqscantopc.req.txt"
extern const QString vqScanToPcImageBase;  // "/tmp/vqstdscans/pic"
// Of a request file, the bytes read; a larger one is deleted and refused.
constexpr int vqScanToPcReqLimit = 4096;

// "<display name> yyyy-MM-dd hh-mm-ss" with the characters a folder name
// cannot hold (\ / : * ? " < > |, controls) as "_".
QString vqScanToPcFolderName(const QString& displayName, const QDateTime& when);
// Creates desktop/name (one level), or reuses it when empty; a folder that
// already holds files, or a link, is left alone for "name (2)", "name (3)", …
// Empty on failure.
QString vqScanToPcFolder(const QString& desktop, const QString& name);

// One pass on a printer's port; its pauses end at a stop (vqWaitQuit).
CvqScanToPcEnd vqScanToPcPass(const QString& port, const QString& displayName);

class CvqScanToPcTrd : public CvqTrd
{
public:
    explicit CvqScanToPcTrd(QObject* parent = nullptr) : CvqTrd(parent) {}

protected:
    void run() override;
};
