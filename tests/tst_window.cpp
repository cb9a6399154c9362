// The main window on the offscreen platform: device list and selection, the
// panel's texts and colours, toner gauge and blink, fault badges, dragging,
// tray, closing, thread shutdown and the LAN upgrade's progress window. States
// are fed straight into the slot; the core thread polls an empty host and finds
// nothing.
#include "cvqlanuprom.h"
#include "fvqmain.h"
#include "fvqmytrayalert.h"
#include "fvquprom1progress.h"
#include "vqmonitorseams.h"
#include "vqcountinghost.h"
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
#include <QTimer>
#include <QtTest>

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
const QString kGrey = QStringLiteral("color:gray;");
}

class TstWindow : public QObject
{
    Q_OBJECT

    QLabel* label(const char* name) { return w->findChild<QLabel*>(name); }
    bool shown(const char* name) { return w->findChild<QWidget*>(name)->isVisibleTo(w.get()); }
    // "text | style sheet" of a label.
    QString look(const char* name) { return label(name)->text() + " | " + label(name)->styleSheet(); }
    QAction* action(const char* name) { return w->findChild<QAction*>(name); }
    QTimer* tonerTimer() { return w->findChild<QTimer*>("mTonerTmr"); }
    QComboBox* printers() { return w->findChild<QComboBox*>("cbbPrinters"); }
    void feed(const QList<CvqState>& list) { w->vqWhenOnCoreTrdChange(StateMap(), mapOf(list)); }
    QList<QLabel*> badges() { return w->findChildren<QLabel*>("lblFaultBadge"); }
    QSystemTrayIcon* tray() { return w->findChild<QSystemTrayIcon*>("mTray"); }
    QMenu* trayMenu() { return w->findChild<QMenu*>("mTrayMenu"); }
    CvqCoreTrd* coreTrd() { return w->findChild<CvqCoreTrd*>("coreTrd"); }
    // The selected device: the key the selector holds.
    QString currentKey() { return printers()->currentData().toString(); }
    QList<QLabel*> shownBadges()
    {
        QList<QLabel*> out;
        for (QLabel* b : badges())
            if (b->isVisibleTo(w.get()))
                out << b;
        return out;
    }

    CvqFakeHost host;
    std::unique_ptr<CvqHostScope> scope;
    std::unique_ptr<FvqMain> w;

private slots:
    void initTestCase()
    {
        scope.reset(new CvqHostScope(&host));
        // The offscreen platform has no tray and cannot raise windows.
        vqAllowWarnings({"systemTrayWindowChanged", "does not support"});
    }

    void init() { w.reset(new FvqMain); }

    void cleanup()
    {
        w.reset();
        vqCloseTrayAlert();
    }

    void noPrinter()
    {
        for (int round = 0; round < 2; ++round) {  // as built, then after an empty map
            QCOMPARE(look("lblPrinters"), u("暂无设备连接 | padding:0 5px 0 5px;color:gray;font-weight:bold;"));
            QVERIFY(shown("lblPrinters") && !shown("cbbPrinters"));
            QCOMPARE(look("lblConn"), u("未连接 | ") + kGrey);
            QCOMPARE(look("lblJobStatus"), "- | " + kGrey);
            for (const char* l : {"lblToner", "lblFault"})
                QVERIFY2(look(l).startsWith("- | ") && look(l).endsWith(kGrey), l);
            QVERIFY(!tonerTimer()->isActive());
            QVERIFY(shownBadges().isEmpty());
            QCOMPARE(tray()->toolTip(), vqMonitorTitle);
            QVERIFY(!action("actSet")->isEnabled());
            QCOMPARE(action("actShow")->text(), u("暂无设备连接"));
            QCOMPARE(currentKey(), QString());
            feed({});
        }
    }

