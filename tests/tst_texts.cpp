// Status texts, fault list and colours, the language manager and the compiled catalogues.
#include "cvqlangmgr.h"
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

struct Row { const char* context; const char* source; const char* zh; const char* en; const char* ru; };

// The catalogues' contents, written out from the product's text tables.
const Row kCatalogue[] = {
    {"Device Status", "空闲", "空闲", "Idle", "Ожидание"},
    {"Device Status", "休眠", "休眠", "Sleeping", "Сон"},
    {"Device Status", "正在预热..", "正在预热..", "Preheating..", "Прогрев.."},
    {"Device Status", "正在传输..", "正在传输..", "Transferring..", "Передача.."},
    {"Device Status", "正在打印..", "正在打印..", "Printing..", "Печать.."},
    {"Device Status", "正在取消..", "正在取消..", "Cancelling..", "Отмена.."},
    {"Device Status", "正在散热..", "正在散热..", "Cooling..", "Охлажд.."},
    {"Error Code", "数据传输错误", "数据传输错误", "Data Transfer Error", "Ошибка передачи"},
    {"Error Code", "LSU数据错误", "LSU数据错误", "LSU Data Error", "Сбой данных лазера"},
    {"Error Code", "多用途纸盒卡纸", "多用途纸盒卡纸", "Multi-tray jam", "Мульти-лоток зам."},
    {"Error Code", "纸盒1卡纸", "纸盒1卡纸", "Tray 1 jam", "Лоток 1 зам."},
    {"Error Code", "纸盒2卡纸", "纸盒2卡纸", "Tray 2 jam", "Лоток 2 зам."},
    {"Error Code", "纸盒卡纸", "纸盒卡纸", "Paper jam", "Замятие"},
    {"Error Code", "硒鼓位置卡纸", "硒鼓位置卡纸", "Drum jam", "Замятие (карт.)"},
    {"Error Code", "定影器卡纸", "定影器卡纸", "Fuser jam", "Замятие печь"},
    {"Error Code", "双面器卡纸", "双面器卡纸", "Duplex jam", "Замятие дуплекс"},
    {"Error Code", "卡纸", "卡纸", "Paper Jam", "Замятие"},
    {"Error Code", "多用途纸盒缺纸", "多用途纸盒缺纸", "Multi-tray empty", "Мульти-лоток пуст"},
    {"Error Code", "纸盒1缺纸", "纸盒1缺纸", "Tray 1 empty", "Лоток 1 пуст"},
    {"Error Code", "纸盒2缺纸", "纸盒2缺纸", "Tray 2 empty", "Лоток 2 пуст"},
    {"Error Code", "缺纸", "缺纸", "Out of Paper", "Нет бумаги"},
    {"Error Code", "墨粉已用尽", "墨粉已用尽", "Toner Depleted", "Тонер закончился"},
    {"Error Code", "硒鼓已用尽", "硒鼓已用尽", "Drum Exhausted", "Замените drum"},
    {"Error Code", "纸张尺寸不符", "纸张尺寸不符", "Paper Size Mismatch", "Формат бумаги не соотв."},
    {"Error Code", "机盖未关", "机盖未关", "Cover Open", "Крышка откр."},
    {"Error Code", "硒鼓仓门开", "硒鼓仓门开", "Drum Door Open", "Крышка открыта"},
    {"Error Code", "无墨粉盒", "无墨粉盒", "No Toner Cartridge", "Картридж отсутствует"},
    {"Error Code", "无硒鼓", "无硒鼓", "No Drum Unit", "Drum отсутствует"},
    {"Error Code", "LSU错误", "LSU错误", "LSU Error", "Ошибка лазера"},
    {"Error Code", "定影器加热错误", "定影器加热错误", "Fixer Heating Error", "Нет нагрева печи"},
    {"Error Code", "主电机错误", "主电机错误", "Motor Failure", "Отказ мотора"},
    {"Error Code", "打印机错误#0801", "打印机错误#0801", "Printer Error #0801", "Ошибка печати #0801"},
    {"Error Code", "纸盒1空", "纸盒1空", "Tray 1 Empty", "Лоток 1 пуст"},
    {"Error Code", "纸盒2空", "纸盒2空", "Tray 2 Empty", "Лоток 2 пуст"},
    {"Error Code", "出纸盒满", "出纸盒满", "Output Bin Full", "Вых. лоток полон"},
    {"Error Code", "墨粉余量低", "墨粉余量低", "Low Toner", "Тонер закончился"},
    {"Error Code", "硒鼓余量低", "硒鼓余量低", "Low Drum Level", "Drum изношен"},
    {"Error Code", "纸盒2纸量低", "纸盒2纸量低", "Tray 2 Low Paper", "Лоток 2 мало бумаги"},
    {"Error Code", "纸盒1纸量低", "纸盒1纸量低", "Tray 1 Low Paper", "Лоток 1 мало бумаги"},
    {"Error Code", "打印数据过大", "打印数据过大", "Print Data Exceeds", "Прев. данных печати"},
    {"Error Code", "定影器加热曲线异常", "定影器加热曲线异常", "Fixer Heating Curve Abnormal", "Ошибка скорости нагрева"},
    {"Error Code", "定影器其他错误", "定影器其他错误", "Other Fixer Errors", "Проч. ошибка печи"},
    {"Error Code", "加密芯片错误", "加密芯片错误", "Security Chip Error", "Ошибка чипа"},
    {"Error Code", "未设置密码", "未设置密码", "No Password Set", "Пароль не уст."},
    {"Error Code", "取消任务", "取消任务", "Task Cancelled", "Отменено"},
    {"Error Code", "打印机严重错误", "打印机严重错误", "Severe Printer Error", "Неустранимая ошибка"},
    {"Error Code", "固件错误", "固件错误", "Firmware Error", "Ошибка прошивки"},
    {"FvqMain", "设置", "设置", "Set", "Уст"},
    {"FvqMain", "退出", "退出", "Exit", "Выход"},
    {"FvqMain", "最小化", "最小化", "Min", "Мин"},
    {"FvqMain", "安全", "安全", "Safe", "Безопасно"},
    {"FvqMain", "打开", "打开", "Open", "Откр"},
    {"FvqMain", "连接状态:", "连接状态：", "Connection Status:", "Статус подкл.:"},
    {"FvqMain", "打印机状态:", "打印机状态：", "Printer Status:", "Статус принтера:"},
    {"FvqMain", "已连接 ", "已连接", "Connected", "Полключено"},
    {"FvqMain", "未连接 ", "未连接", "Disconnected", "Отключено"},
    {"FvqMain", "墨粉余量", "墨粉余量", "Toner", "Тонер"},
    {"FvqMain", "打印机故障", "打印机故障", "Error", "Ошибка"},
    {"FvqMain", "正常", "正常", "Normal", "Норм."},
    {"FvqMain", "暂无设备连接", "暂无设备连接", "No Device Connected", "Нет подключения"},
    {"FvqMyTrayAlert", "确认", "确认", "OK", "ОК"},
};
}

