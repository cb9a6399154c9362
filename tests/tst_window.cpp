// The main window on the offscreen platform: device list and selection, the
// panel's texts and colours, toner gauge and blink, fault badges, dragging,
// tray, closing and thread shutdown. States are fed straight into the slot; the
// core thread polls an empty host and finds nothing.
#include "fvqmain.h"
#include "fvqmytrayalert.h"
#include "vqpanel.h"
#include "vqtestsupport.h"

#include <QAction>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <memory>

Q_DECLARE_METATYPE(QSystemTrayIcon::ActivationReason)

namespace {
using StateMap = QMap<QString, CvqState>;
constexpr int bit(int n) { return int(1u << n); }
QString u(const char* s) { return QString::fromUtf8(s); }

CvqState printer(const QString& id, const QString& queue, int pa = 0, int toner = 80, int pex = 0, int src = 0)
{
    CvqState s;
    s.connected = true;
    s.instanceId = id;
    s.queueName = queue;
    s.productName = QStringLiteral("Morvane P4120W");
    s.pa = pa;
    s.tonerPercent = toner;
    s.pex = pex;
    s.peGuZhangSource = src;
    return s;
}

StateMap mapOf(const QList<CvqState>& list)
{
    StateMap m;
    for (const CvqState& s : list)
        m.insert(s.instanceId, s);
    return m;
}

const QString kA = QStringLiteral("USB\\VID_1A2B&PID_0101\\QV0001");
const QString kB = QStringLiteral("USB\\VID_1A2B&PID_0106\\QV0002");
const QString kC = QStringLiteral("USB\\VID_1A2B&PID_0109\\QV0003");

// A host whose device listing takes a while, to catch a window that does not
// wait for the core thread's cycle in flight.
class CvqSlowHost : public CvqFakeHost
{
public:
    std::atomic<int> entered{0};
    std::atomic<int> left{0};
    EnumResult vqListUsbPrinters(QStringList* ids) override
    {
        ++entered;
        QThread::msleep(400);
        ++left;
        return CvqFakeHost::vqListUsbPrinters(ids);
    }
};
}

class TstWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void noPrinter();
    void deviceList_data();
    void deviceList();
    void selectionKept();
    void selectionWhenCurrentGoes();
    void activity_data();
    void activity();
    void connection_data();
    void connection();
    void toner_data();
    void toner();
    void tonerBlinkBlankKept();
    void faults_data();
    void faults();
    void badgesReused();
    void deviceTextIsPlain();
    void languageSelector();
    void cjkFontFallback();
    void clock();
    void drag_data();
    void drag();
    void trayActivation_data();
    void trayActivation();
    void printerWindow_data();
    void printerWindow();
    void firmwareNotice_data();
    void firmwareNotice();
    void exit_data();
    void exit();
    void minimiseAndShow();
    void destructorWaitsForCoreThread();
    void exitRequestEndsProgram();

private:
    QLabel* label(const char* name) { return w->findChild<QLabel*>(name); }
    QAction* action(const char* name) { return w->findChild<QAction*>(name); }
    QTimer* tonerTimer() { return w->findChild<QTimer*>("mTonerTmr"); }
    QComboBox* printers() { return w->findChild<QComboBox*>("cbbPrinters"); }
    void feed(const StateMap& m) { w->vqWhenOnCoreTrdChange(StateMap(), m); }
    QList<QLabel*> shownBadges()
    {
        QList<QLabel*> out;
        for (QLabel* b : w->vqFaultBadges())
            if (b->isVisibleTo(w.get()))
                out << b;
        return out;
    }

    CvqFakeHost host;
    std::unique_ptr<CvqHostScope> scope;
    std::unique_ptr<CvqWarningGuard> warnings;
    std::unique_ptr<FvqMain> w;
};

void TstWindow::initTestCase()
{
    scope.reset(new CvqHostScope(&host));
}

void TstWindow::init()
{
    warnings.reset(new CvqWarningGuard);
    w.reset(new FvqMain);
}

void TstWindow::cleanup()
{
    w.reset();
    vqCloseTrayAlert();
    QStringList unexpected;
    for (const QString& m : warnings->take())
        // The offscreen platform has no tray and cannot raise windows.
        if (!m.contains(QLatin1String("systemTrayWindowChanged")) && !m.contains(QLatin1String("does not support")))
            unexpected << m;
    warnings.reset();
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join('\n')));
}

