// Status texts, fault list and colours, the language manager and the compiled catalogues.
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

const char* const kRed = "background-color:#A80C10;color:#C89C00;";
const char* const kAmber = "background-color:#C89C00;color:#A80C10;";
const char* const kWhite = "background-color:#FFFFFF;color:#A80C10;";
const char* const kBlack = "background-color:#000000;color:#A80C10;";
const char* const kDim = "background-color:#000000;color:#C89C00;";

// A text of the product's tables: what selects it (pa, or pex bit and
// source), the Chinese source, its translations and the badge colours.
struct Text { int n; int source; const char* zh; const char* en; const char* ru; const char* style; };

const QVector<Text> kStatus = {
    {0, 0, "空闲", "Idle", "Ожидание", nullptr},
    {1, 0, "休眠", "Sleeping", "Сон", nullptr},
    {2, 0, "正在预热..", "Preheating..", "Прогрев..", nullptr},
    {3, 0, "正在传输..", "Transferring..", "Передача..", nullptr},
    {4, 0, "正在打印..", "Printing..", "Печать..", nullptr},
    {5, 0, "正在取消..", "Cancelling..", "Отмена..", nullptr},
    {6, 0, "正在打印..", "Printing..", "Печать..", nullptr},
    {7, 0, "正在散热..", "Cooling..", "Охлажд..", nullptr},
};

// In the order vqFaultList tests them.
const QVector<Text> kListed = {
    {16, 0, "数据传输错误", "Data Transfer Error", "Ошибка передачи", kRed},
    {17, 0, "LSU数据错误", "LSU Data Error", "Сбой данных лазера", kRed},
    {10, 2, "多用途纸盒卡纸", "Multi-tray jam", "Мульти-лоток зам.", kRed},
    {10, 4, "纸盒1卡纸", "Tray 1 jam", "Лоток 1 зам.", kRed},
    {10, 8, "纸盒2卡纸", "Tray 2 jam", "Лоток 2 зам.", kRed},
    {10, 16, "纸盒卡纸", "Paper jam", "Замятие", kRed},
    {10, 32, "硒鼓位置卡纸", "Drum jam", "Замятие (карт.)", kRed},
    {10, 64, "定影器卡纸", "Fuser jam", "Замятие печь", kRed},
    {10, 128, "双面器卡纸", "Duplex jam", "Замятие дуплекс", kRed},
    {10, 0, "卡纸", "Paper Jam", "Замятие", kRed},
    {8, 2, "多用途纸盒缺纸", "Multi-tray empty", "Мульти-лоток пуст", kWhite},
    {8, 4, "纸盒1缺纸", "Tray 1 empty", "Лоток 1 пуст", kWhite},
    {8, 8, "纸盒2缺纸", "Tray 2 empty", "Лоток 2 пуст", kWhite},
    {8, 0, "缺纸", "Out of Paper", "Нет бумаги", kWhite},
    {9, 0, "墨粉已用尽", "Toner Depleted", "Тонер закончился", kBlack},
    {30, 0, "硒鼓已用尽", "Drum Exhausted", "Замените drum", kBlack},
    {3, 0, "纸张尺寸不符", "Paper Size Mismatch", "Формат бумаги не соотв.", kAmber},
    {11, 0, "机盖未关", "Cover Open", "Крышка откр.", kRed},
    {27, 0, "硒鼓仓门开", "Drum Door Open", "Крышка открыта", kRed},
    {15, 0, "无墨粉盒", "No Toner Cartridge", "Картридж отсутствует", kAmber},
    {28, 0, "无硒鼓", "No Drum Unit", "Drum отсутствует", kRed},
    {12, 0, "LSU错误", "LSU Error", "Ошибка лазера", kRed},
    {13, 0, "定影器加热错误", "Fixer Heating Error", "Нет нагрева печи", kRed},
    {14, 0, "主电机错误", "Motor Failure", "Отказ мотора", kRed},
    {18, 0, "打印机错误#0801", "Printer Error #0801", "Ошибка печати #0801", kRed},
    {25, 0, "纸盒1空", "Tray 1 Empty", "Лоток 1 пуст", kAmber},
    {2, 0, "纸盒2空", "Tray 2 Empty", "Лоток 2 пуст", kAmber},
    {26, 0, "出纸盒满", "Output Bin Full", "Вых. лоток полон", kAmber},
    {19, 0, "墨粉余量低", "Low Toner", "Тонер закончился", kDim},
    {29, 0, "硒鼓余量低", "Low Drum Level", "Drum изношен", kDim},
    {31, 0, "纸盒2纸量低", "Tray 2 Low Paper", "Лоток 2 мало бумаги", kAmber},
    {1, 0, "纸盒1纸量低", "Tray 1 Low Paper", "Лоток 1 мало бумаги", kAmber},
};

