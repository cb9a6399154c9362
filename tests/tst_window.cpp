// The main window on the offscreen platform: what it shows for each kind of
// state, selection, toner blink, fault badges, plain device texts, dragging,
// tray and tray alert, closing, its service threads; then the status texts,
// languages, catalogues and the log-file writer. States are fed straight into
// the slot; the core thread polls an empty simulated host. Built twice:
// the shipped build switches and all on.
#include "cvqlangmgr.h"
#include "fvqmain.h"
#include "fvqmytrayalert.h"
#include "vqcountinghost.h"
#include "vqpanel.h"
#include "vqswitches.h"
#include "vqtestsupport.h"
#include "vqtexts.h"
#include "printerlink/host/vqwinqueue.h"

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

}

class TstWindow : public QObject
{
    Q_OBJECT

    CvqTempSimHost tree;  // no printer: the core thread and the services only poll
    CvqCountingSimHost host;
    CvqHostScope scope{&host};
    std::unique_ptr<FvqMain> w;

    template <class T = QLabel> T* child(const char* name) { return w->findChild<T*>(name); }
    bool shown(const char* name) { return child<QWidget>(name)->isVisibleTo(w.get()); }
    QString look(const char* name) { return child(name)->text() + " | " + child(name)->styleSheet(); }
    void feed(const L& list) { w->vqWhenOnCoreTrdChange({}, mapOf(list)); }
    // The fault frame's shown texts: the single label, or one badge each, side by side inside the frame.
    QString faultTexts()
    {
        QFrame* frame = child<QFrame>("frameFault");
        QStringList out;
        int right = -1;
        for (QLabel* l : frame->findChildren<QLabel*>(QRegularExpression("^lblFault")))
            if (l->isVisibleTo(w.get())) {
                out << l->text() + (frame->rect().contains(l->geometry()) && l->x() > right ? "" : " misplaced");
                right = l->geometry().right();
            }
        return out.join(',');
    }

private slots:
    void initTestCase()
    {
        vqInitResources();
        host.holdNextMs = 400;  // the first window's first device listing takes a while
        // The offscreen platform has no tray and cannot raise windows.
        vqAllowWarnings({"systemTrayWindowChanged", "does not support"});
    }
    void init() { w.reset(new FvqMain); }
    void cleanup()
    {
        w.reset();
        vqCloseTrayAlert();
    }

    // The window starts exactly the service threads its build switches turn on and joins
    // them when it goes, even mid-cycle (the core thread, then one per service switched on). First:
    // a closed window stops every later one's threads.
    void threads()
    {
        QList<QPointer<QThread>> running;
        for (QThread* t : w->findChildren<QThread*>())
            if (t->isRunning())
                running << t;
        QCOMPARE(running.size(), 1 + int(vqOneKeyPrintEnabled) + int(vqScanToPcEnabled) + int(vqLanUpRomEnabled));
        QVERIFY(host.entered.tryAcquire(1, 20000));
        w.reset();  // closed while that listing is in flight: it ends first, the threads go with the window
        running.removeAll(nullptr);
        QVERIFY(host.cycles > 0 && running.isEmpty());
    }