void TstWindow::noPrinter()
{
    for (int round = 0; round < 2; ++round) {  // as built, then after an empty map
        QCOMPARE(label("lblPrinters")->text(), u("暂无设备连接"));
        QCOMPARE(label("lblPrinters")->styleSheet(), QString("padding:0 5px 0 5px;color:gray;font-weight:bold;"));
        QVERIFY(label("lblPrinters")->isVisibleTo(w.get()));
        QVERIFY(!printers()->isVisibleTo(w.get()));
        QCOMPARE(label("lblConn")->text(), u("未连接"));
        QCOMPARE(label("lblConn")->styleSheet(), QString("color:gray;"));
        QCOMPARE(label("lblJobStatus")->text(), QString("-"));
        QCOMPARE(label("lblJobStatus")->styleSheet(), QString("color:gray;"));
        QCOMPARE(label("lblToner")->text(), QString("-"));
        QCOMPARE(label("lblToner")->styleSheet(), QString(vqStyleTonerNone));
        QVERIFY(!tonerTimer()->isActive());
        QCOMPARE(label("lblFault")->text(), QString("-"));
        QCOMPARE(label("lblFault")->styleSheet(),
                 QString("border-radius:4px;padding:6px 16px 6px 16px;background-color:transparent;color:gray;"));
        QVERIFY(shownBadges().isEmpty());
        QCOMPARE(w->vqTray()->toolTip(), vqMonitorTitle);
        QVERIFY(!action("actSet")->isEnabled());
        QCOMPARE(action("actShow")->text(), u("暂无设备连接"));
        QCOMPARE(w->vqCurrentKey(), QString());
        feed(StateMap());
    }
}

void TstWindow::deviceList_data()
{
    QTest::addColumn<QList<CvqState>>("devices");
    QTest::addColumn<bool>("comboShown");
    QTest::addColumn<QString>("labelText");
    QTest::addColumn<QString>("currentKey");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("one printer") << QList<CvqState>{printer(kB, "Morvane P7760FDN")} << false << "P7760FDN" << kB
                                 << QStringList();
    QTest::newRow("two printers, first by instance id")
        << QList<CvqState>{printer(kB, "Morvane P7760FDN"), printer(kA, "Office")} << true << QString() << kA
        << QStringList{"Office", "P7760FDN"};
    QTest::newRow("three printers")
        << QList<CvqState>{printer(kC, "C"), printer(kB, "B"), printer(kA, "A")} << true << QString() << kA
        << QStringList{"A", "B", "C"};
    CvqState noQueue = printer(kA, QString());
    noQueue.connected = false;
    // Listed by its product name, but the panel says no usable device.
    QTest::newRow("found but not usable") << QList<CvqState>{noQueue} << false << u("暂无设备连接") << kA
                                          << QStringList();
}

void TstWindow::deviceList()
{
    QFETCH(QList<CvqState>, devices);
    QFETCH(bool, comboShown);
    QFETCH(QString, labelText);
    QFETCH(QString, currentKey);
    QFETCH(QStringList, items);
    feed(mapOf(devices));
    QCOMPARE(printers()->isVisibleTo(w.get()), comboShown);
    QCOMPARE(label("lblPrinters")->isVisibleTo(w.get()), !comboShown);
    QCOMPARE(w->vqCurrentKey(), currentKey);
    if (!comboShown) {
        QCOMPARE(label("lblPrinters")->text(), labelText);
        QCOMPARE(label("lblPrinters")->styleSheet(),
                 QString("border:1px solid rgb(225,225,225);border-radius:4px;background-color:rgb(225,225,225);"
                         "padding:0 5px 0 5px;"));
    } else {
        QStringList texts;
        for (int i = 0; i < printers()->count(); ++i)
            texts << printers()->itemText(i);
        QCOMPARE(texts, items);
        QCOMPARE(printers()->currentIndex(), 0);
    }
}