// Texts the list never produces.
const QVector<Text> kUnlisted = {
    {4, 0, "打印数据过大", "Print Data Exceeds", "Прев. данных печати", kAmber},
    {5, 0, "定影器加热曲线异常", "Fixer Heating Curve Abnormal", "Ошибка скорости нагрева", kAmber},
    {6, 0, "定影器其他错误", "Other Fixer Errors", "Проч. ошибка печи", kAmber},
    {7, 0, "加密芯片错误", "Security Chip Error", "Ошибка чипа", kAmber},
    {20, 0, "未设置密码", "No Password Set", "Пароль не уст.", kAmber},
    {21, 0, "取消任务", "Task Cancelled", "Отменено", kAmber},
    {22, 0, "取消任务", "Task Cancelled", "Отменено", kAmber},
    {23, 0, "打印机严重错误", "Severe Printer Error", "Неустранимая ошибка", kAmber},
    {24, 0, "固件错误", "Firmware Error", "Ошибка прошивки", kAmber},
};

// Window texts; zh is what the Chinese catalogue shows when it differs from the source.
struct WindowText { const char* context; const char* source; const char* zh; const char* en; const char* ru; };
const QVector<WindowText> kWindow = {
    {"FvqMain", "设置", nullptr, "Set", "Уст"},
    {"FvqMain", "退出", nullptr, "Exit", "Выход"},
    {"FvqMain", "最小化", nullptr, "Min", "Мин"},
    {"FvqMain", "安全", nullptr, "Safe", "Безопасно"},
    {"FvqMain", "打开", nullptr, "Open", "Откр"},
    {"FvqMain", "连接状态:", "连接状态：", "Connection Status:", "Статус подкл.:"},
    {"FvqMain", "打印机状态:", "打印机状态：", "Printer Status:", "Статус принтера:"},
    {"FvqMain", "已连接 ", "已连接", "Connected", "Полключено"},
    {"FvqMain", "未连接 ", "未连接", "Disconnected", "Отключено"},
    {"FvqMain", "墨粉余量", nullptr, "Toner", "Тонер"},
    {"FvqMain", "打印机故障", nullptr, "Error", "Ошибка"},
    {"FvqMain", "正常", nullptr, "Normal", "Норм."},
    {"FvqMain", "暂无设备连接", nullptr, "No Device Connected", "Нет подключения"},
    {"FvqMyTrayAlert", "确认", nullptr, "OK", "ОК"},
};
}