class TstTexts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { vqInitResources(); }

    void statusText_data();
    void statusText();
    void faultList_data();
    void faultList();
    void faultText_data();
    void faultText();
    void faultStyle_data();
    void faultStyle();
    void catalogue_data();
    void catalogue();
    void catalogueUncompressed_data();
    void catalogueUncompressed();
    void langStart_data();
    void langStart();
    void langSwitch_data();
    void langSwitch();
    void processWideManager();
};

void TstTexts::statusText_data()
{
    QTest::addColumn<int>("pa");
    QTest::addColumn<QString>("text");
    QTest::newRow("idle") << 0 << u("空闲");
    QTest::newRow("sleeping") << 1 << u("休眠");
    QTest::newRow("warming") << 2 << u("正在预热..");
    QTest::newRow("transferring") << 3 << u("正在传输..");
    QTest::newRow("printing") << 4 << u("正在打印..");
    QTest::newRow("cancelling") << 5 << u("正在取消..");
    QTest::newRow("job printing") << 6 << u("正在打印..");
    QTest::newRow("cooling") << 7 << u("正在散热..");
    QTest::newRow("unknown 8") << 8 << QString();
    QTest::newRow("unknown 9") << 9 << QString();
    QTest::newRow("negative") << -1 << QString();
}