    void selection()
    {
        // One device: its name in the label, no selector.
        feed({printer(kB, "Morvane P7760FDN")});
        QVERIFY(shown("lblPrinters") && !shown("cbbPrinters"));
        QCOMPARE(label("lblPrinters")->text(), QString("P7760FDN"));
        QCOMPARE(currentKey(), kB);
        feed({});
        // Two: the selector lists them by instance id and starts on the first.
        feed({printer(kB, "B", 4), printer(kA, "A", 0)});
        QVERIFY(!shown("lblPrinters") && shown("cbbPrinters"));
        QCOMPARE(printers()->count(), 2);
        QCOMPARE(printers()->itemText(0) + printers()->itemText(1), QString("AB"));
        QCOMPARE(currentKey(), kA);
        printers()->setCurrentIndex(1);
        QCOMPARE(currentKey(), kB);
        QCOMPARE(label("lblJobStatus")->text(), u("正在打印.."));
        // The choice stays while its device remains, whatever comes and goes around it.
        feed({printer(kA, "A", 0), printer(kB, "B", 4), printer(kC, "C", 1)});
        QCOMPARE(currentKey(), kB);
        feed({printer(kB, "B renamed", 2), printer(kC, "C", 1)});
        QCOMPARE(currentKey(), kB);
        QCOMPARE(printers()->currentText(), QString("B renamed"));
        QCOMPARE(label("lblJobStatus")->text(), u("正在预热.."));
        // The chosen device goes: the panel follows the selector's new choice.
        feed({printer(kC, "C", 1)});
        QCOMPARE(currentKey(), kC);
        QCOMPARE(label("lblPrinters")->text(), QString("C"));
        QCOMPARE(label("lblJobStatus")->text(), u("休眠"));
        feed({});
        QCOMPARE(currentKey(), QString());
        QCOMPARE(label("lblConn")->text(), u("未连接"));
    }

    // The state line and the tray for one device, connected or not.
    void panel_data()
    {
        // clang-format off
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("pa");
        QTest::addColumn<QString>("status");
        QTest::newRow("idle") << true << 0 << u("空闲 | color:#55AA7F;");
        QTest::newRow("printing") << true << 4 << u("正在打印.. | color:#26B3F4;");
        QTest::newRow("job printing") << true << 6 << u("正在打印.. | color:#E6990B;");
        QTest::newRow("unknown code") << true << 9 << u(" | color:gray;");
        QTest::newRow("disconnected") << false << 4 << u("- | color:gray;");
        // clang-format on
    }
    void panel()
    {
        QFETCH(bool, connected);
        QFETCH(int, pa);
        CvqState s = printer(kA, "Morvane Office", pa, 50, bit(11));
        s.connected = connected;
        feed({s});
        QTEST(look("lblJobStatus"), "status");
        QCOMPARE(look("lblConn"), connected ? u("已连接 | color:#55AA7F;") : u("未连接 | color:gray;"));
        QCOMPARE(tray()->toolTip(), connected ? vqMonitorTitle + ": Office" : vqMonitorTitle);
        QCOMPARE(action("actSet")->isEnabled(), connected);
        QCOMPARE(QStringList({action("actShow")->text(), label("lblToner")->text(), label("lblFault")->text()}),
                 connected ? QStringList({"Office", "50%", u("机盖未关")})
                           : QStringList({u("暂无设备连接"), "-", "-"}));
    }

    void toner_data()
    {
        // clang-format off
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("blinks");
        QTest::newRow("11 steady") << 11 << "11%" << false;
        QTest::newRow("10 blinks") << 10 << "10%" << true;
        QTest::newRow("-1 connected: no reading") << -1 << "-" << false;
        // clang-format on
    }

    void toner()
    {
        QFETCH(int, percent);
        QFETCH(QString, text);
        QFETCH(bool, blinks);
        feed({printer(kA, "A", 0, percent)});
        QLabel* g = label("lblToner");
        QCOMPARE(g->text(), text);
        QVERIFY(g->styleSheet().endsWith(percent < 0 ? "background-color:transparent;color:gray;"
                                                     : "background-color:black;color:white;"));
        QCOMPARE(tonerTimer()->isActive(), blinks);
        if (!blinks)
            return;
        // Two ticks shown, one blank, and round again.
        QStringList seen;
        for (int i = 0; i < 6; ++i) {
            w->mTonerTmr_when_timeout();
            seen << g->text();
        }
        QCOMPARE(seen, (QStringList{text, text, QString(), text, text, QString()}));
        // A new level during the blank step waits for the next tick.
        feed({printer(kA, "A", 0, 4)});
        QCOMPARE(g->text(), QString());
        w->mTonerTmr_when_timeout();
        QCOMPARE(g->text(), QString("4%"));
        // Back above the limit: steady; gone: "-".
        feed({printer(kA, "A", 0, 50)});
        QVERIFY(!tonerTimer()->isActive());
        QCOMPARE(g->text(), QString("50%"));
        feed({printer(kA, "A", 0, 5)});
        feed({});
        QVERIFY(!tonerTimer()->isActive());
        QCOMPARE(g->text(), QString("-"));
    }