void TstWindow::selectionKept()
{
    feed(mapOf({printer(kA, "A", 0), printer(kB, "B", 4)}));
    QCOMPARE(w->vqCurrentKey(), kA);
    printers()->setCurrentIndex(1);
    QCOMPARE(w->vqCurrentKey(), kB);
    QCOMPARE(label("lblJobStatus")->text(), u("正在打印.."));
    // A device added after the chosen one, then the one before it removed.
    feed(mapOf({printer(kA, "A", 0), printer(kB, "B", 4), printer(kC, "C", 1)}));
    QCOMPARE(w->vqCurrentKey(), kB);
    feed(mapOf({printer(kB, "B renamed", 2), printer(kC, "C", 1)}));
    QCOMPARE(w->vqCurrentKey(), kB);
    QCOMPARE(printers()->currentText(), QString("B renamed"));
    QCOMPARE(label("lblJobStatus")->text(), u("正在预热.."));
    // Down to one device, then none.
    feed(mapOf({printer(kC, "C", 1)}));
    QCOMPARE(w->vqCurrentKey(), kC);
    QCOMPARE(label("lblPrinters")->text(), QString("C"));
    QCOMPARE(label("lblJobStatus")->text(), u("休眠"));
    feed(StateMap());
    QCOMPARE(w->vqCurrentKey(), QString());
    QCOMPARE(label("lblConn")->text(), u("未连接"));
}

void TstWindow::selectionWhenCurrentGoes()
{
    feed(mapOf({printer(kA, "A", 0), printer(kB, "B", 4), printer(kC, "C", 7)}));
    printers()->setCurrentIndex(1);
    feed(mapOf({printer(kA, "A", 0), printer(kC, "C", 7)}));
    // The combo box picks the new current item; the panel follows it.
    const QString key = printers()->currentData().toString();
    QVERIFY(key == kA || key == kC);
    QCOMPARE(w->vqCurrentKey(), key);
    QCOMPARE(label("lblJobStatus")->text(), key == kA ? u("空闲") : u("正在散热.."));
}

void TstWindow::activity_data()
{
    QTest::addColumn<int>("pa");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::newRow("idle") << 0 << u("空闲") << "color:#55AA7F;";
    QTest::newRow("sleeping") << 1 << u("休眠") << "color:#55AA7F;";
    QTest::newRow("warming up") << 2 << u("正在预热..") << "color:#E6990B;";
    QTest::newRow("transferring") << 3 << u("正在传输..") << "color:#26B3F4;";
    QTest::newRow("printing") << 4 << u("正在打印..") << "color:#26B3F4;";
    QTest::newRow("cancelling") << 5 << u("正在取消..") << "color:#26B3F4;";
    QTest::newRow("job printing") << 6 << u("正在打印..") << "color:#E6990B;";
    QTest::newRow("cooling") << 7 << u("正在散热..") << "color:gray;";
    QTest::newRow("unknown code") << 9 << QString() << "color:gray;";
}

void TstWindow::activity()
{
    QFETCH(int, pa);
    QFETCH(QString, text);
    QFETCH(QString, style);
    feed(mapOf({printer(kA, "A", pa)}));
    QCOMPARE(label("lblJobStatus")->text(), text);
    QCOMPARE(label("lblJobStatus")->styleSheet(), style);
}

void TstWindow::connection_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<bool>("setEnabled");
    QTest::newRow("connected") << true << u("已连接") << "color:#55AA7F;" << vqMonitorTitle + ": Office" << true;
    QTest::newRow("disconnected") << false << u("未连接") << "color:gray;" << vqMonitorTitle << false;
}

void TstWindow::connection()
{
    QFETCH(bool, connected);
    QFETCH(QString, text);
    QFETCH(QString, style);
    QFETCH(QString, tip);
    QFETCH(bool, setEnabled);
    CvqState s = printer(kA, "Morvane Office", 4, 50, bit(11));
    s.connected = connected;
    feed(mapOf({s}));
    QCOMPARE(label("lblConn")->text(), text);
    QCOMPARE(label("lblConn")->styleSheet(), style);
    QCOMPARE(w->vqTray()->toolTip(), tip);
    QCOMPARE(action("actSet")->isEnabled(), setEnabled);
    QCOMPARE(action("actShow")->text(), connected ? QString("Office") : u("暂无设备连接"));
    QCOMPARE(label("lblToner")->text(), connected ? QString("50%") : QString("-"));
    QCOMPARE(label("lblFault")->text(), connected ? u("机盖未关") : QString("-"));
    QCOMPARE(label("lblJobStatus")->text(), connected ? u("正在打印..") : QString("-"));
}

