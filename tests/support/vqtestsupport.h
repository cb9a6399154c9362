#pragma once
// Shared test helpers: an in-memory host, a simulated host tree, message captures, a strict test main.

#include "printerlink/host/vqwinqueue.h"
#include "printerlink/printerlink.h"
#include "printerlink/vqseams.h"
#include "vqsimtree.h"

#include <QMap>
#include <QtTest>
#include <QTemporaryDir>
#include <memory>
#include <type_traits>

// In-memory host: every fact the OS would report, set directly by the test.
class CvqFakeHost : public CvqHost, public CvqRegistryView
{
public:
    EnumResult enumResult = EnumOk;
    QStringList instanceIds;
    QMap<QString, QByteArray> replies;   // instance id -> reply (none: the open fails)
    QMap<QString, QString> ports;        // queue -> Port
    QMap<QString, quint32> attributes;   // queue -> Attributes
    QStringList queueOrder, classKeys;   // queue names as listed, DeviceClasses subkeys
    QMap<QString, quint32> portNumbers;  // key -> Port Number
    QMap<QByteArray, int> jobs;          // queue -> -1 / 0 / 1
    QList<CvqSerialPortEntry> serialPorts;
    QStringList shown;  // queues whose printer window was asked for

    // A bound queue for a device, in one step.
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
    CvqTempSimHost() : mTree(new CvqSimTree(mDir.path())), mOldEnv(qgetenv("VQ_SIM_HOST"))
    {
        qputenv("VQ_SIM_HOST", mDir.path().toLocal8Bit());
    }
    ~CvqTempSimHost() { mOldEnv.isNull() ? qunsetenv("VQ_SIM_HOST") : qputenv("VQ_SIM_HOST", mOldEnv); }
    CvqSimTree& tree() { return *mTree; }
    QString root() const { return mDir.path(); }
    // A supported printer: device, identification text, bound queue and port. Returns the instance id.
    QString addPrinter(int index);

private:
    QTemporaryDir mDir;
    std::unique_ptr<CvqSimTree> mTree;
    QByteArray mOldEnv;  // null when it was unset
};

// Collects Qt messages of one kind while it lives: warnings (and criticals), or debug lines.
void vqCaptureDepth(int kind, int delta);
QStringList vqCaptured(int kind, bool take);
template <int Kind> class CvqCapture
{
public:
    CvqCapture() { vqCaptureDepth(Kind, 1); }
    ~CvqCapture() { vqCaptureDepth(Kind, -1); }
    QStringList lines() const { return vqCaptured(Kind, false); }
    QStringList take() { return vqCaptured(Kind, true); }  // the lines so far, emptied
};
using CvqWarningGuard = CvqCapture<0>;
using CvqDebugCapture = CvqCapture<1>;

// A file's bytes, or "<missing>".
QByteArray vqReadFile(const QString& path);

// Runs a test object as QtTest does; a warning no capture takes and no fragment allows fails the
// test function it comes in, elsewhere (other threads) the program.
int vqRunTests(QObject* test, int argc, char** argv);
// Warnings containing one of these fragments are expected for the whole program.
void vqAllowWarnings(const QStringList& fragments);

// The main of a test program that needs widgets, and of one that does not.
#define VQ_MAIN_(App, TestObject, ...)                                                                                 \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        App app(argc, argv);                                                                                           \
        __VA_ARGS__;                                                                                                   \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return vqRunTests(&tc, argc, argv);                                                                            \
    }
#define VQ_TEST_MAIN(TestObject) VQ_MAIN_(QApplication, TestObject, app.setAttribute(Qt::AA_Use96Dpi, true))
#define VQ_TEST_GUILESS_MAIN(TestObject) VQ_MAIN_(QCoreApplication, TestObject, )

// The bits set in a fault word by their names in the library's enum, "TonerOut DrumLow"; an activity's name.
QString vqFaultNames(int pex);
QString vqActivityName(int pa);

// Text over 100 characters as its length and 60 characters from a little before `at`.
QString vqCut(const QString& text, int at = 0);

// One case's fields, got against wanted (by default the current row's column of that name): VQ_FIELDS
// fails with a line for each that differs, "toner 5 instead of 6" (QtTest names the case).
class CvqFields
{
public:
    template <class T> CvqFields& operator()(const char* column, const T& got)
    {
        return (*this)(QString(column), got, *static_cast<const T*>(QTest::qData(column, qMetaTypeId<T>())));
    }
    template <class T> CvqFields& operator()(const QString& field, const T& got, const std::common_type_t<T>& want)
    {
        if (got == want)
            return *this;
        QString g, w;
        QDebug(&g).nospace() << got;
        QDebug(&w).nospace() << want;
        int at = 0;  // where they part
        while (at < g.size() && at < w.size() && g.at(at) == w.at(at))
            ++at;
        mDiffs << field + ' ' + vqCut(g, at) + " instead of " + vqCut(w, at);
        return *this;
    }
    // Fields named in order, as parallel lists.
    CvqFields& operator()(const QStringList& names, const QStringList& got, const QStringList& want)
    {
        for (int i = 0; i < names.size(); ++i)
            (*this)(names.at(i), got.value(i), want.value(i));
        return *this;
    }
    QString report() const { return mDiffs.join('\n'); }

private:
    QStringList mDiffs;
};
// clang-format off
#define VQ_FIELDS(fields) do { const QString d_ = (fields).report(); if (!d_.isEmpty()) QFAIL(qPrintable(d_)); } while (false)
// clang-format on

// Fails the current test unless the emulator answers the control line with "ok".
template <class Client> QString vqSimNotOk(Client&& client, const QString& line)
{
    const QStringList reply = client.vqCmd(line);
    return !reply.isEmpty() && reply.last().startsWith(QLatin1String("ok")) ? QString() : line + ": " + reply.join('|');
}
#define VQ_SIM_OK(client, line) QCOMPARE(vqSimNotOk((client), (line)), QString())
