// Status texts, the fault list, the language manager, the compiled catalogues and the
// hourly log-file writer.
#include "cvqlangmgr.h"
#include "vqtestsupport.h"
#include "vqtexts.h"

#include <QResource>
#include <QTranslator>
#include <QtTest>

namespace {
constexpr int bit(int n) { return int(1u << n); }
const int kJam = bit(10);
const int kNoPaper = bit(8);
QString u(const char* s) { return QString::fromUtf8(s); }

// Samples each catalogue must translate exactly: context and Chinese source.
const char* const kSamples[][2] = {
    {"Device Status", "正在预热.."}, {"Error Code", "纸盒1卡纸"}, {"FvqMain", "连接状态:"}, {"FvqMain", "已连接 "}};
// The program's one log folder under root, its name free of path separators.
QString logFolder(const QString& root)
{
    const QStringList dirs = QDir(root).entryList({"vqlogs_*"}, QDir::Dirs);
    return dirs.size() == 1 ? root + '/' + dirs.first() : QString();
}
QDateTime at(const QString& stamp) { return QDateTime::fromString(stamp, "yyyy-MM-dd hh:mm:ss"); }
}

class TstTexts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { vqInitResources(); }

    // The listed faults' texts in display order | the text of the code and source
    // itself (its location's, else the unsplit one; none for several bits).
    void faults_data()
    {
        // clang-format off
        QTest::addColumn<int>("pex");
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("texts");
        QTest::newRow("jam 0x04: tray 1 without the area bit") << kJam << 0x04 << u("卡纸|纸盒1卡纸");
        QTest::newRow("jam 0xE0: drum, fuser, duplex") << kJam << 0xE0 << u("硒鼓位置卡纸,定影器卡纸,双面器卡纸|卡纸");
        QTest::newRow("out of paper 0x0E") << kNoPaper << 0x0E << u("多用途纸盒缺纸,纸盒1缺纸,纸盒2缺纸|缺纸");
        QTest::newRow("tray area alone, in display order") << (bit(11) | kNoPaper | kJam | bit(16)) << 0x10 << u("数据传输错误,纸盒卡纸,缺纸,机盖未关|");
        QTest::newRow("unlisted: severe") << bit(23) << 0 << u("|打印机严重错误");
        QTest::newRow("unlisted bits only") << (bit(0) | bit(4) | bit(23)) << 0xFF << QString("|");
        // clang-format on
    }
    void faults()
    {
        QFETCH(int, pex);
        QFETCH(int, source);
        QStringList listed;
        for (const CvqFaultItem& f : vqFaultList(pex, source))
            listed << u(vqFaultText(f));
        QTEST(listed.join(',') + '|' + u(vqFaultText(pex, source)), "texts");
    }

    // Each compiled catalogue translates every text the tables hold, and the samples exactly.
    void catalogue_data()
    {
        // clang-format off
        QTest::addColumn<QString>("qm");
        QTest::addColumn<QStringList>("samples");
        QTest::newRow("Chinese") << ":/translate/zh_CN.qm" << QStringList{u("正在预热.."), u("纸盒1卡纸"), u("连接状态："), u("已连接")};
        QTest::newRow("English") << ":/translate/en_US.qm" << QStringList{"Preheating..", "Tray 1 jam", "Connection Status:", "Connected"};
        QTest::newRow("Russian") << ":/translate/ru_RU.qm" << QStringList{u("Прогрев.."), u("Лоток 1 зам."), u("Статус подкл.:"), u("Подключено")};
        // clang-format on
    }
    void catalogue()
    {
        QFETCH(QString, qm);
        QCOMPARE(QResource(qm).compressionAlgorithm(), QResource::NoCompression);
        QTranslator t;
        QVERIFY(t.load(qm));
        QStringList missing;
        auto need = [&](const char* context, const char* source) {
            if (t.translate(context, source).isEmpty())
                missing << u(source);
        };
        for (int pa = 0; pa < 8; ++pa)
            need("Device Status", vqStatusText(pa));
        int texts = 0;
        for (int n = 0; n < 32; ++n)
            for (int source = 0; source < 256; source = source ? source << 1 : 1)
                if (*vqFaultText(bit(n), source)) {
                    need("Error Code", vqFaultText(bit(n), source));
                    ++texts;
                }
        QVERIFY(texts > 31);  // the table is there
        QCOMPARE(missing, QStringList());
        QStringList translated;
        for (const auto& sample : kSamples)
            translated << t.translate(sample[0], sample[1]);
        QTEST(translated, "samples");
        // The firmware notice has no translation: it stays in Chinese.
        QVERIFY(t.translate("FvqMain", "打印机存在重要固件升级").isEmpty());
    }

    // Offered, locale, what to switch to (null: stay) -> the current language and its word for idle.
    void language_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("switchTo");
        QTest::addColumn<QString>("current");
        const QStringList all = {u("简中"), "English", u("Русский")};
        const QStringList englishFirst = {"English", u("简中")};
        QTest::newRow("English locale") << all << "en_US" << QString() << "English Idle";
        QTest::newRow("English first, other locale") << englishFirst << "fr_FR" << QString() << "English Idle";
        QTest::newRow("only Chinese, English locale") << QStringList{u("简中")} << "en_US" << QString() << u("简中 空闲");
        QTest::newRow("switch to English") << all << "de_DE" << "English" << "English Idle";
        QTest::newRow("switch to one not offered") << englishFirst << "zh_CN" << u("Русский") << "English Idle";
        QTest::newRow("switch, case differs") << all << "ru_RU" << "english" << u("简中 空闲");
        // clang-format on
    }
    void language()
    {
        QFETCH(QStringList, offered);
        QFETCH(QString, locale);
        QFETCH(QString, switchTo);
        CvqLangMgr mgr(offered, locale);
        const QString switched = switchTo.isNull() ? mgr.currentName() : mgr.switchTo(switchTo);
        QCOMPARE(switched, mgr.currentName());
        QTEST(switched + ' ' + vqStatusTextTr(0), "current");
    }

    // Messages "yyyy-MM-dd hh:mm:ss text" -> files "relative path|content".
    void logLines_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("new hour and month") << QStringList{"2026-01-31 23:59:59 a", "2026-02-01 00:00:00 b"} << QStringList{"2026-01/2026-01-31-23.log|[2026-01-31 23:59:59] a\n", "2026-02/2026-02-01-00.log|[2026-02-01 00:00:00] b\n"};
        QTest::newRow("appends") << QStringList{"2026-03-04 10:00:01 a", "2026-03-04 10:59:59 b"} << QStringList{"2026-03/2026-03-04-10.log|[2026-03-04 10:00:01] a\n[2026-03-04 10:59:59] b\n"};
        QTest::newRow("non-ASCII") << QStringList{QString::fromUtf8("2026-03-04 10:00:00 打印")} << QStringList{QString::fromUtf8("2026-03/2026-03-04-10.log|[2026-03-04 10:00:00] 打印\n")};
        // clang-format on
    }
    void logLines()
    {
        QFETCH(QStringList, messages);
        QFETCH(QStringList, files);
        QTemporaryDir root;
        CvqWarningGuard warnings;
        for (const QString& m : messages)
            vqWriteLogAt(m.mid(20), at(m.left(19)), root.path());
        for (const QString& f : files) {
            const QString text = QString::fromUtf8(vqReadFile(logFolder(root.path()) + '/' + f.section('|', 0, 0)));
            QCOMPARE(QString(text).replace("\r\n", "\n"), f.section('|', 1));  // Windows writes text mode
        }
        QCOMPARE(warnings.take(), QStringList());
    }

    void logUnwritableRoot()
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

    // The live writer logs under the temporary location (last: it moves TMPDIR).
    void logProgramFolder()
    {
        QTemporaryDir tmp;
        for (const char* name : {"TMPDIR", "TEMP", "TMP"})  // TEMP and TMP: Windows
            qputenv(name, QDir::toNativeSeparators(tmp.path()).toLocal8Bit());
        vqWriteLog("now");
        const QString dir = logFolder(tmp.path());
        QVERIFY2(!dir.isEmpty(), qPrintable(tmp.path()));
        QCOMPARE(QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }
};

VQ_TEST_GUILESS_MAIN(TstTexts)
#include "tst_texts.moc"
