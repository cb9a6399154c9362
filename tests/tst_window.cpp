// The main window on the offscreen platform: what it shows for each kind of
// state, selection, toner blink, fault badges, plain device texts, dragging,
// tray and tray alert, closing and thread shutdown. States are fed straight into the slot;
// the core thread polls an empty host and finds nothing.
#include "fvqmain.h"
#include "fvqmytrayalert.h"
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
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {
using L = QList<CvqState>;
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

QMap<QString, CvqState> mapOf(const L& list)
{
    QMap<QString, CvqState> m;
    for (const CvqState& s : list)
        m.insert(s.instanceId, s);
    return m;
}

const QString kA = QStringLiteral("USB\\VID_1A2B&PID_0101\\QV0001");
const QString kB = QStringLiteral("USB\\VID_1A2B&PID_0106\\QV0002");
const QString kC = QStringLiteral("USB\\VID_1A2B&PID_0109\\QV0003");
const int kSix = bit(10) | bit(8) | bit(3) | bit(11) | bit(14) | bit(26);
}

class TstWindow : public QObject
{
    Q_OBJECT

    QLabel* label(const char* name) { return w->findChild<QLabel*>(name); }
    bool shown(const char* name) { return w->findChild<QWidget*>(name)->isVisibleTo(w.get()); }
    QString look(const char* name) { return label(name)->text() + " | " + label(name)->styleSheet(); }
    QAction* action(const char* name) { return w->findChild<QAction*>(name); }
    QTimer* tonerTimer() { return w->findChild<QTimer*>("mTonerTmr"); }
    QComboBox* printers() { return w->findChild<QComboBox*>("cbbPrinters"); }
    void feed(const L& list) { w->vqWhenOnCoreTrdChange({}, mapOf(list)); }
    QList<QLabel*> badges() { return w->findChildren<QLabel*>("lblFaultBadge"); }
    QSystemTrayIcon* trayIcon() { return w->findChild<QSystemTrayIcon*>("mTray"); }
    QMenu* trayMenu() { return w->findChild<QMenu*>("mTrayMenu"); }
    QString currentKey() { return printers()->currentData().toString(); }
    QList<QLabel*> shownBadges()
    {
        QList<QLabel*> out;
        for (QLabel* b : badges())
            if (b->isVisibleTo(w.get()))
                out << b;
        return out;
    }
    // The fault frame's texts: the single label, or one badge each.
    QString faultTexts()
    {
        QStringList out;
        if (shown("lblFault"))
            out << label("lblFault")->text();
        for (QLabel* b : shownBadges())
            out << b->text();
        return out.join(',');
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

    // One selected device (or none): device, connection, activity, toner, faults.
    void states_data()
    {
        // clang-format off
        QTest::addColumn<L>("devices");
        QTest::addColumn<QStringList>("seen");
        CvqState gone = printer(kA, "Morvane Office", 4);
        gone.connected = false;
        const QStringList none{u("暂无设备连接"), u("未连接 | color:gray;"), "- | color:gray;", "-", "-"};
        auto seen = [](const char* job, const char* toner, const char* faults) {
            return QStringList{"Office", u("已连接 | color:#55AA7F;"), u(job), toner, u(faults)};
        };
        const char* idle = "空闲 | color:#55AA7F;";
        QTest::newRow("no printer") << L() << none;
        QTest::newRow("disconnected") << L{gone} << none;
        QTest::newRow("idle") << L{printer(kA, "Morvane Office")} << seen(idle, "80%", "正常");
        QTest::newRow("printing, cover open") << L{printer(kA, "Morvane Office", 4, 50, bit(11))} << seen("正在打印.. | color:#26B3F4;", "50%", "机盖未关");
        QTest::newRow("job printing") << L{printer(kA, "Morvane Office", 6)} << seen("正在打印.. | color:#E6990B;", "80%", "正常");
        QTest::newRow("unknown activity, no toner reading") << L{printer(kA, "Morvane Office", 9, -1)} << seen(" | color:gray;", "-", "正常");
        QTest::newRow("two faults, split by source") << L{printer(kA, "Morvane Office", 0, 5, bit(10), 0x16)}
                                                     << seen(idle, "5%", "多用途纸盒卡纸,纸盒1卡纸");
        QTest::newRow("six faults") << L{printer(kA, "Morvane Office", 0, 80, kSix, 0x14)}
                                    << seen(idle, "80%", "纸盒1卡纸,纸盒1缺纸,纸张尺寸不符,机盖未关,主电机错误,出纸盒满");
        // clang-format on
    }
    void states()
    {
        QFETCH(L, devices);
        if (!devices.isEmpty())  // none: the window as built
            feed(devices);
        QTEST((QStringList{label("lblPrinters")->text(), look("lblConn"), look("lblJobStatus"),
                           label("lblToner")->text(), faultTexts()}),
              "seen");
        const bool on = !devices.isEmpty() && devices.first().connected;
        QCOMPARE(trayIcon()->toolTip(), on ? vqMonitorTitle + ": Office" : vqMonitorTitle);
        QCOMPARE(action("actShow")->text(), on ? "Office" : u("暂无设备连接"));
        QCOMPARE(action("actSet")->isEnabled(), on);
        // Badges sit side by side inside the frame.
        const QRect frame = w->findChild<QFrame*>("frameFault")->rect();
        int right = -1;
        for (QLabel* b : shownBadges()) {
            QVERIFY(frame.contains(b->geometry()) && b->x() > right);
            right = b->geometry().right();
        }
    }

    void selection()
    {
        // Two devices: the selector lists them by instance id and starts on the first.
        feed({printer(kB, "B", 4), printer(kA, "A", 0)});
        QVERIFY(!shown("lblPrinters") && shown("cbbPrinters"));
        QCOMPARE(printers()->itemText(0) + printers()->itemText(1), QString("AB"));
        QCOMPARE(currentKey(), kA);
        printers()->setCurrentIndex(1);
        QCOMPARE(label("lblJobStatus")->text(), u("正在打印.."));
        // The choice stays while its device remains, whatever comes and goes around it.
        feed({printer(kA, "A", 0), printer(kB, "B", 4), printer(kC, "C", 1)});
        QCOMPARE(currentKey(), kB);
        feed({printer(kB, "B renamed", 2), printer(kC, "C", 1)});
        QCOMPARE(currentKey(), kB);
        QCOMPARE(printers()->currentText(), QString("B renamed"));
        QCOMPARE(label("lblJobStatus")->text(), u("正在预热.."));
        // The chosen device goes: the panel follows the selector's new choice; one
        // device left: its name in the label, no selector.
        feed({printer(kC, "Morvane P7760FDN", 1)});
        QCOMPARE(currentKey(), kC);
        QCOMPARE(label("lblJobStatus")->text(), u("休眠"));
        QVERIFY(shown("lblPrinters") && !shown("cbbPrinters"));
        QCOMPARE(label("lblPrinters")->text(), QString("P7760FDN"));
        feed({});
        QCOMPARE(currentKey(), QString());
    }

    void tonerBlink()
    {
        feed({printer(kA, "A", 0, 11)});
        QVERIFY(!tonerTimer()->isActive());
        feed({printer(kA, "A", 0, 10)});
        QVERIFY(tonerTimer()->isActive());
        // Two ticks shown, one blank, and round again.
        QLabel* g = label("lblToner");
        QStringList seen;
        for (int i = 0; i < 6; ++i) {
            w->mTonerTmr_when_timeout();
            seen << g->text();
        }
        QCOMPARE(seen, (QStringList{"10%", "10%", "", "10%", "10%", ""}));
        // A new level during the blank step waits for the next tick.
        feed({printer(kA, "A", 0, 4)});
        QCOMPARE(g->text(), QString());
        w->mTonerTmr_when_timeout();
        QCOMPARE(g->text(), QString("4%"));
        feed({});
        QVERIFY(!tonerTimer()->isActive());
        QCOMPARE(g->text(), QString("-"));
    }

    void badgesReused()
    {
        feed({printer(kA, "A", 0, 80, kSix, 0x14)});
        const QList<QLabel*> six = badges();
        feed({printer(kA, "A", 0, 80, bit(3) | bit(11))});
        QCOMPARE(badges(), six);
        QCOMPARE(shownBadges().size(), 2);
        feed({});
        QCOMPARE(faultTexts(), QString("-"));
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
        QVERIFY(trayIcon()->toolTip().endsWith(evil));  // the native tray tooltip is plain text
#else
        QVERIFY(trayIcon()->toolTip().contains("&lt;b&gt;Bold") && !trayIcon()->toolTip().contains("<b>Bold"));
#endif
    }

    void languageSelector()
    {
        QComboBox* langs = w->findChild<QComboBox*>("cbbLangs");
        QCOMPARE(langs->currentText(), u("简中"));
        QVERIFY(!langs->isVisibleTo(w.get()));                // one language offered
        QCOMPARE(label("label_2")->text(), u("连接状态："));  // form texts go through the catalogue
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

    void drag()
    {
        const struct
        {
            QPoint press;
            Qt::MouseButton button;
            bool moves;
        } cases[] = {{{100, 100}, Qt::LeftButton, true},
                     {{639, 479}, Qt::LeftButton, true},  // the area's last pixel
                     {{100, 480}, Qt::LeftButton, false},
                     {{100, 100}, Qt::RightButton, false}};
        auto send = [this](QEvent::Type type, QPoint at, Qt::MouseButton bt, Qt::MouseButtons held) {
            QMouseEvent e(type, at, bt, held, Qt::NoModifier);
            QApplication::sendEvent(w.get(), &e);
        };
        for (const auto& c : cases) {
            w->move(200, 150);
            const QPoint start = w->pos();
            send(QEvent::MouseButtonPress, c.press, c.button, c.button);
            send(QEvent::MouseMove, c.press + QPoint(30, 20), Qt::NoButton, c.button);
            QCOMPARE(w->pos(), c.moves ? start + QPoint(30, 20) : start);
            // Any release ends the drag.
            send(QEvent::MouseButtonRelease, c.press, Qt::MiddleButton, Qt::NoButton);
            send(QEvent::MouseMove, c.press + QPoint(60, 60), Qt::NoButton, Qt::NoButton);
            QCOMPARE(w->pos(), c.moves ? start + QPoint(30, 20) : start);
        }
    }

    void tray()
    {
        w->mTray_when_activated(QSystemTrayIcon::Trigger);
        QVERIFY(!w->isVisible() && !trayMenu()->isVisible());
        w->mTray_when_activated(QSystemTrayIcon::Context);
        QVERIFY(!w->isVisible() && trayMenu()->isVisible());
        trayMenu()->hide();
        w->mTray_when_activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(w->isVisible());
        QCOMPARE(trayIcon()->contextMenu(), trayMenu());
        vqShowTrayAlert("t", "m");
        action("actMin")->trigger();
        QVERIFY(!w->isVisible());
        QVERIFY(vqTrayAlert() && vqTrayAlert()->isVisible());
        action("actShow")->trigger();
        QVERIFY(w->isVisible());
    }

    void printerWindow()
    {
        w->on_actSet_triggered();  // no device
        feed({printer(kA, QString())});
        action("actSet")->trigger();
        feed({printer(kA, "Morvane P4120W")});
        action("actSet")->trigger();
        QCOMPARE(host.shown, QStringList{"Morvane P4120W"});
        feed({});
        w->on_actSet_triggered();  // also when the action is disabled
        QCOMPARE(host.shown.size(), 1);
    }

    void firmwareNotice_data()
    {
        // clang-format off
        QTest::addColumn<L>("previous");
        QTest::addColumn<L>("next");
        QTest::addColumn<QStringList>("names");
        auto dev = [](const char* rom, int pa = 0, bool connected = true, const char* product = "Morvane P3860N") {
            CvqState s = printer(kA, QStringLiteral("Desk"), pa);
            s.productName = QString::fromLatin1(product);
            s.ROMVER = QString::fromLatin1(rom);
            s.connected = connected;
            return s;
        };
        QTest::newRow("new listed device, old firmware") << L() << L{dev("V1.3.6000")} << QStringList{"Desk"};
        QTest::newRow("was disconnected") << L{dev("V1.3.6000", 0, false)} << L{dev("V1.3.6000")} << QStringList{"Desk"};
        QTest::newRow("job just started") << L{dev("V1.3.6000")} << L{dev("V1.3.6000", 4)} << QStringList{"Desk"};
        QTest::newRow("newer firmware") << L() << L{dev("V1.3.6407")} << QStringList();
        QTest::newRow("model not listed") << L() << L{dev("V1.3.6000", 0, true, "Morvane P7760FDN")} << QStringList();
        QTest::newRow("still busy") << L{dev("V1.3.6000", 4)} << L{dev("V1.3.6000", 6)} << QStringList();
        // clang-format on
    }
    void firmwareNotice()
    {
        QFETCH(L, previous);
        QFETCH(L, next);
        QTEST(vqFirmwareNoticeNames(mapOf(previous), mapOf(next)), "names");
    }

    void exit_data()
    {
        QTest::addColumn<bool>("byMenu");
        QTest::addColumn<bool>("shown");
        QTest::newRow("menu exit, window shown") << true << true;
        QTest::newRow("window closed") << false << true;
        QTest::newRow("hidden window closed (exit request)") << false << false;
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

    // One alert per process, placed once bottom-right, texts plain; OK hides it, closing ends it.
    void trayAlert()
    {
        const QString title = "<b>x</b>", message = "<img src=\"file:///etc/passwd\">";
        vqShowTrayAlert(title, message);
        QPointer<FvqMyTrayAlert> a = vqTrayAlert();
        QVERIFY(a && a->isVisible());
        QLabel* t = a->findChild<QLabel*>("lblTitle");
        QLabel* m = a->findChild<QLabel*>("lblMsg");
        QCOMPARE(t->text() + m->text(), title + message);
        QVERIFY(t->textFormat() == Qt::PlainText && m->textFormat() == Qt::PlainText);
        QCOMPARE(a->geometry().bottomRight(), QGuiApplication::primaryScreen()->availableGeometry().bottomRight());
        QCOMPARE(a->windowFlags() & (Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
                 Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        // Closing the alert alone must not end a monitor that lives in the tray.
        QVERIFY(!a->testAttribute(Qt::WA_QuitOnClose));
        // Shown again: the same alert, where it was, with the new texts.
        const QPoint at = a->pos();
        vqShowTrayAlert("second", "two");
        QVERIFY(vqTrayAlert() == a && a->pos() == at);
        QCOMPARE(t->text() + m->text(), QString("secondtwo"));
        // OK only hides it.
        QTest::mouseClick(a->findChild<QPushButton*>("btnOk"), Qt::LeftButton);
        QVERIFY(!a->isVisible());
        vqShowTrayAlert("third", "three");
        QVERIFY(vqTrayAlert() == a && a->isVisible());
        // Closed, it is gone; the next one starts again in the corner.
        a->move(10, 10);  // dragged away
        vqCloseTrayAlert();
        vqCloseTrayAlert();  // nothing left to close
        QVERIFY(a.isNull() && !vqTrayAlert());
        vqShowTrayAlert("c", "d");
        QCOMPARE(vqTrayAlert()->pos(), at);
    }

    void destructorWaitsForCoreThread()
    {
        w.reset();
        CvqTempSimHost tree;
        CvqCountingSimHost slow;  // its first device listing takes a while
        slow.holdNextMs = 400;
        CvqHostScope slowScope(&slow);
        w.reset(new FvqMain);
        QSignalSpy finished(w->findChild<CvqCoreTrd*>("coreTrd"), &QThread::finished);
        QVERIFY(slow.entered.tryAcquire(1, 20000));
        w.reset();  // while a poll cycle is in flight
        QCOMPARE(finished.count(), 1);
        QVERIFY(slow.cycles > 0);  // the listing in flight ended first
    }
};

VQ_TEST_MAIN(TstWindow)
#include "tst_window.moc"
