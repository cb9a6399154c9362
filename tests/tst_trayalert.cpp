// The tray alert (one per process, bottom-right above the task bar) and the
// movable widget base of the frameless windows.
#include "cvqlangmgr.h"
#include "fvqmytrayalert.h"
#include "qvqmovablewidget.h"
#include "vqtestsupport.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

namespace {
QPoint corner(const QSize& size)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    return QPoint(area.right() - size.width() + 1, area.bottom() - size.height() + 1);
}
QString text(const char* name)
{
    return vqTrayAlert()->findChild<QLabel*>(name)->text();
}
void send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button)
{
    QMouseEvent e(type, pos, button, type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
}

class TstTrayAlert : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { vqInitResources(); }
    void cleanup() { vqCloseTrayAlert(); }

    void form();
    void showsMessage_data();
    void showsMessage();
    void secondAlertOverwrites();
    void okHidesAndReuses();
    void closeThenShowAgain();
    void closeWithoutAlert();
    void drag_data();
    void drag();
    void dragAreaFixedAtConstruction();
};

void TstTrayAlert::form()
{
    vqShowTrayAlert("t", "m");
    FvqMyTrayAlert* a = vqTrayAlert();
    QVERIFY(a);
    QCOMPARE(a->objectName(), QString("FvqMyTrayAlert"));
    QCOMPARE(a->size(), QSize(491, 151));
    QCOMPARE(a->windowTitle(), vqMonitorTitle);
    QCOMPARE(a->windowFlags() & (Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
             Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    QCOMPARE(a->findChild<QLabel*>("lblTitle")->geometry(), QRect(10, 10, 471, 31));
    QCOMPARE(a->findChild<QLabel*>("lblMsg")->geometry(), QRect(10, 40, 471, 81));
    QPushButton* ok = a->findChild<QPushButton*>("btnOk");
    QCOMPARE(ok->geometry(), QRect(200, 120, 91, 23));
    QCOMPARE(ok->text(), QString::fromUtf8("确认"));
    QCOMPARE(a->findChild<QLabel*>("lblMsg")->alignment(), Qt::AlignCenter);
    QCOMPARE(a->pos(), corner(a->size()));
    // Closing the alert alone must not end a monitor that lives in the tray.
    QVERIFY(!a->testAttribute(Qt::WA_QuitOnClose));
}

void TstTrayAlert::showsMessage_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::newRow("plain") << "P4120W" << "line one\nline two\nline three";
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("markup stays text") << "<b>x</b>" << "<img src=\"file:///etc/passwd\">";
    QTest::newRow("long") << QString(500, 'T') << QString(5000, 'm');
}

void TstTrayAlert::showsMessage()
{
    QFETCH(QString, title);
    QFETCH(QString, message);
    vqShowTrayAlert(title, message);
    QVERIFY(vqTrayAlert()->isVisible());
    QCOMPARE(text("lblTitle"), title);
    QCOMPARE(text("lblMsg"), message);
    QCOMPARE(vqTrayAlert()->findChild<QLabel*>("lblTitle")->textFormat(), Qt::PlainText);
    QCOMPARE(vqTrayAlert()->findChild<QLabel*>("lblMsg")->textFormat(), Qt::PlainText);
    QCOMPARE(vqTrayAlert()->size(), QSize(491, 151));
}

void TstTrayAlert::secondAlertOverwrites()
{
    vqShowTrayAlert("first", "one");
    FvqMyTrayAlert* a = vqTrayAlert();
    const QPoint at = a->pos();
    vqShowTrayAlert("second", "two");
    QCOMPARE(vqTrayAlert(), a);
    QCOMPARE(a->pos(), at);
    QCOMPARE(text("lblTitle"), QString("second"));
    QCOMPARE(text("lblMsg"), QString("two"));
    int alerts = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        alerts += qobject_cast<FvqMyTrayAlert*>(top) != nullptr;
    QCOMPARE(alerts, 1);
}

void TstTrayAlert::okHidesAndReuses()
{
    vqShowTrayAlert("a", "b");
    FvqMyTrayAlert* a = vqTrayAlert();
    QTest::mouseClick(a->findChild<QPushButton*>("btnOk"), Qt::LeftButton);
    QVERIFY(!a->isVisible());
    QCOMPARE(vqTrayAlert(), a);
    vqShowTrayAlert("c", "d");
    QCOMPARE(vqTrayAlert(), a);
    QVERIFY(a->isVisible());
}

void TstTrayAlert::closeThenShowAgain()
{
    vqShowTrayAlert("a", "b");
    QPointer<FvqMyTrayAlert> first = vqTrayAlert();
    first->move(10, 10);  // dragged away
    vqCloseTrayAlert();
    QVERIFY(vqTrayAlert() == nullptr);
    QVERIFY(first.isNull());
    vqShowTrayAlert("c", "d");
    QVERIFY(vqTrayAlert());
    QCOMPARE(vqTrayAlert()->pos(), corner(vqTrayAlert()->size()));
    QCOMPARE(text("lblTitle"), QString("c"));
}

void TstTrayAlert::closeWithoutAlert()
{
    vqCloseTrayAlert();
    vqCloseTrayAlert();
    QVERIFY(vqTrayAlert() == nullptr);
}

void TstTrayAlert::drag_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<int>("button");
    QTest::addColumn<QPoint>("moved");
    QTest::newRow("left inside") << QPoint(10, 10) << int(Qt::LeftButton) << QPoint(25, -5);
    QTest::newRow("left on the far edge") << QPoint(639, 479) << int(Qt::LeftButton) << QPoint(25, -5);
    QTest::newRow("left outside") << QPoint(640, 10) << int(Qt::LeftButton) << QPoint();
    QTest::newRow("left above") << QPoint(10, -1) << int(Qt::LeftButton) << QPoint();
    QTest::newRow("right inside") << QPoint(10, 10) << int(Qt::RightButton) << QPoint();
    QTest::newRow("middle inside") << QPoint(10, 10) << int(Qt::MiddleButton) << QPoint();
}

void TstTrayAlert::drag()
{
    QFETCH(QPoint, press);
    QFETCH(int, button);
    QFETCH(QPoint, moved);
    QvqMovableWidget w;
    w.move(300, 300);
    const Qt::MouseButton b = Qt::MouseButton(button);
    send(&w, QEvent::MouseButtonPress, press, b);
    QCOMPARE(w.vqDragging(), !moved.isNull());
    send(&w, QEvent::MouseMove, press + QPoint(25, -5), b);
    QCOMPARE(w.pos(), QPoint(300, 300) + moved);
    send(&w, QEvent::MouseButtonRelease, press, Qt::RightButton);
    QVERIFY(!w.vqDragging());
}

void TstTrayAlert::dragAreaFixedAtConstruction()
{
    QvqMovableWidget w;
    QCOMPARE(w.vqDragArea(), QRect(0, 0, 640, 480));
    w.resize(1000, 900);
    QCOMPARE(w.vqDragArea(), QRect(0, 0, 640, 480));
    // A fractional press point rounds to the nearest pixel: 639.6 is 640, outside.
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(639.6, 10.2), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
    QVERIFY(!w.vqDragging());
    QMouseEvent f(QEvent::MouseButtonPress, QPointF(639.4, 10.2), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &f);
    QVERIFY(w.vqDragging());
}

QTEST_MAIN(TstTrayAlert)
#include "tst_trayalert.moc"