void TstWindow::toner_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("blinks");
    QTest::newRow("80 steady") << 80 << "80%" << false;
    QTest::newRow("11 steady") << 11 << "11%" << false;
    QTest::newRow("101 steady") << 101 << "101%" << false;
    QTest::newRow("10 blinks") << 10 << "10%" << true;
    QTest::newRow("1 blinks") << 1 << "1%" << true;
    QTest::newRow("0 blinks") << 0 << "0%" << true;
    QTest::newRow("-1 connected: no reading") << -1 << "-" << false;
}

void TstWindow::toner()
{
    QFETCH(int, percent);
    QFETCH(QString, text);
    QFETCH(bool, blinks);
    feed(mapOf({printer(kA, "A", 0, percent)}));
    QLabel* g = label("lblToner");
    QCOMPARE(g->text(), text);
    QCOMPARE(g->styleSheet(), QString(percent < 0 ? vqStyleTonerNone : vqStyleTonerShown));
    QCOMPARE(tonerTimer()->isActive(), blinks);
    QCOMPARE(tonerTimer()->interval(), 750);
    QCOMPARE(w->vqTonerPercent(), percent);
    if (!blinks)
        return;
    // Two ticks shown, one blank, and round again.
    QStringList seen;
    for (int i = 0; i < 6; ++i) {
        w->mTonerTmr_when_timeout();
        seen << g->text();
    }
    QCOMPARE(seen, (QStringList{text, text, QString(), text, text, QString()}));
    QCOMPARE(g->styleSheet(), QString(vqStyleTonerShown));
    // Back above the limit: steady again.
    feed(mapOf({printer(kA, "A", 0, 50)}));
    QVERIFY(!tonerTimer()->isActive());
    QCOMPARE(g->text(), QString("50%"));
}

void TstWindow::tonerBlinkBlankKept()
{
    feed(mapOf({printer(kA, "A", 0, 5)}));
    for (int i = 0; i < 3; ++i)
        w->mTonerTmr_when_timeout();
    QCOMPARE(label("lblToner")->text(), QString());
    // A new level during the blank step waits for the next tick.
    feed(mapOf({printer(kA, "A", 4, 4)}));
    QCOMPARE(label("lblToner")->text(), QString());
    w->mTonerTmr_when_timeout();
    QCOMPARE(label("lblToner")->text(), QString("4%"));
    // Disconnected: the gauge stops on "-".
    feed(StateMap());
    QVERIFY(!tonerTimer()->isActive());
    QCOMPARE(label("lblToner")->text(), QString("-"));
}

void TstWindow::faults_data()
{
    QTest::addColumn<int>("pex");
    QTest::addColumn<int>("source");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("none") << 0 << 0 << QStringList{u("正常")};
    QTest::newRow("one") << bit(9) << 0 << QStringList{u("墨粉已用尽")};
    QTest::newRow("two") << bit(10) << 0x16 << QStringList{u("多用途纸盒卡纸"), u("纸盒1卡纸")};
    QTest::newRow("jam tray 1 and cover open") << (bit(10) | bit(11)) << 0x14
                                               << QStringList{u("纸盒1卡纸"), u("机盖未关")};
    QTest::newRow("five") << (bit(16) | bit(9) | bit(3) | bit(26) | bit(1)) << 0
                          << QStringList{u("数据传输错误"), u("墨粉已用尽"), u("纸张尺寸不符"), u("出纸盒满"),
                                         u("纸盒1纸量低")};
    QTest::newRow("six") << (bit(10) | bit(8) | bit(3) | bit(11) | bit(14) | bit(26)) << 0x14
                         << QStringList{u("纸盒1卡纸"), u("纸盒1缺纸"), u("纸张尺寸不符"), u("机盖未关"),
                                        u("主电机错误"), u("出纸盒满")};
}

