// The hourly log-file writer.
#include "vqtestsupport.h"

#include <QtTest>

class TstLog : public QObject
{
    Q_OBJECT

    // The program's one log folder under root, its name free of path separators.
    static QString folder(const QString& root)
    {
        const QStringList dirs = QDir(root).entryList({"vqlogs_*"}, QDir::Dirs);
        return dirs.size() == 1 ? root + '/' + dirs.first() : QString();
    }
    static QDateTime at(const QString& stamp) { return QDateTime::fromString(stamp, "yyyy-MM-dd hh:mm:ss"); }

private slots:
    // Messages "yyyy-MM-dd hh:mm:ss text" -> files "relative path|content".
    void lines_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("new hour and month") << QStringList{"2026-01-31 23:59:59 a", "2026-02-01 00:00:00 b"} << QStringList{"2026-01/2026-01-31-23.log|[2026-01-31 23:59:59] a\n", "2026-02/2026-02-01-00.log|[2026-02-01 00:00:00] b\n"};
        QTest::newRow("appends") << QStringList{"2026-03-04 10:00:01 a", "2026-03-04 10:59:59 b"} << QStringList{"2026-03/2026-03-04-10.log|[2026-03-04 10:00:01] a\n[2026-03-04 10:59:59] b\n"};
        QTest::newRow("non-ASCII") << QStringList{QString::fromUtf8("2026-03-04 10:00:00 打印")} << QStringList{QString::fromUtf8("2026-03/2026-03-04-10.log|[2026-03-04 10:00:00] 打印\n")};
        // clang-format on
    }
    void lines()
    {
        QFETCH(QStringList, messages);
        QFETCH(QStringList, files);
        QTemporaryDir root;
        CvqWarningGuard warnings;
        for (const QString& m : messages)
            vqWriteLogAt(m.mid(20), at(m.left(19)), root.path());
        for (const QString& f : files) {
            const QString text = QString::fromUtf8(vqReadFile(folder(root.path()) + '/' + f.section('|', 0, 0)));
            QCOMPARE(QString(text).replace("\r\n", "\n"), f.section('|', 1));  // Windows writes text mode
        }
        QCOMPARE(warnings.take(), QStringList());
    }

    void unwritableRoot()
    {
        QTemporaryDir root;
        const QString blocker = root.path() + "/file";  // a file where a folder must go
        QVERIFY(CvqSimTree::vqWriteFileAtomic(blocker, "x"));
        CvqWarningGuard warnings;
        vqWriteLogAt("lost", at("2026-03-04 10:00:00"), blocker);
        const QStringList w = warnings.take();
        QVERIFY2(w.size() == 1 && w.first().startsWith(QString::fromUtf8("无法创建目录：") + blocker + '/'),
                 qPrintable(w.join('\n')));
    }

    // The live writer logs under the temporary location.
    void programFolder()
    {
        QTemporaryDir tmp;
        for (const char* name : {"TMPDIR", "TEMP", "TMP"})  // TEMP and TMP: Windows
            qputenv(name, QDir::toNativeSeparators(tmp.path()).toLocal8Bit());
        vqWriteLog("now");
        const QString dir = folder(tmp.path());
        QVERIFY2(!dir.isEmpty(), qPrintable(tmp.path()));
        QCOMPARE(QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }
};

VQ_TEST_GUILESS_MAIN(TstLog)
#include "tst_log.moc"