    // One selected device (or none): device, connection, activity, toner, faults; the tray's
    // tooltip, show and printer-window entries, and the language selector (one language: hidden); all plain text.
    void states_data()
    {
        // clang-format off
        QTest::addColumn<L>("devices");
        QTest::addColumn<QStringList>("seen");
        CvqState gone = printer(kA, "Morvane Office", 4);
        gone.connected = false;
        const QStringList none{u("暂无设备连接"), u("未连接 | color:gray;"), "- | color:gray;", "-", "-", vqMonitorTitle + u("|暂无设备连接|0|简中")};
        auto seen = [](const char* job, const char* toner, const char* faults) {
            return QStringList{"Office", u("已连接 | color:#55AA7F;"), u(job), toner, u(faults), vqMonitorTitle + u(": Office|Office|1|简中")};
        };
        const char* idle = "空闲 | color:#55AA7F;";
        // A device (or whoever named its queue) must not get markup interpreted.
        const QString evil = "<b>Bold</b>&<img src=\"file:///etc/passwd\">";
#ifdef Q_OS_WIN
        const QString tip = vqMonitorTitle + ": " + evil;  // the native tray tooltip is plain text
#else
        const QString tip = "<p style='white-space:pre'>" + (vqMonitorTitle + ": " + evil).toHtmlEscaped() + "</p>";
#endif
        QTest::newRow("no printer") << L() << none;
        QTest::newRow("disconnected") << L{gone} << none;
        QTest::newRow("idle") << L{printer(kA, "Morvane Office")} << seen(idle, "80%", "正常");
        QTest::newRow("printing, cover open") << L{printer(kA, "Morvane Office", 4, 50, bit(11))} << seen("正在打印.. | color:#26B3F4;", "50%", "机盖未关");
        QTest::newRow("job printing") << L{printer(kA, "Morvane Office", 6)} << seen("正在打印.. | color:#E6990B;", "80%", "正常");
        QTest::newRow("unknown activity, no toner reading") << L{printer(kA, "Morvane Office", 9, -1)} << seen(" | color:gray;", "-", "正常");
        QTest::newRow("two faults, split by source") << L{printer(kA, "Morvane Office", 0, 5, bit(10), 0x16)} << seen(idle, "5%", "多用途纸盒卡纸,纸盒1卡纸");
        QTest::newRow("six faults") << L{printer(kA, "Morvane Office", 0, 80, bit(10) | bit(8) | bit(3) | bit(11) | bit(14) | bit(26), 0x14)} << seen(idle, "80%", "纸盒1卡纸,纸盒1缺纸,纸张尺寸不符,机盖未关,主电机错误,出纸盒满");
        QTest::newRow("markup in the queue name") << L{printer(kA, evil)} << QStringList{evil, u("已连接 | color:#55AA7F;"), u(idle), "80%", u("正常"), tip + '|' + QString(evil).replace('&', "&&") + u("|1|简中")};
        // clang-format on
    }
    void states()
    {
        QFETCH(L, devices);
        if (!devices.isEmpty())  // none: the window as built
            feed(devices);
        QTEST((QStringList{child("lblPrinters")->text(), look("lblConn"), look("lblJobStatus"),
                           child("lblToner")->text(), faultTexts(),
                           child<QSystemTrayIcon>("mTray")->toolTip() + '|' + child<QAction>("actShow")->text() + '|'
                               + QString::number(child<QAction>("actSet")->isEnabled()) + '|'
                               + child<QComboBox>("cbbLangs")->currentText() + (shown("cbbLangs") ? " shown" : "")}),
              "seen");
        for (const char* l : {"lblPrinters", "lblConn", "lblJobStatus", "lblToner", "lblFault"})
            QCOMPARE(child(l)->textFormat(), Qt::PlainText);
    }

    // The selector (items > current), the single device's label, the panel's activity and
    // faults (the badges of three faults, then two, then none).
    void selection()
    {
        QComboBox* box = child<QComboBox>("cbbPrinters");
        auto seen = [&] {
            QStringList items;
            for (int i = 0; i < box->count(); ++i)
                items << box->itemText(i);
            return items.join(',') + '>' + box->currentText() + (shown("cbbPrinters") ? " box" : "")
                + (shown("lblPrinters") ? " label:" + child("lblPrinters")->text() : "") + ' '
                + child("lblJobStatus")->text() + ' ' + faultTexts();
        };
        // Listed by instance id, starting on the first.
        feed({printer(kB, "B", 4), printer(kA, "A", 0)});
        QCOMPARE(seen(), u("A,B>A box 空闲 正常"));
        box->setCurrentIndex(1);
        QCOMPARE(seen(), u("A,B>B box 正在打印.. 正常"));
        // The choice stays while its device remains, whatever comes and goes around it.
        feed({printer(kA, "A", 0), printer(kB, "B", 4, 80, bit(3) | bit(11) | bit(14)), printer(kC, "C", 1)});
        QCOMPARE(seen(), u("A,B,C>B box 正在打印.. 纸张尺寸不符,机盖未关,主电机错误"));
        feed({printer(kB, "B renamed", 2, 80, bit(3) | bit(11)), printer(kC, "C", 1)});
        QCOMPARE(seen(), u("B renamed,C>B renamed box 正在预热.. 纸张尺寸不符,机盖未关"));
        // The chosen one goes: the panel follows the selector's new choice.
        feed({printer(kC, "Morvane P7760FDN", 1)});
        QCOMPARE(seen(), u("P7760FDN>P7760FDN label:P7760FDN 休眠 正常"));
        feed({});
        QCOMPARE(seen(), u("> label:暂无设备连接 - -"));
    }