void TstWindow::faults()
{
    QFETCH(int, pex);
    QFETCH(int, source);
    QFETCH(QStringList, texts);
    feed(mapOf({printer(kA, "A", 0, 80, pex, source)}));
    QFrame* frame = w->findChild<QFrame*>("frameFault");
    QLabel* single = label("lblFault");
    const QList<CvqFaultItem> items = vqFaultList(pex, source);
    if (texts.size() == 1) {
        QVERIFY(shownBadges().isEmpty());
        QVERIFY(single->isVisibleTo(w.get()));
        QCOMPARE(single->text(), texts.first());
        QCOMPARE(single->styleSheet(),
                 items.isEmpty() ? QString(vqStyleFaultNormal)
                                 : "border-radius:4px;padding:6px 16px 6px 16px;" + vqFaultStyle(items.first().code));
        QCOMPARE(frame->height(), 72);
        QCOMPARE(frame->width(), qMax(single->width() + 18, frame->minimumWidth()));
        return;
    }
    QVERIFY(!single->isVisibleTo(w.get()));
    const QList<QLabel*> badges = shownBadges();
    QCOMPARE(badges.size(), texts.size());
    const QString p = texts.size() < 6 ? "16px" : "6px";
    int x = 9;
    for (int i = 0; i < badges.size(); ++i) {
        QLabel* b = badges.at(i);
        QCOMPARE(b->text(), texts.at(i));
        QCOMPARE(b->pos(), QPoint(x, 38));
        QCOMPARE(b->styleSheet(),
                 "border-radius:4px;padding:6px " + p + " 6px " + p + ";" + vqFaultStyle(items.at(i).code));
        QCOMPARE(b->textFormat(), Qt::PlainText);
        QVERIFY(b->width() > 0);
        x += b->width() + 4;
    }
    QCOMPARE(frame->size(), QSize(x + 5, 72));
}

void TstWindow::badgesReused()
{
    feed(mapOf({printer(kA, "A", 0, 80, bit(10) | bit(8) | bit(3) | bit(11) | bit(14) | bit(26), 0x14)}));
    const QList<QLabel*> six = w->vqFaultBadges();
    QCOMPARE(six.size(), 6);
    feed(mapOf({printer(kA, "A", 0, 80, bit(3) | bit(11))}));
    QCOMPARE(w->vqFaultBadges(), six);
    QCOMPARE(shownBadges(), (QList<QLabel*>{six.at(0), six.at(1)}));
    QCOMPARE(six.at(0)->styleSheet().left(40), QString("border-radius:4px;padding:6px 16px 6px 16px;background").left(40));
    // Not connected: every badge hidden, the single label back with "-".
    feed(StateMap());
    QVERIFY(shownBadges().isEmpty());
    QCOMPARE(label("lblFault")->text(), QString("-"));
    QVERIFY(label("lblFault")->isVisibleTo(w.get()));
}

void TstWindow::deviceTextIsPlain()
{
    // A device (or whoever named its queue) must not get markup interpreted.
    const QString evil = "<b>Bold</b>&<img src=\"file:///etc/passwd\">";
    feed(mapOf({printer(kA, evil)}));
    QLabel* name = label("lblPrinters");
    QCOMPARE(name->textFormat(), Qt::PlainText);
    QCOMPARE(name->text(), evil);
    for (const char* l : {"lblConn", "lblJobStatus", "lblToner", "lblFault"})
        QCOMPARE(label(l)->textFormat(), Qt::PlainText);
    QCOMPARE(action("actShow")->text(), QString("<b>Bold</b>&&<img src=\"file:///etc/passwd\">"));
    QVERIFY(!w->vqTray()->toolTip().contains("<b>Bold"));
    QVERIFY(w->vqTray()->toolTip().contains("&lt;b&gt;Bold"));
    feed(mapOf({printer(kA, evil), printer(kB, "B")}));
    QCOMPARE(printers()->itemText(0), evil);
    // A very long name (Windows allows 220 characters) leaves the status in view.
    const QString longName(220, QLatin1Char('W'));
    feed(mapOf({printer(kA, longName)}));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QCOMPARE(label("lblPrinters")->text(), longName);
    auto inWindow = [&](const char* l) { return QRect(label(l)->mapTo(w.get(), QPoint()), label(l)->size()); };
    QVERIFY(inWindow("lblJobStatus").right() < w->width());
    QVERIFY(inWindow("lblConn").left() > inWindow("lblPrinters").right());
    // The tray alert shows device names too.
    vqShowTrayAlert(evil, evil);
    for (QLabel* l : vqTrayAlert()->findChildren<QLabel*>())
        QCOMPARE(l->textFormat(), Qt::PlainText);
}