void TstTexts::statusText()
{
    QFETCH(int, pa);
    QFETCH(QString, text);
    QCOMPARE(QString::fromUtf8(vqStatusText(pa)), text);
}

void TstTexts::faultList_data()
{
    using L = QList<CvqFaultItem>;
    QTest::addColumn<int>("pex");
    QTest::addColumn<int>("source");
    QTest::addColumn<L>("expected");
    QTest::newRow("none") << 0 << 0 << L();
    QTest::newRow("source without fault") << 0 << 0xFE << L();
    QTest::newRow("jam, no location") << kJam << 0 << L{{kJam, 0}};
    QTest::newRow("jam 0x16: multi-tray and tray 1") << kJam << 0x16 << L{{kJam, 2}, {kJam, 4}};
    QTest::newRow("jam 0x10: tray unknown") << kJam << 0x10 << L{{kJam, 0x10}};
    QTest::newRow("jam 0x06: no location bit") << kJam << 0x06 << L{{kJam, 0}};
    QTest::newRow("jam 0x1E: all trays") << kJam << 0x1E << L{{kJam, 2}, {kJam, 4}, {kJam, 8}};
    QTest::newRow("jam 0xE0: drum, fuser, duplex") << kJam << 0xE0 << L{{kJam, 0x20}, {kJam, 0x40}, {kJam, 0x80}};
    QTest::newRow("jam 0x34: tray 1 and drum") << kJam << 0x34 << L{{kJam, 4}, {kJam, 0x20}};
    QTest::newRow("jam 0x24: tray bit without 0x10") << kJam << 0x24 << L{{kJam, 0x20}};
    QTest::newRow("out of paper, no tray") << kNoPaper << 0 << L{{kNoPaper, 0}};
    QTest::newRow("out of paper 0x0E") << kNoPaper << 0x0E << L{{kNoPaper, 2}, {kNoPaper, 4}, {kNoPaper, 8}};
    QTest::newRow("out of paper 0x30") << kNoPaper << 0x30 << L{{kNoPaper, 0}};
    QTest::newRow("tray 2 low before tray 1 low") << (bit(31) | bit(1)) << 0 << L{{bit(31), 0}, {bit(1), 0}};
    QTest::newRow("display order")
        << (bit(1) | bit(11) | bit(8) | bit(10) | bit(16) | bit(19)) << 0x14
        << L{{bit(16), 0}, {kJam, 4}, {kNoPaper, 4}, {bit(11), 0}, {bit(19), 0}, {bit(1), 0}};
    QTest::newRow("every listed bit") << int(0xFEFFFFFFu & ~0x8000F0u) << 0
                                      << L{{bit(16), 0}, {bit(17), 0}, {kJam, 0}, {kNoPaper, 0}, {bit(9), 0},
                                           {bit(30), 0}, {bit(3), 0}, {bit(11), 0}, {bit(27), 0}, {bit(15), 0},
                                           {bit(28), 0}, {bit(12), 0}, {bit(13), 0}, {bit(14), 0}, {bit(18), 0},
                                           {bit(25), 0}, {bit(2), 0}, {bit(26), 0}, {bit(19), 0}, {bit(29), 0},
                                           {bit(31), 0}, {bit(1), 0}};
    // Bits that have texts but are never listed, and bits without any meaning.
    QTest::newRow("unlisted bits only") << int(bit(0) | bit(4) | bit(5) | bit(6) | bit(7) | bit(20) | bit(21) | bit(22)
                                               | bit(23) | bit(24))
                                        << 0xFF << L();
}

