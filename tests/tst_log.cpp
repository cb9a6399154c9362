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

private slots:
    void lines_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("stamps");  // "yyyy-MM-dd hh:mm:ss" per message
        QTest::addColumn<QStringList>("files");   // "relative path|content"
        QTest::newRow("new hour and month") << QStringList{"a", "b"} << QStringList{"2026-01-31 23:59:59", "2026-02-01 00:00:00"}
                                            << QStringList{"2026-01/2026-01-31-23.log|[2026-01-31 23:59:59] a\n",
                                                           "2026-02/2026-02-01-00.log|[2026-02-01 00:00:00] b\n"};
        QTest::newRow("appends") << QStringList{"a", "b"} << QStringList{"2026-03-04 10:00:01", "2026-03-04 10:59:59"}
                                 << QStringList{"2026-03/2026-03-04-10.log|[2026-03-04 10:00:01] a\n[2026-03-04 10:59:59] b\n"};
        QTest::newRow("non-ASCII") << QStringList{QString::fromUtf8("打印")} << QStringList{"2026-03-04 10:00:00"}
                                   << QStringList{QString::fromUtf8("2026-03/2026-03-04-10.log|[2026-03-04 10:00:00] 打印\n")};
        // clang-format on
    }
    void lines()
    {
        QFETCH(QStringList, messages);
        QFETCH(QStringList, stamps);
        QFETCH(QStringList, files);
        QTemporaryDir root;
        CvqWarningGuard warnings;
        for (int i = 0; i < messages.size(); ++i)
            vqWriteLogAt(messages.at(i), QDateTime::fromString(stamps.at(i), "yyyy-MM-dd hh:mm:ss"), root.path());
        for (const QString& f : files) {
            const QString text = QString::fromUtf8(vqReadFile(folder(root.path()) + '/' + f.section('|', 0, 0)));
            QCOMPARE(QString(text).replace("\r\n", "\n"), f.section('|', 1));  // Windows writes text mode
        }
        QCOMPARE(warnings.take(), QStringList());
    }

    void unwritableRoot()
    {
        QTemporaryDir root;
        const QString blocker = root.path() + "/file";
        QVERIFY(CvqSimTree::vqWriteFileAtomic(blocker, "x"));  // a file where a folder must go
        CvqWarningGuard warnings;
        vqWriteLogAt("lost", QDateTime::fromString("2026-03-04 10:00:00", "yyyy-MM-dd hh:mm:ss"), blocker);
        const QStringList w = warnings.take();
        QCOMPARE(w.size(), 1);
        QVERIFY2(w.first().startsWith(QString::fromUtf8("无法创建目录：") + blocker + '/'), qPrintable(w.first()));
    }

    void programFolder()
    {
        // The live writer logs under the temporary location.
        QTemporaryDir tmp;
        qputenv("TMPDIR", tmp.path().toLocal8Bit());
        qputenv("TEMP", QDir::toNativeSeparators(tmp.path()).toLocal8Bit());  // Windows
        qputenv("TMP", QDir::toNativeSeparators(tmp.path()).toLocal8Bit());
        vqWriteLog("now");
        const QString dir = folder(tmp.path());
        QVERIFY2(!dir.isEmpty(), qPrintable(tmp.path()));
        QCOMPARE(QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }
};

VQ_TEST_GUILESS_MAIN(TstLog)
#include "tst_log.moc"