void TstWindow::languageSelector()
{
    QComboBox* langs = w->findChild<QComboBox*>("cbbLangs");
    QCOMPARE(langs->count(), 1);
    QCOMPARE(langs->currentText(), u("简中"));
    QVERIFY(!langs->isVisibleTo(w.get()));
    QCOMPARE(label("label_2")->text(), u("连接状态："));
    QCOMPARE(label("label_6")->text(), u("打印机状态："));
    QCOMPARE(label("label_10")->text(), u("墨粉余量"));
    QCOMPARE(label("label_12")->text(), u("打印机故障"));
    QCOMPARE(action("actExit")->text(), u("退出"));
    QCOMPARE(w->windowTitle(), vqMonitorTitle);
    QCOMPARE(w->windowFlags() & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
    QCOMPARE(w->size(), QSize(793, 507));
    // Switching to the only offered language redraws the state texts.
    feed(mapOf({printer(kA, "A", 0)}));
    w->on_cbbLangs_currentIndexChanged(0);
    QCOMPARE(label("lblConn")->text(), u("已连接"));
    QCOMPARE(label("lblJobStatus")->text(), u("空闲"));
}

void TstWindow::cjkFontFallback()
{
    // The style sheets name "SimSun"; without that font the texts must still
    // come out in an installed CJK font rather than as empty boxes.
    const QStringList families = QFontDatabase().families();
    if (families.contains("SimSun", Qt::CaseInsensitive))
        QSKIP("the real font is registered");
    if (!families.contains("WenQuanYi Micro Hei"))
        QSKIP("no Debian CJK font installed (scripts/deps.sh installs one)");
    QVERIFY(QFont::substitutes("SimSun").contains("WenQuanYi Micro Hei", Qt::CaseInsensitive));
    const QFont f("SimSun", 9, 75);
    QCOMPARE(QFontInfo(f).family(), QString("WenQuanYi Micro Hei"));
    for (QChar ch : u("墨粉余量打印机故障纸盒卡"))
        QVERIFY(QFontMetrics(f).inFont(ch));
}

void TstWindow::clock()
{
    QVERIFY(QRegularExpression("^\\d{4}-\\d{2}-\\d{2}$").match(label("lblDate")->text()).hasMatch());
    QVERIFY(QRegularExpression("^\\d{2}:\\d{2}:\\d{2}$").match(label("lblTime")->text()).hasMatch());
    QTimer* t = w->findChild<QTimer*>("mShowTimeTmr");
    QVERIFY(t->isActive());
    QCOMPARE(t->interval(), 1000);
}

void TstWindow::drag_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("moves");
    QTest::newRow("inside at (100, 100)") << QPoint(100, 100) << int(Qt::LeftButton) << true;
    QTest::newRow("origin corner") << QPoint(0, 0) << int(Qt::LeftButton) << true;
    QTest::newRow("last pixel of the area") << QPoint(639, 479) << int(Qt::LeftButton) << true;
    QTest::newRow("outside at (700, 100)") << QPoint(700, 100) << int(Qt::LeftButton) << false;
    QTest::newRow("just right of the area") << QPoint(640, 100) << int(Qt::LeftButton) << false;
    QTest::newRow("just below the area") << QPoint(100, 480) << int(Qt::LeftButton) << false;
    QTest::newRow("right button") << QPoint(100, 100) << int(Qt::RightButton) << false;
}

void TstWindow::drag()
{
    QFETCH(QPoint, press);
    QFETCH(int, button);
    QFETCH(bool, moves);
    QCOMPARE(w->vqDragArea(), QRect(0, 0, 640, 480));
    w->move(200, 150);
    const QPoint start = w->pos();
    const Qt::MouseButton b = Qt::MouseButton(button);
    QMouseEvent down(QEvent::MouseButtonPress, press, b, b, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &down);
    QMouseEvent move(QEvent::MouseMove, press + QPoint(30, 20), Qt::NoButton, b, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &move);
    QCOMPARE(w->pos(), moves ? start + QPoint(30, 20) : start);
    // Any release ends the drag.
    QMouseEvent up(QEvent::MouseButtonRelease, press, Qt::MiddleButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &up);
    const QPoint after = w->pos();
    QMouseEvent again(QEvent::MouseMove, press + QPoint(60, 60), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &again);
    QCOMPARE(w->pos(), after);
}