void TstTexts::faultList()
{
    QFETCH(int, pex);
    QFETCH(int, source);
    QFETCH(QList<CvqFaultItem>, expected);
    QCOMPARE(vqFaultList(pex, source), expected);
}

void TstTexts::faultText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("text");
    QTest::newRow("data transfer") << bit(16) << 0 << u("数据传输错误");
    QTest::newRow("lsu data") << bit(17) << 0 << u("LSU数据错误");
    QTest::newRow("jam multi-tray") << kJam << 2 << u("多用途纸盒卡纸");
    QTest::newRow("jam tray 1") << kJam << 4 << u("纸盒1卡纸");
    QTest::newRow("jam tray 2") << kJam << 8 << u("纸盒2卡纸");
    QTest::newRow("jam tray") << kJam << 16 << u("纸盒卡纸");
    QTest::newRow("jam drum") << kJam << 32 << u("硒鼓位置卡纸");
    QTest::newRow("jam fuser") << kJam << 64 << u("定影器卡纸");
    QTest::newRow("jam duplex") << kJam << 128 << u("双面器卡纸");
    QTest::newRow("jam") << kJam << 0 << u("卡纸");
    QTest::newRow("empty multi-tray") << kNoPaper << 2 << u("多用途纸盒缺纸");
    QTest::newRow("empty tray 1") << kNoPaper << 4 << u("纸盒1缺纸");
    QTest::newRow("empty tray 2") << kNoPaper << 8 << u("纸盒2缺纸");
    QTest::newRow("out of paper") << kNoPaper << 0 << u("缺纸");
    QTest::newRow("toner out") << bit(9) << 0 << u("墨粉已用尽");
    QTest::newRow("drum out") << bit(30) << 0 << u("硒鼓已用尽");
    QTest::newRow("size mismatch") << bit(3) << 0 << u("纸张尺寸不符");
    QTest::newRow("cover open") << bit(11) << 0 << u("机盖未关");
    QTest::newRow("drum door") << bit(27) << 0 << u("硒鼓仓门开");
    QTest::newRow("no toner box") << bit(15) << 0 << u("无墨粉盒");
    QTest::newRow("no drum") << bit(28) << 0 << u("无硒鼓");
    QTest::newRow("lsu") << bit(12) << 0 << u("LSU错误");
    QTest::newRow("fuser heating") << bit(13) << 0 << u("定影器加热错误");
    QTest::newRow("motor") << bit(14) << 0 << u("主电机错误");
    QTest::newRow("0801") << bit(18) << 0 << u("打印机错误#0801");
    QTest::newRow("tray 1 empty") << bit(25) << 0 << u("纸盒1空");
    QTest::newRow("tray 2 empty") << bit(2) << 0 << u("纸盒2空");
    QTest::newRow("bin full") << bit(26) << 0 << u("出纸盒满");
    QTest::newRow("toner low") << bit(19) << 0 << u("墨粉余量低");
    QTest::newRow("drum low") << bit(29) << 0 << u("硒鼓余量低");
    QTest::newRow("tray 2 low") << bit(31) << 0 << u("纸盒2纸量低");
    QTest::newRow("tray 1 low") << bit(1) << 0 << u("纸盒1纸量低");
    QTest::newRow("data too large") << bit(4) << 0 << u("打印数据过大");
    QTest::newRow("heating curve") << bit(5) << 0 << u("定影器加热曲线异常");
    QTest::newRow("fuser other") << bit(6) << 0 << u("定影器其他错误");
    QTest::newRow("chip") << bit(7) << 0 << u("加密芯片错误");
    QTest::newRow("no password") << bit(20) << 0 << u("未设置密码");
    QTest::newRow("cancelled 21") << bit(21) << 0 << u("取消任务");
    QTest::newRow("cancelled 22") << bit(22) << 0 << u("取消任务");
    QTest::newRow("severe") << bit(23) << 0 << u("打印机严重错误");
    QTest::newRow("firmware") << bit(24) << 0 << u("固件错误");
    // Sources that are not listed fall back to the unsplit text; other codes have none.
    QTest::newRow("jam, unknown source 1") << kJam << 1 << u("卡纸");
    QTest::newRow("jam, two sources") << kJam << 6 << u("卡纸");
    QTest::newRow("out of paper, source 16") << kNoPaper << 16 << u("缺纸");
    QTest::newRow("cover with a source") << bit(11) << 4 << u("机盖未关");
    QTest::newRow("bit 0") << bit(0) << 0 << QString();
    QTest::newRow("zero") << 0 << 0 << QString();
    QTest::newRow("two bits") << (bit(9) | bit(11)) << 0 << QString();
    QTest::newRow("negative") << -5 << 0 << QString();
}