    void faults_data()
    {
        // clang-format off
        QTest::addColumn<int>("pex");
        QTest::addColumn<int>("source");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("none") << 0 << 0 << QStringList{u("正常")};
        QTest::newRow("one") << bit(9) << 0 << QStringList{u("墨粉已用尽")};
        QTest::newRow("two, split by source") << bit(10) << 0x16 << QStringList{u("多用途纸盒卡纸"), u("纸盒1卡纸")};
        QTest::newRow("six") << (bit(10) | bit(8) | bit(3) | bit(11) | bit(14) | bit(26)) << 0x14
                             << QStringList{u("纸盒1卡纸"), u("纸盒1缺纸"), u("纸张尺寸不符"), u("机盖未关"),
                                            u("主电机错误"), u("出纸盒满")};
        // clang-format on
    }

    void faults()
    {
        QFETCH(int, pex);
        QFETCH(int, source);
        QFETCH(QStringList, texts);
        feed({printer(kA, "A", 0, 80, pex, source)});
        QLabel* single = label("lblFault");
        QStringList shown;
        if (single->isVisibleTo(w.get()))
            shown << single->text();
        for (QLabel* b : shownBadges())
            shown << b->text();
        QCOMPARE(shown, texts);
        // One fault or none: the single label; more: a badge each, in the frame, side by side.
        QCOMPARE(shownBadges().size(), texts.size() > 1 ? texts.size() : 0);
        const QRect frame = w->findChild<QFrame*>("frameFault")->rect();
        int right = -1;
        for (QLabel* b : shownBadges()) {
            QVERIFY(frame.contains(b->geometry()) && b->x() > right);
            right = b->geometry().right();
        }
    }

    void badgesReused()
    {
        feed({printer(kA, "A", 0, 80, bit(10) | bit(8) | bit(3) | bit(11) | bit(14) | bit(26), 0x14)});
        const QList<QLabel*> six = badges();
        feed({printer(kA, "A", 0, 80, bit(3) | bit(11))});
        QCOMPARE(badges(), six);
        // Not connected: every badge hidden, the single label back with "-".
        feed({});
        QVERIFY(shownBadges().isEmpty());
        QCOMPARE(label("lblFault")->text(), QString("-"));
        QVERIFY(label("lblFault")->isVisibleTo(w.get()));
    }

    void deviceTextIsPlain()
    {
        // A device (or whoever named its queue) must not get markup interpreted.
        const QString evil = "<b>Bold</b>&<img src=\"file:///etc/passwd\">";
        feed({printer(kA, evil), printer(kB, "B")});
        QCOMPARE(printers()->itemText(0), evil);
        feed({printer(kA, evil)});
        QCOMPARE(label("lblPrinters")->text(), evil);
        for (const char* l : {"lblPrinters", "lblConn", "lblJobStatus", "lblToner", "lblFault"})
            QCOMPARE(label(l)->textFormat(), Qt::PlainText);
        QCOMPARE(action("actShow")->text(), QString("<b>Bold</b>&&<img src=\"file:///etc/passwd\">"));
#ifdef Q_OS_WIN
        QVERIFY(tray()->toolTip().endsWith(evil));  // the native tray tooltip is plain text
#else
        QVERIFY(!tray()->toolTip().contains("<b>Bold"));
        QVERIFY(tray()->toolTip().contains("&lt;b&gt;Bold"));
#endif
    }

    void languageSelector()
    {
        QComboBox* langs = w->findChild<QComboBox*>("cbbLangs");
        QCOMPARE(langs->count(), 1);
        QCOMPARE(langs->currentText(), u("简中"));
        QVERIFY(!langs->isVisibleTo(w.get()));
        QCOMPARE(label("label_2")->text(), u("连接状态："));  // form texts go through the catalogue
        // Switching to the only offered language redraws the state texts.
        feed({printer(kA, "A", 0)});
        w->on_cbbLangs_currentIndexChanged(0);
        QCOMPARE(label("lblConn")->text() + label("lblJobStatus")->text(), u("已连接空闲"));
    }