void TstWindow::trayActivation_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<bool>("windowShown");
    QTest::addColumn<bool>("menuShown");
    QTest::newRow("double click shows the window") << QSystemTrayIcon::DoubleClick << true << false;
    QTest::newRow("context shows the menu") << QSystemTrayIcon::Context << false << true;
    QTest::newRow("single click does nothing") << QSystemTrayIcon::Trigger << false << false;
    QTest::newRow("middle click does nothing") << QSystemTrayIcon::MiddleClick << false << false;
    QTest::newRow("unknown does nothing") << QSystemTrayIcon::Unknown << false << false;
}

void TstWindow::trayActivation()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(bool, windowShown);
    QFETCH(bool, menuShown);
    QVERIFY(!w->isVisible());
    w->mTray_when_activated(reason);
    QCOMPARE(w->isVisible(), windowShown);
    QCOMPARE(w->vqTrayMenu()->isVisible(), menuShown);
    QCOMPARE(w->vqTray()->contextMenu(), w->vqTrayMenu());
    w->vqTrayMenu()->hide();
    // The menu: show (titled), separator, set, minimise, exit.
    const QList<QAction*> acts = w->vqTrayMenu()->actions();
    QCOMPARE(acts.size(), 5);
    QCOMPARE(acts.at(0), action("actShow"));
    QVERIFY(acts.at(1)->isSeparator());
    QCOMPARE(acts.at(2), action("actSet"));
    QCOMPARE(acts.at(3), action("actMin"));
    QCOMPARE(acts.at(4), action("actExit"));
}

void TstWindow::printerWindow_data()
{
    QTest::addColumn<bool>("withDevice");
    QTest::addColumn<QString>("queue");
    QTest::addColumn<int>("started");
    QTest::newRow("selected device") << true << "Morvane P4120W" << 1;
    QTest::newRow("device without queue name") << true << QString() << 0;
    QTest::newRow("no device") << false << QString() << 0;
}

void TstWindow::printerWindow()
{
    QFETCH(bool, withDevice);
    QFETCH(QString, queue);
    QFETCH(int, started);
    host.started.clear();
    if (withDevice)
        feed(mapOf({printer(kA, queue)}));
    action("actSet")->trigger();
    w->on_actSet_triggered();  // also when the action is disabled
    QCOMPARE(host.started.size(), started * 2);
    if (started)
        QVERIFY(host.started.first().contains("\"" + queue + "\""));
}

void TstWindow::firmwareNotice_data()
{
    QTest::addColumn<QList<CvqState>>("previous");
    QTest::addColumn<QList<CvqState>>("next");
    QTest::addColumn<bool>("raised");
    auto dev = [](const char* product, const char* rom, int pa, bool connected = true) {
        CvqState s = printer(kA, QStringLiteral("Desk"), pa);
        s.productName = QString::fromLatin1(product);
        s.ROMVER = QString::fromLatin1(rom);
        s.connected = connected;
        return s;
    };
    using L = QList<CvqState>;
    QTest::newRow("new listed device, old firmware") << L() << L{dev("Morvane P3860N", "V1.3.6000", 0)} << true;
    QTest::newRow("same version as the upgrade") << L() << L{dev("Morvane P3860N", "V1.3.6406", 0)} << true;
    QTest::newRow("unreadable version") << L() << L{dev("Morvane P3860N", "garbage", 0)} << true;
    QTest::newRow("was disconnected") << L{dev("Morvane P3860N", "V1.3.6000", 0, false)}
                                      << L{dev("Morvane P3860N", "V1.3.6000", 0)} << true;
    QTest::newRow("job just started") << L{dev("Morvane P3860N", "V1.3.6000", 0)}
                                      << L{dev("Morvane P3860N", "V1.3.6000", 4)} << true;
    QTest::newRow("newer firmware") << L() << L{dev("Morvane P3860N", "V1.3.6407", 0)} << false;
    QTest::newRow("model not listed") << L() << L{dev("Morvane P7760FDN", "V1.3.6000", 0)} << false;
    QTest::newRow("listed name in other case") << L() << L{dev("Morvane p3860n", "V1.3.6000", 0)} << false;
    QTest::newRow("still idle") << L{dev("Morvane P3860N", "V1.3.6000", 0)}
                                << L{dev("Morvane P3860N", "V1.3.6000", 1)} << false;
    QTest::newRow("still busy") << L{dev("Morvane P3860N", "V1.3.6000", 4)}
                                << L{dev("Morvane P3860N", "V1.3.6000", 6)} << false;
}