void TstTexts::faultText()
{
    QFETCH(int, code);
    QFETCH(int, source);
    QFETCH(QString, text);
    QCOMPARE(QString::fromUtf8(vqFaultText(code, source)), text);
}

void TstTexts::faultStyle_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("style");
    const QString red = "background-color:#A80C10;color:#C89C00;";
    const QString amber = "background-color:#C89C00;color:#A80C10;";
    QTest::newRow("out of paper") << kNoPaper << "background-color:#FFFFFF;color:#A80C10;";
    QTest::newRow("toner out") << bit(9) << "background-color:#000000;color:#A80C10;";
    QTest::newRow("drum out") << bit(30) << "background-color:#000000;color:#A80C10;";
    QTest::newRow("toner low") << bit(19) << "background-color:#000000;color:#C89C00;";
    QTest::newRow("drum low") << bit(29) << "background-color:#000000;color:#C89C00;";
    for (int n : {10, 11, 12, 13, 14, 16, 17, 18, 27, 28})
        QTest::addRow("red bit %d", n) << bit(n) << red;
    for (int n : {1, 2, 3, 15, 25, 26, 31, 4, 23})
        QTest::addRow("amber bit %d", n) << bit(n) << amber;
    QTest::newRow("zero") << 0 << amber;
    QTest::newRow("two bits") << (bit(8) | bit(9)) << amber;
}

void TstTexts::faultStyle()
{
    QFETCH(int, code);
    QFETCH(QString, style);
    QCOMPARE(vqFaultStyle(code), style);
}

void TstTexts::catalogue_data()
{
    QTest::addColumn<QString>("qm");
    QTest::addColumn<int>("column");
    QTest::newRow("Chinese") << ":/translate/zh_CN.qm" << 0;
    QTest::newRow("English") << ":/translate/en_US.qm" << 1;
    QTest::newRow("Russian") << ":/translate/ru_RU.qm" << 2;
}