class TstTexts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { vqInitResources(); }

    void statusText_data()
    {
        QTest::addColumn<int>("pa");
        QTest::addColumn<QString>("text");
        for (const Text& t : kStatus)
            QTest::addRow("pa %d", t.n) << t.n << u(t.zh);
        QTest::newRow("unknown 8") << 8 << QString();
        QTest::newRow("unknown 9") << 9 << QString();
        QTest::newRow("negative") << -1 << QString();
    }
    void statusText()
    {
        QFETCH(int, pa);
        QTEST(u(vqStatusText(pa)), "text");
    }

    void faultList_data()
    {
        using L = QList<CvqFaultItem>;
        QTest::addColumn<int>("pex");
        QTest::addColumn<int>("source");
        QTest::addColumn<L>("expected");
        L all;
        int pex = 0;
        for (const Text& t : kListed)
            if (t.source == 0) {
                all << CvqFaultItem(bit(t.n), 0);
                pex |= bit(t.n);
            }
        QTest::newRow("every listed bit, in order") << pex << 0 << all;
        QTest::newRow("none") << 0 << 0 << L();
        QTest::newRow("source without fault") << 0 << 0xFE << L();
        QTest::newRow("jam 0x16: multi-tray and tray 1") << kJam << 0x16 << L{{kJam, 2}, {kJam, 4}};
        QTest::newRow("jam 0x10: tray unknown") << kJam << 0x10 << L{{kJam, 0x10}};
        QTest::newRow("jam 0x06: no location bit") << kJam << 0x06 << L{{kJam, 0}};
        QTest::newRow("jam 0xE0: drum, fuser, duplex") << kJam << 0xE0 << L{{kJam, 0x20}, {kJam, 0x40}, {kJam, 0x80}};
        QTest::newRow("jam 0x24: tray bit without 0x10") << kJam << 0x24 << L{{kJam, 0x20}};
        QTest::newRow("out of paper 0x0E") << kNoPaper << 0x0E << L{{kNoPaper, 2}, {kNoPaper, 4}, {kNoPaper, 8}};
        QTest::newRow("out of paper 0x30") << kNoPaper << 0x30 << L{{kNoPaper, 0}};
        QTest::newRow("split faults keep their place") << (bit(11) | kNoPaper | kJam | bit(16)) << 0x14
                                                       << L{{bit(16), 0}, {kJam, 4}, {kNoPaper, 4}, {bit(11), 0}};
        QTest::newRow("tray 2 low before tray 1 low") << (bit(31) | bit(1)) << 0 << L{{bit(31), 0}, {bit(1), 0}};
        int unlisted = bit(0);
        for (const Text& t : kUnlisted)
            unlisted |= bit(t.n);
        QTest::newRow("unlisted bits only") << unlisted << 0xFF << L();
    }
    void faultList()
    {
        QFETCH(int, pex);
        QFETCH(int, source);
        QTEST(vqFaultList(pex, source), "expected");
    }

    void faultTextAndStyle_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("style");
        for (const QVector<Text>& table : {kListed, kUnlisted})
            for (const Text& t : table)
                QTest::addRow("bit %d source %d", t.n, t.source) << bit(t.n) << t.source << u(t.zh) << QString(t.style);
        // Unlisted sources fall back to the unsplit text; other codes have none.
        QTest::newRow("jam, unknown source 1") << kJam << 1 << u("卡纸") << QString(kRed);
        QTest::newRow("jam, two sources") << kJam << 6 << u("卡纸") << QString(kRed);
        QTest::newRow("out of paper, source 16") << kNoPaper << 16 << u("缺纸") << QString(kWhite);
        QTest::newRow("cover with a source") << bit(11) << 4 << u("机盖未关") << QString(kRed);
        QTest::newRow("bit 0") << bit(0) << 0 << QString() << QString(kAmber);
        QTest::newRow("zero") << 0 << 0 << QString() << QString(kAmber);
        QTest::newRow("two bits") << (bit(8) | bit(9)) << 0 << QString() << QString(kAmber);
        QTest::newRow("negative") << -5 << 0 << QString() << QString(kAmber);
    }
    void faultTextAndStyle()
    {
        QFETCH(int, code);
        QFETCH(int, source);
        QTEST(u(vqFaultText(code, source)), "text");
        QTEST(vqFaultStyle(code), "style");
    }

    // Every translation of the tables, in each compiled catalogue.
    void catalogue_data()
    {
        QTest::addColumn<QString>("qm");
        QTest::addColumn<int>("column");
        QTest::newRow("Chinese") << ":/translate/zh_CN.qm" << 0;
        QTest::newRow("English") << ":/translate/en_US.qm" << 1;
        QTest::newRow("Russian") << ":/translate/ru_RU.qm" << 2;
    }
    void catalogue()
    {
        QFETCH(QString, qm);
        QFETCH(int, column);
        QCOMPARE(QResource(qm).compressionAlgorithm(), QResource::NoCompression);
        QTranslator t;
        QVERIFY2(t.load(qm), qPrintable(qm));
        QStringList wrong;
        auto check = [&](const char* context, const char* source, const char* zh, const char* en, const char* ru) {
            const QString want = u(column == 0 ? (zh ? zh : source) : column == 1 ? en : ru);
            const QString got = t.translate(context, source);
            if (got != want)
                wrong << QStringLiteral("%1/%2: '%3', not '%4'").arg(context, u(source), got, want);
        };
        for (const Text& r : kStatus)
            check("Device Status", r.zh, nullptr, r.en, r.ru);
        for (const QVector<Text>& table : {kListed, kUnlisted})
            for (const Text& r : table)
                check("Error Code", r.zh, nullptr, r.en, r.ru);
        for (const WindowText& r : kWindow)
            check(r.context, r.source, r.zh, r.en, r.ru);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
        // The firmware notice has no translation: it stays in Chinese.
        QVERIFY(t.translate("FvqMain", "打印机存在重要固件升级").isEmpty());
    }

    // The language at start-up (by locale) and after a switch.
    void language_data()
    {
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("switchTo");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("idle");
        const QStringList all = {u("简中"), "English", u("Русский")};
        const QStringList englishFirst = {"English", u("简中")};
        QTest::newRow("Chinese locale") << all << "zh_CN" << QString() << u("简中") << u("空闲");
        QTest::newRow("English locale") << all << "en_US" << QString() << "English" << "Idle";
        QTest::newRow("Russian locale") << all << "ru_RU" << QString() << u("Русский") << u("Ожидание");
        QTest::newRow("English first, Chinese locale") << englishFirst << "zh_CN" << QString() << u("简中") << u("空闲");
        QTest::newRow("English first, other locale") << englishFirst << "fr_FR" << QString() << "English" << "Idle";
        QTest::newRow("switch to English") << all << "de_DE" << "English" << "English" << "Idle";
        QTest::newRow("switch to Russian") << all << "zh_CN" << u("Русский") << u("Русский") << u("Ожидание");
        QTest::newRow("only Chinese, English locale") << QStringList{u("简中")} << "en_US" << QString() << u("简中")
                                                      << u("空闲");
        QTest::newRow("locale case differs") << all << "en_us" << QString() << u("简中") << u("空闲");
        QTest::newRow("language only") << all << "en" << QString() << u("简中") << u("空闲");
        QTest::newRow("switch to one not offered") << englishFirst << "zh_CN" << u("Русский") << "English" << "Idle";
        QTest::newRow("switch to an unknown name") << QStringList{"English", "Klingon"} << "en_US" << "Klingon"
                                                   << "English" << "Idle";
        QTest::newRow("switch, case differs") << all << "ru_RU" << "english" << u("简中") << u("空闲");
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

    void processWideManager()
    {
        CvqLangMgr* mgr = CvqLangMgr::instance();
        QCOMPARE(CvqLangMgr::instance(), mgr);
        QCOMPARE(mgr->offeredNames(), QStringList{u("简中")});
        // Whatever the system locale, the single offered name is in force.
        QCOMPARE(mgr->currentName(), u("简中"));
        QCOMPARE(mgr->switchTo("English"), u("简中"));
        QCOMPARE(QCoreApplication::translate("FvqMain", "连接状态:"), u("连接状态："));
    }
};

VQ_TEST_GUILESS_MAIN(TstTexts)
#include "tst_texts.moc"