    void cjkFontFallback()
    {
        // The style sheets name "SimSun"; without that font the texts must still
        // come out in an installed CJK font rather than as empty boxes.
        const QStringList families = QFontDatabase().families();
        if (families.contains("SimSun", Qt::CaseInsensitive))
            QSKIP("the real font is registered");
        if (!families.contains("WenQuanYi Micro Hei"))
            QSKIP("no Debian CJK font installed (scripts/deps.sh installs one)");
        const QFont f("SimSun", 9, 75);
        QCOMPARE(QFontInfo(f).family(), QString("WenQuanYi Micro Hei"));
        for (QChar ch : u("墨粉余量打印机故障纸盒卡"))
            QVERIFY(QFontMetrics(f).inFont(ch));
    }

    void drag_data()
    {
        // clang-format off
        QTest::addColumn<QPointF>("press");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("moves");
        QTest::newRow("inside at (100, 100)") << QPointF(100, 100) << int(Qt::LeftButton) << true;
        QTest::newRow("last pixel of the area") << QPointF(639, 479) << int(Qt::LeftButton) << true;
        QTest::newRow("639.4 rounds inside") << QPointF(639.4, 10.2) << int(Qt::LeftButton) << true;
        QTest::newRow("639.6 rounds outside") << QPointF(639.6, 10.2) << int(Qt::LeftButton) << false;
        QTest::newRow("just below the area") << QPointF(100, 480) << int(Qt::LeftButton) << false;
        QTest::newRow("right button") << QPointF(100, 100) << int(Qt::RightButton) << false;
        // clang-format on
    }

    void drag()
    {
        QFETCH(QPointF, press);
        QFETCH(int, button);
        QFETCH(bool, moves);
        w->move(200, 150);
        const QPoint start = w->pos();
        const Qt::MouseButton b = Qt::MouseButton(button);
        auto send = [this](QEvent::Type type, QPointF at, Qt::MouseButton bt, Qt::MouseButtons held) {
            QMouseEvent e(type, at, bt, held, Qt::NoModifier);
            QApplication::sendEvent(w.get(), &e);
        };
        send(QEvent::MouseButtonPress, press, b, b);
        send(QEvent::MouseMove, press + QPointF(30, 20), Qt::NoButton, b);
        QCOMPARE(w->pos(), moves ? start + QPoint(30, 20) : start);
        // Any release ends the drag.
        send(QEvent::MouseButtonRelease, press, Qt::MiddleButton, Qt::NoButton);
        const QPoint after = w->pos();
        send(QEvent::MouseMove, press + QPointF(60, 60), Qt::NoButton, Qt::NoButton);
        QCOMPARE(w->pos(), after);
    }

    void trayActivation_data()
    {
        // clang-format off
        QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
        QTest::addColumn<bool>("windowShown");
        QTest::addColumn<bool>("menuShown");
        QTest::newRow("double click shows the window") << QSystemTrayIcon::DoubleClick << true << false;
        QTest::newRow("context shows the menu") << QSystemTrayIcon::Context << false << true;
        QTest::newRow("single click does nothing") << QSystemTrayIcon::Trigger << false << false;
        // clang-format on
    }

    void trayActivation()
    {
        QFETCH(QSystemTrayIcon::ActivationReason, reason);
        w->mTray_when_activated(reason);
        QTEST(w->isVisible(), "windowShown");
        QTEST(trayMenu()->isVisible(), "menuShown");
        trayMenu()->hide();
        QCOMPARE(tray()->contextMenu(), trayMenu());
    }

    void printerWindow_data()
    {
        // clang-format off
        QTest::addColumn<bool>("withDevice");
        QTest::addColumn<QString>("queue");
        QTest::newRow("selected device") << true << "Morvane P4120W";
        QTest::newRow("device without queue name") << true << QString();
        QTest::newRow("no device") << false << QString();
        // clang-format on
    }

    void printerWindow()
    {
        QFETCH(bool, withDevice);
        QFETCH(QString, queue);
        host.shown.clear();
        if (withDevice)
            feed({printer(kA, queue)});
        action("actSet")->trigger();
        w->on_actSet_triggered();  // also when the action is disabled
        QCOMPARE(host.shown, queue.isEmpty() ? QStringList() : QStringList({queue, queue}));
    }

