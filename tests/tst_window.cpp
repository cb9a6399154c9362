// The main window on the offscreen platform: what it shows for each kind of
// state, selection, toner blink, fault badges, plain device texts, dragging,
// tray and tray alert, closing. States are fed straight into the slot; the core
// thread polls an empty host and finds nothing.
#include "fvqmain.h"
#include "fvqmytrayalert.h"
#include "vqpanel.h"
#include "vqtestsupport.h"

#include <QtTest>
#include <QtWidgets>

namespace {
using L = QList<CvqState>;
constexpr int bit(int n) { return int(1u << n); }
QString u(const char* s) { return QString::fromUtf8(s); }

CvqState printer(const QString& id, const QString& queue, int pa = 0, int toner = 80, int pex = 0, int src = 0)
{
    CvqState s;
    s.connected = true;
    std::tie(s.instanceId, s.queueName, s.pa, s.tonerPercent, s.pex, s.peGuZhangSource) =
        std::tie(id, queue, pa, toner, pex, src);
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

    CvqFakeHost host;
    std::unique_ptr<CvqHostScope> scope;
    std::unique_ptr<FvqMain> w;

    template <class T = QLabel> T* child(const char* name) { return w->findChild<T*>(name); }
    bool shown(const char* name) { return child<QWidget>(name)->isVisibleTo(w.get()); }
    QString look(const char* name) { return child(name)->text() + " | " + child(name)->styleSheet(); }
    void feed(const L& list) { w->vqWhenOnCoreTrdChange({}, mapOf(list)); }
    // The fault frame's shown texts: the single label, or one badge each.
    QString faultTexts()
    {
        QStringList out;
        for (QLabel* l : child<QFrame>("frameFault")->findChildren<QLabel*>(QRegularExpression("^lblFault")))
            if (l->isVisibleTo(w.get()))
                out << l->text();
        return out.join(',');
    }

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
        QTest::newRow("two faults, split by source") << L{printer(kA, "Morvane Office", 0, 5, bit(10), 0x16)} << seen(idle, "5%", "多用途纸盒卡纸,纸盒1卡纸");
        QTest::newRow("six faults") << L{printer(kA, "Morvane Office", 0, 80, kSix, 0x14)} << seen(idle, "80%", "纸盒1卡纸,纸盒1缺纸,纸张尺寸不符,机盖未关,主电机错误,出纸盒满");
        // clang-format on
    }
    void states()
    {
        QFETCH(L, devices);
        if (!devices.isEmpty())  // none: the window as built
            feed(devices);
        const bool on = !devices.isEmpty() && devices.first().connected;
        QTEST((QStringList{child("lblPrinters")->text(), look("lblConn"), look("lblJobStatus"),
                           child("lblToner")->text(), faultTexts()}),
              "seen");
        QCOMPARE(child<QSystemTrayIcon>("mTray")->toolTip() + '|' + child<QAction>("actShow")->text() + '|'
                     + QString::number(child<QAction>("actSet")->isEnabled()),
                 on ? vqMonitorTitle + ": Office|Office|1" : vqMonitorTitle + u("|暂无设备连接|0"));
        // Badges sit side by side inside the frame.
        const QRect frame = child<QFrame>("frameFault")->rect();
        int right = -1;
        for (QLabel* b : w->findChildren<QLabel*>("lblFaultBadge"))
            if (b->isVisibleTo(w.get())) {
                QVERIFY(frame.contains(b->geometry()) && b->x() > right);
                right = b->geometry().right();
            }
    }

    // The selector (items > current), the single device's label, the panel's activity.
    void selection()
    {
        QComboBox* box = child<QComboBox>("cbbPrinters");
        auto seen = [&] {
            QStringList items;
            for (int i = 0; i < box->count(); ++i)
                items << box->itemText(i);
            return items.join(',') + '>' + box->currentText() + (shown("cbbPrinters") ? " box" : "")
                + (shown("lblPrinters") ? " label:" + child("lblPrinters")->text() : "") + ' '
                + child("lblJobStatus")->text();
        };
        // Listed by instance id, starting on the first.
        feed({printer(kB, "B", 4), printer(kA, "A", 0)});
        QCOMPARE(seen(), u("A,B>A box 空闲"));
        box->setCurrentIndex(1);
        QCOMPARE(seen(), u("A,B>B box 正在打印.."));
        // The choice stays while its device remains, whatever comes and goes around it.
        feed({printer(kA, "A", 0), printer(kB, "B", 4), printer(kC, "C", 1)});
        QCOMPARE(seen(), u("A,B,C>B box 正在打印.."));
        feed({printer(kB, "B renamed", 2), printer(kC, "C", 1)});
        QCOMPARE(seen(), u("B renamed,C>B renamed box 正在预热.."));
        // The chosen one goes: the panel follows the selector's new choice.
        feed({printer(kC, "Morvane P7760FDN", 1)});
        QCOMPARE(seen(), u("P7760FDN>P7760FDN label:P7760FDN 休眠"));
        feed({});
        QCOMPARE(seen(), u("> label:暂无设备连接 -"));
    }

