#pragma once
// Shared test helpers: an in-memory host, a temporary simulated host tree,
// message captures, and the test main that fails on unexpected warnings.

#include "printerlink/host/vqwinqueue.h"
#include "printerlink/printerlink.h"
#include "printerlink/vqseams.h"
#include "vqsimtree.h"

#include <QMap>
#include <QtTest>
#include <QTemporaryDir>
#include <atomic>
#include <memory>

// In-memory host: every fact the OS would report, set directly by the test.
class CvqFakeHost : public CvqHost, public CvqRegistryView
{
public:
    EnumResult enumResult = EnumOk;
    QStringList instanceIds;
    QMap<QString, QByteArray> replies;      // instance id -> reply
    QMap<QString, ReadResult> readResults;  // instance id -> forced failure
    QMap<QString, QString> ports;           // queue -> Port
    QMap<QString, quint32> attributes;      // queue -> Attributes
    QStringList queueOrder;                 // queue names as listed
    QStringList classKeys;                  // DeviceClasses subkeys
    QMap<QString, quint32> portNumbers;     // key -> Port Number
    QMap<QByteArray, int> jobs;             // queue -> -1 / 0 / 1
    QList<CvqSerialPortEntry> serialPorts;
    QStringList shown;  // queues whose printer window was asked for
    // Counted from every thread that polls (core, one-key print, ...).
    std::atomic<int> readCalls{0};

    // Adds a bound queue for a device in one step.
    void addQueue(const QString& queue, const QString& instanceId, quint32 port, quint32 attr = 0x200);

    EnumResult vqListUsbPrinters(QStringList* ids) override;
    ReadResult vqReadIeee1284(const QString& instanceId, QByteArray* reply) override;
    QMap<QString, QString> vqUsbPrinterQueues(const QStringList& ids) override
    {
        return vqFindUsbPrinterQueues(*this, ids);
    }
    int vqQueueHasJobs(const QByteArray& name) override { return jobs.value(name, -1); }
    QList<CvqSerialPortEntry> vqSerialPorts() override { return serialPorts; }
    void vqShowQueue(const QString& queue) override { shown << queue; }

    QStringList vqQueueNames() override { return queueOrder; }
    QString vqQueuePort(const QString& q) override { return ports.value(q); }
    quint32 vqQueueAttributes(const QString& q) override { return attributes.value(q); }
    QStringList vqDeviceClassKeys() override { return classKeys; }
    quint32 vqDevicePortNumber(const QString& key) override { return portNumbers.value(key); }
};

// Installs a host for the lifetime of the scope.
struct CvqHostScope : CvqSeamScope<CvqLinkSeams>
{
    explicit CvqHostScope(CvqHost* h) { (*this)->host = h; }
};

// A fresh simulated host tree, named by VQ_SIM_HOST while this object lives.
class CvqTempSimHost
{
public:
    CvqTempSimHost();
    ~CvqTempSimHost();
    CvqSimTree& tree() { return *mTree; }
    QString root() const { return mDir.path(); }

    // A supported printer: device, identification text, bound queue and port.
    // Returns the instance id.
    QString addPrinter(int index, const CvqStsFields& sts = CvqStsFields(), const QString& sn = QString());

private:
    QTemporaryDir mDir;
    std::unique_ptr<CvqSimTree> mTree;
    QByteArray mOldEnv;
    bool mHadEnv;
};

// Collects Qt messages of one kind while it lives: warnings (and criticals), or debug lines.
class CvqMessageCapture
{
public:
    enum Kind { Warnings, Debug };
    explicit CvqMessageCapture(Kind kind);
    ~CvqMessageCapture();
    QStringList lines() const;
    QStringList take();  // the lines so far, emptied
    // Takes the lines and keeps those that contain none of the allowed fragments.
    QStringList takeUnexpected(const QStringList& allowed = {});

private:
    Kind mKind;
};

struct CvqWarningGuard : CvqMessageCapture
{
    CvqWarningGuard() : CvqMessageCapture(Warnings) {}
};
struct CvqDebugCapture : CvqMessageCapture
{
    CvqDebugCapture() : CvqMessageCapture(Debug) {}
};

// A file's bytes, or "<missing>".
QByteArray vqReadFile(const QString& path);

// Runs a test object as QtTest does, failing on any warning or critical that
// no CvqMessageCapture takes and no allowed fragment matches: in a test
// function it fails that function, elsewhere (other threads) the program.
int vqRunTests(QObject* test, int argc, char** argv);
// Warnings containing one of these fragments are expected for the whole program.
void vqAllowWarnings(const QStringList& fragments);

// The main of a test program that needs widgets, and of one that does not.
#define VQ_TEST_MAIN(TestObject)                                                                                       \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        QApplication app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return vqRunTests(&tc, argc, argv);                                                                            \
    }
#define VQ_TEST_GUILESS_MAIN(TestObject)                                                                               \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        QCoreApplication app(argc, argv);                                                                              \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return vqRunTests(&tc, argc, argv);                                                                            \
    }

// Fails the current test when the capture holds lines other than the allowed ones.
#define VQ_VERIFY_NO_MESSAGES(capture, ...)                                                                            \
    do {                                                                                                               \
        const QStringList vqUnexpected_ = (capture).takeUnexpected({__VA_ARGS__});                                     \
        QVERIFY2(vqUnexpected_.isEmpty(), qPrintable(vqUnexpected_.join('\n')));                                       \
    } while (0)

// Fails the current test unless the emulator answers the control line with "ok".
#define VQ_SIM_OK(client, line)                                                                                        \
    do {                                                                                                               \
        const QString vqLine_ = (line);                                                                                \
        const QStringList vqReply_ = (client).vqCmd(vqLine_);                                                          \
        QVERIFY2(!vqReply_.isEmpty() && vqReply_.last().startsWith(QLatin1String("ok")),                               \
                 qPrintable(vqLine_ + ": " + vqReply_.join('|')));                                                     \
    } while (0)