    void firmwareNotice_data()
    {
        // clang-format off
        QTest::addColumn<QList<CvqState>>("previous");
        QTest::addColumn<QList<CvqState>>("next");
        QTest::addColumn<QStringList>("names");
        auto dev = [](const char* rom, int pa = 0, bool connected = true, const char* product = "Morvane P3860N") {
            CvqState s = printer(kA, QStringLiteral("Desk"), pa);
            s.productName = QString::fromLatin1(product);
            s.ROMVER = QString::fromLatin1(rom);
            s.connected = connected;
            return s;
        };
        using L = QList<CvqState>;
        QTest::newRow("new listed device, old firmware") << L() << L{dev("V1.3.6000")} << QStringList{"Desk"};
        QTest::newRow("same version as the upgrade") << L() << L{dev("V1.3.6406")} << QStringList{"Desk"};
        QTest::newRow("unreadable version") << L() << L{dev("garbage")} << QStringList{"Desk"};
        QTest::newRow("was disconnected") << L{dev("V1.3.6000", 0, false)} << L{dev("V1.3.6000")} << QStringList{"Desk"};
        QTest::newRow("job just started") << L{dev("V1.3.6000")} << L{dev("V1.3.6000", 4)} << QStringList{"Desk"};
        QTest::newRow("newer firmware") << L() << L{dev("V1.3.6407")} << QStringList();
        QTest::newRow("model not listed") << L() << L{dev("V1.3.6000", 0, true, "Morvane P7760FDN")} << QStringList();
        QTest::newRow("still busy") << L{dev("V1.3.6000", 4)} << L{dev("V1.3.6000", 6)} << QStringList();
        // clang-format on
    }

    void firmwareNotice()
    {
        QFETCH(QList<CvqState>, previous);
        QFETCH(QList<CvqState>, next);
        QTEST(vqFirmwareNoticeNames(mapOf(previous), mapOf(next)), "names");
    }

    void exit_data()
    {
        // clang-format off
        QTest::addColumn<bool>("byMenu");
        QTest::addColumn<bool>("shown");
        QTest::newRow("menu exit, window shown") << true << true;
        QTest::newRow("window closed") << false << true;
        QTest::newRow("hidden window closed (exit request)") << false << false;
        // clang-format on
    }

    void exit()
    {
        QFETCH(bool, byMenu);
        QFETCH(bool, shown);
        w->setVisible(shown);
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
        guard.callOnTimeout(qApp, [] { qApp->exit(2); });
        guard.start(60000);
        QCOMPARE(qApp->exec(), 0);
        QVERIFY(!w->isVisible());
        QVERIFY(vqTrayAlert() == nullptr);
        QCOMPARE(last.count(), 1);
    }

    void minimiseAndShow()
    {
        w->show();
        vqShowTrayAlert("t", "m");
        action("actMin")->trigger();
        QVERIFY(!w->isVisible());
        QVERIFY(vqTrayAlert() && vqTrayAlert()->isVisible());
        action("actShow")->trigger();
        QVERIFY(w->isVisible());
    }

    void destructorWaitsForCoreThread()
    {
        w.reset();
        CvqTempSimHost tree;
        CvqCountingSimHost slow;  // its first device listing takes a while
        slow.holdNextMs = 400;
        CvqHostScope slowScope(&slow);
        w.reset(new FvqMain);
        QSignalSpy finished(coreTrd(), &QThread::finished);
        QVERIFY(slow.entered.tryAcquire(1, 20000));
        w.reset();  // while a poll cycle is in flight
        QCOMPARE(finished.count(), 1);
        QVERIFY(slow.cycles > 0);  // the listing in flight ended first
    }

    // The "uprom1" window closes on its first tick after its pass (here over no address).
    void upRomProgressCloses()
    {
        CvqSeamScope<CvqMonitorSeams> seams;
        seams->upRom = [] {
            CvqUpRomConfig c;
            c.interfaces = [] { return QList<CvqIfAddr>(); };
            return c;
        };
        FvqUpRom1Progress progress;
        progress.show();
        QVERIFY(progress.vqThread()->wait(10000));
        QVERIFY(progress.isVisible());
        QVERIFY(QMetaObject::invokeMethod(&progress, "mMainTmr_when_timeout"));
        QVERIFY(!progress.isVisible());
    }
};

VQ_TEST_MAIN(TstWindow)
#include "tst_window.moc"