    void tonerBlink()
    {
        QTimer* timer = child<QTimer>("mTonerTmr");
        QLabel* g = child("lblToner");
        auto tick = [&] {
            w->mTonerTmr_when_timeout();
            return g->text();
        };
        feed({printer(kA, "A", 0, 11)});
        QVERIFY(!timer->isActive());
        feed({printer(kA, "A", 0, 10)});
        QVERIFY(timer->isActive());
        // Two ticks shown, one blank, and round again.
        QCOMPARE(QStringList({tick(), tick(), tick(), tick(), tick(), tick()}),
                 QStringList({"10%", "10%", "", "10%", "10%", ""}));
        // A new level during the blank step waits for the next tick.
        feed({printer(kA, "A", 0, 4)});
        QCOMPARE(QStringList({g->text(), tick()}), QStringList({"", "4%"}));
        feed({});
        QCOMPARE(g->text() + (timer->isActive() ? " blinking" : ""), QString("-"));
    }

    void badgesReused()
    {
        feed({printer(kA, "A", 0, 80, kSix, 0x14)});
        const QList<QLabel*> six = w->findChildren<QLabel*>("lblFaultBadge");
        feed({printer(kA, "A", 0, 80, bit(3) | bit(11))});
        QVERIFY(w->findChildren<QLabel*>("lblFaultBadge") == six);
        QCOMPARE(faultTexts(), u("纸张尺寸不符,机盖未关"));
        feed({});
        QCOMPARE(faultTexts(), QString("-"));
    }

    void deviceTextIsPlain()
    {
        // A device (or whoever named its queue) must not get markup interpreted.
        const QString evil = "<b>Bold</b>&<img src=\"file:///etc/passwd\">";
        feed({printer(kA, evil)});
        QCOMPARE(child("lblPrinters")->text(), evil);
        for (const char* l : {"lblPrinters", "lblConn", "lblJobStatus", "lblToner", "lblFault"})
            QCOMPARE(child(l)->textFormat(), Qt::PlainText);
        QCOMPARE(child<QAction>("actShow")->text(), QString("<b>Bold</b>&&<img src=\"file:///etc/passwd\">"));
        const QString tip = child<QSystemTrayIcon>("mTray")->toolTip();
#ifdef Q_OS_WIN
        QVERIFY(tip.endsWith(evil));  // the native tray tooltip is plain text
#else
        QVERIFY(tip.contains("&lt;b&gt;Bold") && !tip.contains("<b>Bold"));
#endif
    }

    void languageSelector()
    {
        QComboBox* langs = child<QComboBox>("cbbLangs");
        QCOMPARE(langs->currentText(), u("简中"));
        QVERIFY(!langs->isVisibleTo(w.get()));  // one language offered
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
        auto send = [this](QEvent::Type type, QPoint at, Qt::MouseButton bt, Qt::MouseButtons held) {
            QMouseEvent e(type, at, bt, held, Qt::NoModifier);
            QApplication::sendEvent(w.get(), &e);
        };
        // Pressed where, with what, and whether it moves: the drag area ends at (639, 479).
        // clang-format off
        const std::tuple<QPoint, Qt::MouseButton, bool> cases[] = {
            {{100, 100}, Qt::LeftButton, true}, {{639, 479}, Qt::LeftButton, true},
            {{100, 480}, Qt::LeftButton, false}, {{100, 100}, Qt::RightButton, false}};
        // clang-format on
        for (const auto& [press, button, moves] : cases) {
            w->move(200, 150);
            const QPoint to = w->pos() + (moves ? QPoint(30, 20) : QPoint());
            send(QEvent::MouseButtonPress, press, button, button);
            send(QEvent::MouseMove, press + QPoint(30, 20), Qt::NoButton, button);
            QCOMPARE(w->pos(), to);
            // Any release ends the drag.
            send(QEvent::MouseButtonRelease, press, Qt::MiddleButton, Qt::NoButton);
            send(QEvent::MouseMove, press + QPoint(60, 60), Qt::NoButton, Qt::NoButton);
            QCOMPARE(w->pos(), to);
        }
    }