    // Toner levels fed in turn (0: the device goes) or a blink tick (-1) -> the gauge, * while blinking.
    void tonerBlink()
    {
        QStringList seen;
        for (int toner : {11, 10, -1, -1, -1, -1, -1, -1, 4, -1, 0}) {
            if (toner < 0)
                w->mTonerTmr_when_timeout();
            else
                feed(toner ? L{printer(kA, "A", 0, toner)} : L());
            seen << child("lblToner")->text() + (child<QTimer>("mTonerTmr")->isActive() ? "*" : "");
        }
        // Two ticks shown, one blank, and round again; a new level during the blank waits for the next tick.
        QCOMPARE(seen.join(','), QString("11%,10%*,10%*,10%*,*,10%*,10%*,*,*,4%*,-"));
    }

    void cjkFontFallback()
    {
        // The style sheets name "SimSun"; without that font the texts must still
        // come out in an installed CJK font rather than as empty boxes.
        const QStringList families = QFontDatabase().families();
        if (families.contains("SimSun", Qt::CaseInsensitive) || !families.contains("WenQuanYi Micro Hei"))
            QSKIP("the real font is registered, or no Debian CJK font is (scripts/deps.sh installs one)");
        QCOMPARE(QFontInfo(QFont("SimSun", 9, 75)).family(), QString("WenQuanYi Micro Hei"));
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
        QString seen;  // window and menu shown after each activation
        for (auto why : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick}) {
            w->mTray_when_activated(why);
            seen += QString(" %1%2").arg(w->isVisible()).arg(menu->isVisible());
            menu->hide();
        }
        QCOMPARE(seen, QString(" 00 01 10"));
        vqShowTrayAlert("t", "m");
        child<QAction>("actMin")->trigger();
        QVERIFY(!w->isVisible() && vqTrayAlert()->isVisible());
        child<QAction>("actShow")->trigger();
        QVERIFY(w->isVisible());
        // The printer-window entry opens the selected device's queue.
        feed({printer(kA, QString())});
        child<QAction>("actSet")->trigger();
        feed({printer(kA, "Morvane P4120W")});
        child<QAction>("actSet")->trigger();
        feed({});
        w->on_actSet_triggered();  // no device, also when the action is disabled
        QCOMPARE(vqReadFile(tree.root() + "/launched"), vqPrinterQueueCommand("Morvane P4120W").toUtf8() + '\n');
    }

    void firmwareNotice_data()
    {
        // clang-format off
        QTest::addColumn<L>("previous");
        QTest::addColumn<L>("next");
        QTest::addColumn<QStringList>("names");
        auto dev = [](const char* rom, int pa = 0, bool connected = true, const char* product = "Morvane P3860N") {
            CvqState s = printer(kA, QStringLiteral("Desk"), pa);
            std::tie(s.productName, s.ROMVER, s.connected) = std::make_tuple(u(product), u(rom), connected);
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

    // The program ends when its last window closes: the alert must not keep it alive. How: menu
    // exit with the window shown, the window closed, a hidden window closed (an exit request).
    void exit_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("menu");
        QTest::newRow("menu exit, window shown") << true << true;
        QTest::newRow("window closed") << true << false;
        QTest::newRow("hidden window closed (exit request)") << false << false;
    }
    void exit()
    {
        QFETCH(bool, shown);
        QFETCH(bool, menu);
        w.reset(new FvqMain);
        w->setVisible(shown);
        vqShowTrayAlert("t", "m");
        // Run the event loop as the program does; the guard only stops a hang.
        QTimer::singleShot(0, w.get(), [&] {
            if (menu)
                child<QAction>("actExit")->trigger();
            else
                w->close();
        });
        QTimer::singleShot(60000, w.get(), [] { qApp->exit(2); });
        QCOMPARE(qApp->exec(), 0);
        QVERIFY(!w->isVisible() && !vqTrayAlert());
    }

    // One alert per process, placed once bottom-right, texts plain; OK hides it, closing ends it.
    void trayAlert()
    {
        const QString title = "<b>x</b>", message = "<img src=\"file:///etc/passwd\">";
        vqShowTrayAlert(title, message);
        QPointer<FvqMyTrayAlert> a = vqTrayAlert();
        QLabel* t = a->findChild<QLabel*>("lblTitle");
        QLabel* m = a->findChild<QLabel*>("lblMsg");
        const QPoint corner =
            QGuiApplication::primaryScreen()->availableGeometry().bottomRight() - a->rect().bottomRight();
        auto seen = [&] {  // shown, texts, in the corner
            return QString("%1 %2%3 %4").arg(a->isVisible()).arg(t->text(), m->text()).arg(a->pos() == corner);
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

    // The listed faults' texts in display order | the text of the code and source
    // itself (its location's, else the unsplit one; none for several bits).
    void faults_data()
    {
        // clang-format off
        QTest::addColumn<int>("pex");
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("texts");
        QTest::newRow("jam 0x04: tray 1 without the area bit") << bit(10) << 0x04 << u("卡纸|纸盒1卡纸");
        QTest::newRow("jam 0xE0: drum, fuser, duplex") << bit(10) << 0xE0 << u("硒鼓位置卡纸,定影器卡纸,双面器卡纸|卡纸");
        QTest::newRow("out of paper 0x0E") << bit(8) << 0x0E << u("多用途纸盒缺纸,纸盒1缺纸,纸盒2缺纸|缺纸");
        QTest::newRow("tray area alone, in display order") << (bit(11) | bit(8) | bit(10) | bit(16)) << 0x10 << u("数据传输错误,纸盒卡纸,缺纸,机盖未关|");
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

    // Each compiled catalogue translates every text the tables hold, and these samples (context,
    // Chinese source) exactly; the firmware notice has no translation: it stays in Chinese.
    void catalogue_data()
    {
        // clang-format off
        QTest::addColumn<QString>("qm");
        QTest::addColumn<QStringList>("samples");
        QTest::newRow("Chinese") << ":/translate/zh_CN.qm" << QStringList{u("正在预热.."), u("纸盒1卡纸"), u("连接状态："), u("已连接"), ""};
        QTest::newRow("English") << ":/translate/en_US.qm" << QStringList{"Preheating..", "Tray 1 jam", "Connection Status:", "Connected", ""};
        QTest::newRow("Russian") << ":/translate/ru_RU.qm" << QStringList{u("Прогрев.."), u("Лоток 1 зам."), u("Статус подкл.:"), u("Подключено"), ""};
        // clang-format on
    }
    void catalogue()
    {
        QFETCH(QString, qm);
        QTranslator t;
        QVERIFY(t.load(qm));
        std::vector<std::pair<const char*, const char*>> all;
        for (int pa = 0; pa < 8; ++pa)
            all.emplace_back("Device Status", vqStatusText(pa));
        for (int n = 0; n < 32; ++n)
            for (int source = 0; source < 256; source = source ? source << 1 : 1)
                if (*vqFaultText(bit(n), source))
                    all.emplace_back("Error Code", vqFaultText(bit(n), source));
        QStringList missing;
        for (const auto& [context, source] : all)
            if (t.translate(context, source).isEmpty())
                missing << u(source);
        QCOMPARE(missing, QStringList());
        QTEST((QStringList{t.translate("Device Status", "正在预热.."), t.translate("Error Code", "纸盒1卡纸"),
                           t.translate("FvqMain", "连接状态:"), t.translate("FvqMain", "已连接 "),
                           t.translate("FvqMain", "打印机存在重要固件升级")}),
              "samples");
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
        QTEST(switched + ' ' + vqStatusTextTr(0), "current");
    }

    // Messages "yyyy-MM-dd hh:mm:ss text" -> the warnings, and each file under the program's one log folder
    // (its name free of path separators) "path|content".
    void logLines_data()
    {
        // clang-format off
        QTest::addColumn<bool>("rootIsFile"); QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("warnings"); QTest::addColumn<QStringList>("files");
        QTest::newRow("new hour and month") << false << QStringList{"2026-01-31 23:59:59 a", "2026-02-01 00:00:00 b"} << QStringList() << QStringList{"2026-01/2026-01-31-23.log|[2026-01-31 23:59:59] a\n", "2026-02/2026-02-01-00.log|[2026-02-01 00:00:00] b\n"};
        QTest::newRow("appends") << false << QStringList{"2026-03-04 10:00:01 a", "2026-03-04 10:59:59 b"} << QStringList() << QStringList{"2026-03/2026-03-04-10.log|[2026-03-04 10:00:01] a\n[2026-03-04 10:59:59] b\n"};
        QTest::newRow("non-ASCII") << false << QStringList{u("2026-03-04 10:00:00 打印")} << QStringList() << QStringList{u("2026-03/2026-03-04-10.log|[2026-03-04 10:00:00] 打印\n")};
        QTest::newRow("root is a file") << true << QStringList{"2026-03-04 10:00:00 lost"} << QStringList{u("无法创建目录：ROOT/vqlogs_/2026-03")} << QStringList();
        // clang-format on
    }
    void logLines()
    {
        QFETCH(bool, rootIsFile);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, files);
        QTemporaryDir tmp;
        const QString root = tmp.path() + "/logs";
        if (rootIsFile)
            QVERIFY(CvqSimTree::vqWriteFileAtomic(root, "x"));
        CvqWarningGuard warnings;
        for (const QString& m : messages)
            vqWriteLogAt(m.mid(20), QDateTime::fromString(m.left(19), "yyyy-MM-dd hh:mm:ss"), root);
        QStringList got;
        for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString text = QString::fromUtf8(vqReadFile(it.next())).replace("\r\n", "\n");  // Windows: text mode
            got << QDir(root).relativeFilePath(it.filePath()).section('/', 1) + '|' + text;
        }
        got.sort();
        QStringList seen = warnings.take().replaceInStrings(root, "ROOT");
        CvqFields f;
        f("warnings", seen.replaceInStrings(QRegularExpression("vqlogs_[^/]*"), "vqlogs_"));
        for (int i = 0; i < qMax(got.size(), files.size()); ++i)  // each file named by its path
            f(files.value(i, got.value(i)).section('|', 0, 0), got.value(i), files.value(i));
        VQ_FIELDS(f);
    }

    // The live writer logs under the temporary location (last: it moves TMPDIR).
    void logProgramFolder()
    {
        QTemporaryDir tmp;
        for (const char* name : {"TMPDIR", "TEMP", "TMP"})  // TEMP and TMP: Windows
            qputenv(name, QDir::toNativeSeparators(tmp.path()).toLocal8Bit());
        vqWriteLog("now");
        QVERIFY(QDirIterator(tmp.path(), {"*.log"}, QDir::Files, QDirIterator::Subdirectories).hasNext());
    }
};

VQ_TEST_MAIN(TstWindow)
#include "tst_window.moc"
