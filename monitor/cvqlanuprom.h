#pragma once
// LAN firmware upgrade: passes over the local subnets that upload the firmware
// image to idle printers of the listed models running an older firmware.

#include "printerlink/vqpoll.h"

#include <QMutex>
#include <QStringList>

#include <atomic>

class QNetworkAccessManager;

// Background mode: a pass with 2 workers every 10 s until the stop signal.
// One pass (set onePass before start): 8 workers, then the thread ends.
class CvqLanUpRomTrd : public CvqTrd
{
    Q_OBJECT
public:
    explicit CvqLanUpRomTrd(QObject* parent = nullptr) : CvqTrd(parent) {}

    bool onePass = false;

    // Set when run() has ended; polled from the GUI thread.
    bool vqFinished() const { return finished.load(); }
    // Addresses of the current pass, and those no worker has taken yet.
    int vqTotal();
    int vqPendingCount();

protected:
    void run() override;

private:
    void vqPass(int workers);

    std::atomic<bool> finished{false};
    int total = 0;
    QMutex mutex;
    QStringList pending;
};

// One worker: takes addresses from the owner's list until none is left.
class CvqLanUpRomSlaveTrd : public CvqTrd
{
    Q_OBJECT
public:
    CvqLanUpRomSlaveTrd(int index, QStringList* pending, QMutex* mutex)
        : CvqTrd(nullptr), index(index), pending(pending), mutex(mutex)
    {
    }

    // The checks and the upload for one address; nam as for vqUpRomGet.
    void vqRunOneIp(const QString& ip, QNetworkAccessManager* nam = nullptr);

protected:
    void run() override;

private:
    int index;
    QStringList* pending;
    QMutex* mutex;
};

// GET http://<ip><path> on the configured port: the body up to its first 0
// byte, not trimmed; empty on any failure, a non-2xx answer or a body over 64 KiB.
// nam: the caller's manager (see vqHttpFetch), or null for one of its own.
QString vqUpRomGet(const QString& ip, const QString& path, int timeoutMs, QNetworkAccessManager* nam = nullptr);

// What one device's answers decide, in the order they are asked.
enum class CvqUpRomVerdict { NoSnapshot, OtherType, RomCurrent, PrinterBusy, EquipBusy, ScannerBusy, Upload };
// The identification answer names a printer.
bool vqUpRomIsPrinter(const QString& id);
// The snapshot answer: the JSON object between its first '{' and last '}'.
struct CvqUpRomSnap
{
    CvqUpRomVerdict verdict = CvqUpRomVerdict::NoSnapshot;  // Upload: the job states decide
    QString type;
    QString romver;
    int pa = 0;
};
CvqUpRomSnap vqUpRomReadSnap(const QString& snap);
// The job states answer: EquipBusy, ScannerBusy or Upload.
CvqUpRomVerdict vqUpRomJobsVerdict(const QString& jobs);

// Posts the firmware image to http://<ip>/uprom; a missing image sends
// nothing. True when the printer answered the post with 2xx.
bool vqUpRomUpload(const QString& ip);
// The installed image when it exists, else "1.RM" in appDir; empty when neither does.
QString vqUpRomFirmwarePath(const QString& fixedPath, const QString& appDir);
// One tick of the progress bar: the maximum first, the value follows on the next tick.
void vqUpRomTick(int total, int pending, int& maximum, int& value);