    void tray()
    {
        QMenu* menu = child<QMenu>("mTrayMenu");
        QCOMPARE(child<QSystemTrayIcon>("mTray")->contextMenu(), menu);
        auto after = [&](QSystemTrayIcon::ActivationReason why) {  // window and menu shown
            w->mTray_when_activated(why);
            return QString("%1%2").arg(w->isVisible()).arg(menu->isVisible());
        };
        QCOMPARE(QStringList({after(QSystemTrayIcon::Trigger), after(QSystemTrayIcon::Context)}),
                 QStringList({"00", "01"}));
        menu->hide();
        QCOMPARE(after(QSystemTrayIcon::DoubleClick), QString("10"));
        vqShowTrayAlert("t", "m");
        child<QAction>("actMin")->trigger();
        QVERIFY(!w->isVisible() && vqTrayAlert()->isVisible());
        child<QAction>("actShow")->trigger();
        QVERIFY(w->isVisible());
    }

    void printerWindow()
    {
        feed({printer(kA, QString())});
        child<QAction>("actSet")->trigger();
        feed({printer(kA, "Morvane P4120W")});
        child<QAction>("actSet")->trigger();
        feed({});
        w->on_actSet_triggered();  // no device, also when the action is disabled
        QCOMPARE(host.shown, QStringList{"Morvane P4120W"});
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
        QTest::newRow("job just started (transferring)") << L{dev("V1.3.6000")} << L{dev("V1.3.6000", 3)} << QStringList{"Desk"};
        QTest::newRow("newer firmware") << L() << L{dev("V1.3.6407")} << QStringList();
        QTest::newRow("model not listed") << L() << L{dev("V1.3.6000", 0, true, "Morvane P7760FDN")} << QStringList();
        QTest::newRow("still busy (cooling down, then printing)") << L{dev("V1.3.6000", 7)} << L{dev("V1.3.6000", 4)} << QStringList();
        // clang-format on
    }
    void firmwareNotice()
    {
        QFETCH(L, previous);
        QFETCH(L, next);
        QTEST(vqFirmwareNoticeNames(mapOf(previous), mapOf(next)), "names");
    }

    // The program ends when its last window closes: the alert must not keep it alive.
    void exit_data()
    {
        // clang-format off
        QTest::addColumn<int>("how");
        QTest::newRow("menu exit, window shown") << 0;
        QTest::newRow("window closed") << 1;
        QTest::newRow("hidden window closed (exit request)") << 2;
        // clang-format on
    }
    void exit()
    {
        QFETCH(int, how);
        w->setVisible(how < 2);
        vqShowTrayAlert("t", "m");
        // Run the event loop as the program does; the guard only stops a hang.
        QSignalSpy last(qApp, &QGuiApplication::lastWindowClosed);
        QTimer::singleShot(0, w.get(), [&] { how ? void(w->close()) : child<QAction>("actExit")->trigger(); });
        QTimer::singleShot(60000, w.get(), [] { qApp->exit(2); });
        QCOMPARE(qApp->exec(), 0);
        QVERIFY(!w->isVisible() && !vqTrayAlert());
        QCOMPARE(last.count(), 1);
    }

    // One alert per process, placed once bottom-right, texts plain; OK hides it, closing ends it.
    void trayAlert()
    {
        const QString title = "<b>x</b>", message = "<img src=\"file:///etc/passwd\">";
        vqShowTrayAlert(title, message);
        QPointer<FvqMyTrayAlert> a = vqTrayAlert();
        QLabel* t = a->findChild<QLabel*>("lblTitle");
        QLabel* m = a->findChild<QLabel*>("lblMsg");
        const QPoint corner = QGuiApplication::primaryScreen()->availableGeometry().bottomRight();
        auto seen = [&] {  // shown, texts, in the corner
            return QString("%1 %2%3 %4")
                .arg(a->isVisible())
                .arg(t->text(), m->text())
                .arg(a->geometry().bottomRight() == corner);
        };
        QCOMPARE(seen(), "1 " + title + message + " 1");
        // Closing the alert alone must not end a monitor that lives in the tray.
        QVERIFY(t->textFormat() == Qt::PlainText && m->textFormat() == Qt::PlainText
                && !a->testAttribute(Qt::WA_QuitOnClose));
        // Shown again: the same alert, where it was dragged, with the new texts.
        a->move(10, 10);
        vqShowTrayAlert("second", "two");
        QCOMPARE(seen(), QString("1 secondtwo 0"));
        QTest::mouseClick(a->findChild<QPushButton*>("btnOk"), Qt::LeftButton);
        QCOMPARE(seen(), QString("0 secondtwo 0"));
        vqShowTrayAlert("third", "three");
        QCOMPARE(seen(), QString("1 thirdthree 0"));
        // Closed, it is gone (cleanup() then finds nothing left to close).
        vqCloseTrayAlert();
        QVERIFY(a.isNull() && !vqTrayAlert());
    }
};

VQ_TEST_MAIN(TstWindow)
#include "tst_window.moc"
