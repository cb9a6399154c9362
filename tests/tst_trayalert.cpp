// The tray alert: one per process, bottom-right above the task bar. Dragging
// (the movable widget base) is exercised through the main window.
#include "cvqlangmgr.h"
#include "fvqmytrayalert.h"
#include "vqtestsupport.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

namespace {
QLabel* label(const char* name) { return vqTrayAlert()->findChild<QLabel*>(name); }
bool inCorner(QWidget* w)
{
    return w->geometry().bottomRight() == QGuiApplication::primaryScreen()->availableGeometry().bottomRight();
}
}

class TstTrayAlert : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { vqInitResources(); }
    void cleanup() { vqCloseTrayAlert(); }

    // The first alert: bottom-right, frameless on top, texts shown as plain text.
    void form()
    {
        const QString title = "<b>x</b>", message = "<img src=\"file:///etc/passwd\">";
        vqShowTrayAlert(title, message);
        FvqMyTrayAlert* a = vqTrayAlert();
        QVERIFY(a);
        QVERIFY(a->isVisible());
        QVERIFY(inCorner(a));
        QCOMPARE(a->windowTitle(), vqMonitorTitle);
        QCOMPARE(a->windowFlags() & (Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
                 Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        // Closing the alert alone must not end a monitor that lives in the tray.
        QVERIFY(!a->testAttribute(Qt::WA_QuitOnClose));
        QCOMPARE(label("lblTitle")->text(), title);
        QCOMPARE(label("lblMsg")->text(), message);
        QCOMPARE(label("lblTitle")->textFormat(), Qt::PlainText);
        QCOMPARE(label("lblMsg")->textFormat(), Qt::PlainText);
    }

    void reusedUntilClosed()
    {
        vqShowTrayAlert("first", "one");
        FvqMyTrayAlert* a = vqTrayAlert();
        const QPoint at = a->pos();
        vqShowTrayAlert("second", "two");
        QCOMPARE(vqTrayAlert(), a);
        QCOMPARE(a->pos(), at);
        QCOMPARE(label("lblTitle")->text() + '|' + label("lblMsg")->text(), QString("second|two"));
        int alerts = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            alerts += qobject_cast<FvqMyTrayAlert*>(top) != nullptr;
        QCOMPARE(alerts, 1);
        // OK only hides it.
        QTest::mouseClick(a->findChild<QPushButton*>("btnOk"), Qt::LeftButton);
        QVERIFY(!a->isVisible());
        vqShowTrayAlert("third", "three");
        QCOMPARE(vqTrayAlert(), a);
        QVERIFY(a->isVisible());
        // Closed, it is gone; the next one starts again in the corner.
        QPointer<FvqMyTrayAlert> first = a;
        a->move(10, 10);  // dragged away
        vqCloseTrayAlert();
        vqCloseTrayAlert();  // nothing left to close
        QVERIFY(vqTrayAlert() == nullptr);
        QVERIFY(first.isNull());
        vqShowTrayAlert("c", "d");
        QVERIFY(vqTrayAlert() && inCorner(vqTrayAlert()));
        QCOMPARE(label("lblTitle")->text(), QString("c"));
    }
};

VQ_TEST_MAIN(TstTrayAlert)
#include "tst_trayalert.moc"