void TstWindow::firmwareNotice()
{
    QFETCH(QList<CvqState>, previous);
    QFETCH(QList<CvqState>, next);
    QFETCH(bool, raised);
    vqCloseTrayAlert();
    w->vqFirmwareNotice(mapOf(previous), mapOf(next));
    QCOMPARE(vqTrayAlert() != nullptr, raised);
    if (raised) {
        QVERIFY(vqTrayAlert()->isVisible());
        QCOMPARE(vqTrayAlert()->findChild<QLabel*>("lblTitle")->text(), QString("Desk"));
        QVERIFY(vqTrayAlert()->findChild<QLabel*>("lblMsg")->text().startsWith(u("打印机存在重要固件升级\n")));
    }
}

void TstWindow::exit_data()
{
    QTest::addColumn<bool>("byMenu");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("alert");
    QTest::newRow("menu exit, window shown") << true << true << false;
    QTest::newRow("menu exit, only in the tray") << true << false << false;
    QTest::newRow("menu exit with an alert up") << true << true << true;
    QTest::newRow("window closed with an alert up") << false << true << true;
    QTest::newRow("hidden window closed (exit request)") << false << false << true;
}

void TstWindow::exit()
{
    QFETCH(bool, byMenu);
    QFETCH(bool, shown);
    QFETCH(bool, alert);
    w->setVisible(shown);
    if (alert)
        vqShowTrayAlert("t", "m");
    // The program ends when its last window closes: the alert must not keep it
    // alive. Run the event loop as the program does; the guard only stops a hang.
    QSignalSpy last(qApp, &QGuiApplication::lastWindowClosed);
    QTimer::singleShot(0, w.get(), [&] {
        if (byMenu)
            action("actExit")->trigger();
        else
            w->close();
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { qApp->exit(2); });
    guard.start(60000);
    QCOMPARE(qApp->exec(), 0);
    QVERIFY(!w->isVisible());
    QVERIFY(vqTrayAlert() == nullptr);
    QCOMPARE(last.count(), 1);
}

void TstWindow::minimiseAndShow()
{
    w->show();
    vqShowTrayAlert("t", "m");
    action("actMin")->trigger();
    QVERIFY(!w->isVisible());
    QVERIFY(vqTrayAlert() && vqTrayAlert()->isVisible());
    action("actShow")->trigger();
    QVERIFY(w->isVisible());
}

void TstWindow::destructorWaitsForCoreThread()
{
    w.reset();
    CvqSlowHost slow;
    CvqHostScope slowScope(&slow);
    w.reset(new FvqMain);
    std::atomic<bool> finished{false};
    connect(w->vqCoreTrd(), &QThread::finished, w->vqCoreTrd(), [&] { finished = true; }, Qt::DirectConnection);
    QTRY_VERIFY(slow.entered > 0);
    w.reset();  // while a poll cycle is in flight
    QVERIFY(finished);
    QCOMPARE(slow.left.load(), slow.entered.load());
    scope.reset(new CvqHostScope(&host));
}

void TstWindow::exitRequestEndsProgram()
{
    // The real program, copied so its single-instance name is ours alone.
    const QString bin = qEnvironmentVariable("VQ_BIN_DIR") + "/monitor";
    if (!QFile::exists(bin))
        QSKIP("VQ_BIN_DIR/monitor is not built");
    QTemporaryDir dir;
    const QString exe = dir.filePath("monitor");
    QVERIFY(QFile::copy(bin, exe));
    QVERIFY(QDir(dir.path()).mkpath("host/usb"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VQ_SIM_HOST", dir.filePath("host"));
    QProcess mon;
    mon.setProcessEnvironment(env);
    mon.start(exe, QStringList());
    QVERIFY(mon.waitForStarted());
    auto verb = [&](const char* v) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(exe, QStringList{v});
        p.waitForFinished(30000);
        return p.exitCode();
    };
    QTRY_COMPARE_WITH_TIMEOUT(verb("isrun"), 1, 60000);
    QCOMPARE(verb("exit"), 1);
    QVERIFY(mon.waitForFinished(60000));
    QCOMPARE(mon.exitStatus(), QProcess::NormalExit);
    QCOMPARE(mon.exitCode(), 0);
    QCOMPARE(verb("isrun"), 0);
}

QTEST_MAIN(TstWindow)
#include "tst_window.moc"