void TstTexts::catalogue()
{
    QFETCH(QString, qm);
    QFETCH(int, column);
    QTranslator t;
    QVERIFY2(t.load(qm), qPrintable(qm));
    QStringList wrong;
    for (const Row& r : kCatalogue) {
        const char* want = column == 0 ? r.zh : column == 1 ? r.en : r.ru;
        const QString got = t.translate(r.context, r.source);
        if (got != QString::fromUtf8(want))
            wrong << QStringLiteral("%1/%2: '%3'").arg(r.context, u(r.source), got);
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
    // Every text the code can produce has an entry.
    for (int pa = 0; pa < 8; ++pa)
        QVERIFY(!t.translate("Device Status", vqStatusText(pa)).isEmpty());
    for (int n = 0; n < 32; ++n)
        for (int s : {0, 2, 4, 8, 16, 32, 64, 128})
            if (*vqFaultText(bit(n), s))
                QVERIFY2(!t.translate("Error Code", vqFaultText(bit(n), s)).isEmpty(), vqFaultText(bit(n), s));
    // The firmware notice has no translation: it stays in Chinese.
    QVERIFY(t.translate("FvqMain", "打印机存在重要固件升级").isEmpty());
}

void TstTexts::catalogueUncompressed_data()
{
    catalogue_data();
}

void TstTexts::catalogueUncompressed()
{
    QFETCH(QString, qm);
    QResource r(qm);
    QVERIFY(r.isValid());
    QCOMPARE(r.compressionAlgorithm(), QResource::NoCompression);
}

void TstTexts::langStart_data()
{
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("idle");
    const QStringList all = {u("简中"), "English", u("Русский")};
    QTest::newRow("Chinese locale") << all << "zh_CN" << u("简中") << u("空闲");
    QTest::newRow("English locale") << all << "en_US" << "English" << "Idle";
    QTest::newRow("Russian locale") << all << "ru_RU" << u("Русский") << u("Ожидание");
    QTest::newRow("other locale: first offered") << all << "de_DE" << u("简中") << u("空闲");
    QTest::newRow("English first, Chinese locale") << QStringList{"English", u("简中")} << "zh_CN" << u("简中") << u("空闲");
    QTest::newRow("English first, other locale") << QStringList{"English", u("简中")} << "fr_FR" << "English" << "Idle";
    QTest::newRow("only Chinese, English locale") << QStringList{u("简中")} << "en_US" << u("简中") << u("空闲");
    QTest::newRow("locale case differs") << all << "en_us" << u("简中") << u("空闲");
    QTest::newRow("language only") << all << "en" << u("简中") << u("空闲");
}

void TstTexts::langStart()
{
    QFETCH(QStringList, offered);
    QFETCH(QString, locale);
    QFETCH(QString, current);
    QFETCH(QString, idle);
    CvqLangMgr mgr(offered, locale);
    QCOMPARE(mgr.currentName(), current);
    QCOMPARE(mgr.offeredNames(), offered);
    QCOMPARE(vqStatusTextTr(0), idle);
}

void TstTexts::langSwitch_data()
{
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("connected");
    const QStringList all = {u("简中"), "English", u("Русский")};
    QTest::newRow("to English") << all << "English" << "English" << "Connected";
    QTest::newRow("to Russian") << all << u("Русский") << u("Русский") << u("Полключено");
    QTest::newRow("to Chinese") << all << u("简中") << u("简中") << u("已连接");
    QTest::newRow("not offered") << QStringList{u("简中"), "English"} << u("Русский") << u("简中") << u("已连接");
    QTest::newRow("unknown name offered") << QStringList{"English", "Klingon"} << "Klingon" << "English" << "Connected";
    QTest::newRow("case differs") << all << "english" << u("简中") << u("已连接");
    QTest::newRow("empty") << all << QString() << u("简中") << u("已连接");
}

void TstTexts::langSwitch()
{
    QFETCH(QStringList, offered);
    QFETCH(QString, name);
    QFETCH(QString, result);
    QFETCH(QString, connected);
    CvqLangMgr mgr(offered, "de_DE");
    QCOMPARE(mgr.switchTo(name), result);
    QCOMPARE(mgr.currentName(), result);
    QCOMPARE(QCoreApplication::translate("FvqMain", "已连接 "), connected);
}

void TstTexts::processWideManager()
{
    CvqLangMgr* mgr = CvqLangMgr::instance();
    QCOMPARE(CvqLangMgr::instance(), mgr);
    QCOMPARE(mgr->offeredNames(), QStringList{u("简中")});
    // Whatever the system locale, the single offered name is in force.
    QCOMPARE(mgr->currentName(), u("简中"));
    QCOMPARE(mgr->switchTo("English"), u("简中"));
    QCOMPARE(QCoreApplication::translate("FvqMain", "连接状态:"), u("连接状态："));
}

QTEST_GUILESS_MAIN(TstTexts)
#include "tst_texts.moc"
