#pragma once
// One-key print: the printer's key leaves a request file on the printer; the
// monitor answers it with a picture of the PC's screen, printed there.

#include "vqportloop.h"

#include "printerlink/vqpoll.h"

#include <QImage>
#include <functional>

extern const QString vqOneKeyPrintReqFile;   // "/tmp/vqonekeyprint.req.txt"
extern const QString vqOneKeyPrintPageName;  // "vqonekeyprint.rst.png"
extern const QString vqOneKeyPrintCommand;

// How one pass ended.
enum class CvqOneKeyPrintEnd { NoRequest, NotDeleted, NoPage, NotSent, Started, NotStarted };

// One pass on a printer's port (the picture: CvqMonitorSeams::grab when set);
// sent() runs once the screen has left the PC.
CvqOneKeyPrintEnd vqOneKeyPrintPass(const QString& port, const std::function<void()>& sent = {});

// grab() on the GUI thread, which owns the screen; elsewhere this thread waits
// for it, but not past a stop (the GUI thread may be joining this one): a null
// picture then.
QImage vqGrabOnGuiThread(const std::function<QImage()>& grab);

class CvqOneKeyPrintTrd : public CvqTrd
{
    Q_OBJECT
public:
    explicit CvqOneKeyPrintTrd(QObject* parent = nullptr) : CvqTrd(parent) {}

signals:
    // The screen went to this printer (its display name).
    void vqScreenSent(const QString& printer);

protected:
    void run() override;
};
