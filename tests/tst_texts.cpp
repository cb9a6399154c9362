// Status texts, the fault list, the language manager and the compiled catalogues.
#include "cvqlangmgr.h"
#include "vqtestsupport.h"
#include "vqtexts.h"

#include <QCoreApplication>
#include <QResource>
#include <QTranslator>
#include <QtTest>

Q_DECLARE_METATYPE(QList<CvqFaultItem>)

namespace {
constexpr int bit(int n) { return int(1u << n); }
const int kJam = bit(10);
const int kNoPaper = bit(8);
QString u(const char* s) { return QString::fromUtf8(s); }

// Samples each catalogue must translate exactly: context and Chinese source.
const char* const kSamples[][2] = {
    {"Device Status", "正在预热.."}, {"Error Code", "纸盒1卡纸"}, {"FvqMain", "连接状态:"}, {"FvqMain", "已连接 "}};
}

class TstTexts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { vqInitResources(); }

    void faultList_data()
    {
        // clang-format off
        using L = QList<CvqFaultItem>;
        QTest::addColumn<int>("pex");
        QTest::addColumn<int>("source");
        QTest::addColumn<L>("expected");
        QTest::newRow("jam 0x16: multi-tray and tray 1") << kJam << 0x16 << L{{kJam, 2}, {kJam, 4}};
        QTest::newRow("jam 0x06: no location bit") << kJam << 0x06 << L{{kJam, 0}};
        QTest::newRow("jam 0xE0: drum, fuser, duplex") << kJam << 0xE0 << L{{kJam, 0x20}, {kJam, 0x40}, {kJam, 0x80}};
        QTest::newRow("out of paper 0x0E") << kNoPaper << 0x0E << L{{kNoPaper, 2}, {kNoPaper, 4}, {kNoPaper, 8}};
        QTest::newRow("tray area alone, in display order") << (bit(11) | kNoPaper | kJam | bit(16)) << 0x10
                                                           << L{{bit(16), 0}, {kJam, 0x10}, {kNoPaper, 0}, {bit(11), 0}};
        QTest::newRow("unlisted bits only") << (bit(0) | bit(4) | bit(23)) << 0xFF << L();
        // clang-format on
    }
    void faultList()
    {
        QFETCH(int, pex);
        QFETCH(int, source);
        QTEST(vqFaultList(pex, source), "expected");
    }

    // Location texts, and the unsplit text for sources without one of their own.
    void faultText_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("text");
        QTest::newRow("jam in tray 1") << kJam << 4 << u("纸盒1卡纸");
        QTest::newRow("jam, two sources") << kJam << 6 << u("卡纸");
        QTest::newRow("unlisted: severe") << bit(23) << 0 << u("打印机严重错误");
        QTest::newRow("two bits") << (bit(8) | bit(9)) << 0 << QString();
    }
    void faultText()
    {
        QFETCH(int, code);
        QFETCH(int, source);
        QTEST(u(vqFaultText(code, source)), "text");
    }

    // Each compiled catalogue translates every text the tables hold, and the samples exactly.
    void catalogue_data()
    {
        // clang-format off
        QTest::addColumn<QString>("qm");
        QTest::addColumn<QStringList>("samples");
        QTest::newRow("Chinese") << ":/translate/zh_CN.qm"
                                 << QStringList{u("正在预热.."), u("纸盒1卡纸"), u("连接状态："), u("已连接")};
        QTest::newRow("English") << ":/translate/en_US.qm"
                                 << QStringList{"Preheating..", "Tray 1 jam", "Connection Status:", "Connected"};
        QTest::newRow("Russian") << ":/translate/ru_RU.qm"
                                 << QStringList{u("Прогрев.."), u("Лоток 1 зам."), u("Статус подкл.:"), u("Полключено")};
        // clang-format on
    }
    void catalogue()
    {
        QFETCH(QString, qm);
        QCOMPARE(QResource(qm).compressionAlgorithm(), QResource::NoCompression);
        QTranslator t;
        QVERIFY2(t.load(qm), qPrintable(qm));
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
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(' ')));
        QVERIFY(texts > 31);  // the table is there
        QStringList translated;
        for (const auto& sample : kSamples)
            translated << t.translate(sample[0], sample[1]);
        QTEST(translated, "samples");
        // The firmware notice has no translation: it stays in Chinese.
        QVERIFY(t.translate("FvqMain", "打印机存在重要固件升级").isEmpty());
    }

    void language_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("switchTo");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("idle");
        const QStringList all = {u("简中"), "English", u("Русский")};
        const QStringList englishFirst = {"English", u("简中")};
        QTest::newRow("English locale") << all << "en_US" << QString() << "English" << "Idle";
        QTest::newRow("English first, other locale") << englishFirst << "fr_FR" << QString() << "English" << "Idle";
        QTest::newRow("only Chinese, English locale") << QStringList{u("简中")} << "en_US" << QString() << u("简中") << u("空闲");
        QTest::newRow("switch to English") << all << "de_DE" << "English" << "English" << "Idle";
        QTest::newRow("switch to one not offered") << englishFirst << "zh_CN" << u("Русский") << "English" << "Idle";
        QTest::newRow("switch, case differs") << all << "ru_RU" << "english" << u("简中") << u("空闲");
        // clang-format on
    }
    void language()
    {
        QFETCH(QStringList, offered);
        QFETCH(QString, locale);
        QFETCH(QString, switchTo);
        CvqLangMgr mgr(offered, locale);
        if (!switchTo.isNull())
            QTEST(mgr.switchTo(switchTo), "current");
        QTEST(mgr.currentName(), "current");
        QCOMPARE(mgr.offeredNames(), offered);
        QTEST(vqStatusTextTr(0), "idle");
    }
};

VQ_TEST_GUILESS_MAIN(TstTexts)
#include "tst_texts.moc"
