// The Windows host against a real registry (a Wine prefix with code page 936, filled by
// tests/wine/registry.sh): queue names in Chinese come back intact and find their device.
// A serial port that cannot be opened is logged with the system's own text. The printer
// window's command is seen by the program it starts: a recorder of ours stands in for the
// system folder's rundll32.exe meanwhile.
#include "printerlink/printerlink.h"
#include "vqtestsupport.h"

#include <windows.h>

// Puts a program in place of another while it lives, then the original back (also when a
// check fails; a run that died leaves it aside, and the next one puts it back first). Wine
// runs its own build of a system folder's program unless told to take the file there: told by
// the registry, read at each start (WINEDLLOVERRIDES is read once, when this test starts).
class CvqStandIn
{
public:
    CvqStandIn(const QString& target, const QString& standIn)
        : m_target(target), m_saved(target + ".vqsaved"), m_record(target.chopped(4) + ".cmdline")
    {
        restore();
        m_overrides.setValue(QFileInfo(target).fileName(), "native");
        m_overrides.sync();
        if (!QFile::rename(m_target, m_saved))
            m_error = "cannot move aside " + m_target;
        else if (!QFile::copy(standIn, m_target))
            m_error = "cannot copy " + standIn + " to " + m_target;
    }
    ~CvqStandIn()
    {
        restore();
        m_overrides.remove(QFileInfo(m_target).fileName());
    }
    QString error() const { return m_error; }
    QString record() const { return m_record; }

private:
    void restore()
    {
        QFile::remove(m_record);
        if (QFile::exists(m_saved) && (!QFile::exists(m_target) || QFile::remove(m_target)))
            QFile::rename(m_saved, m_target);
    }
    QString m_target, m_saved, m_record, m_error;
    QSettings m_overrides{"HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides", QSettings::NativeFormat};
};

class TstWinHost : public QObject
{
    Q_OBJECT
private slots:
    void queues()
    {
        const QString ascii = "USB\\VID_1A2B&PID_0101\\QV0001", chinese = "USB\\VID_1A2B&PID_0102\\QV0002";
        const QString office = QString::fromUtf8("办公室");
        // The third device has no key: no entry.
        QCOMPARE(vqGetUsbPrinterQueues({ascii, chinese, "USB\\VID_1A2B&PID_0103\\QV0003"}),
                 (QMap<QString, QString>{{ascii, "Office P1"}, {chinese, office}}));
        // A queue the spooler does not know cannot be opened.
        QVERIFY(!vqHasPrintJob(office.toLocal8Bit().constData()));
    }
    void printerWindow_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::newRow("ASCII name") << "Office P1";
        QTest::newRow("Chinese name") << QString::fromUtf8("办公室");
    }
    void printerWindow()
    {
        QFETCH(QString, queue);
        wchar_t dir[MAX_PATH];
        const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
        QVERIFY2(n > 0 && n < MAX_PATH, "the system folder is unknown");
        const QString program = QString::fromWCharArray(dir, int(n)) + "\\rundll32.exe";
        CvqStandIn standIn(program, QCoreApplication::applicationDirPath() + "/vqcmdrecorder.exe");
        QVERIFY2(standIn.error().isEmpty(), qPrintable(standIn.error()));
        vqShowPrinterQueue(queue);
        QFile record(standIn.record());
        QTRY_VERIFY2_WITH_TIMEOUT(record.exists(), "the stand-in wrote no command line within 30 s", 30000);
        QVERIFY2(record.open(QIODevice::ReadOnly), qPrintable(record.errorString()));
        const QByteArray bytes = record.readAll();
        const QString commandLine =
            QString::fromUtf16(reinterpret_cast<const ushort*>(bytes.constData()), bytes.size() / 2);
        // The program by its full path in the system folder, then the documented arguments.
        QCOMPARE(commandLine, '"' + program + "\" printui.dll,PrintUIEntry /n \"" + queue + "\" /p");
    }
    void portOpenFailure_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("logged");  // Wine's texts in the prefix's Chinese
        QTest::newRow("no such port") << "COM199"
                                      << "找不到文件。";
        QTest::newRow("a folder, not a port") << "\\\\.\\C:\\windows"
                                              << "访问被拒绝。";
    }
    void portOpenFailure()
    {
        QFETCH(QString, port);
        QFETCH(QString, logged);
        CvqDebugCapture debug;
        CvqComLink link(port);
        QVERIFY(!link.open());
        QCOMPARE(debug.lines().join('|'), "Failed to open serial port: " + logged);
    }
};

VQ_TEST_GUILESS_MAIN(TstWinHost)
#include "tst_winhost.moc"
