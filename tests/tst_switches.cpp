// The window starts exactly the service threads its build switches turn on and
// joins them when it goes, even mid-cycle. Built twice: the shipped switches and all on.
#include "fvqmain.h"
#include "vqcountinghost.h"
#include "vqswitches.h"
#include "vqtestsupport.h"

#include <QtTest>

class TstSwitches : public QObject
{
    Q_OBJECT

private slots:
    // The offscreen platform has no tray.
    void initTestCase() { vqAllowWarnings({"systemTrayWindowChanged"}); }
    void threads()
    {
        CvqTempSimHost tree;  // no printer: the services only poll
        CvqCountingSimHost host;
        host.holdNextMs = 400;  // the first device listing takes a while
        CvqHostScope scope(&host);
        QList<QPointer<QThread>> running;
        {
            FvqMain w;
            for (QThread* t : w.findChildren<QThread*>())
                if (t->isRunning())
                    running << t;
            // The core thread, then one per service switched on.
            QCOMPARE(running.size(), 1 + int(vqOneKeyPrintEnabled) + int(vqScanToPcEnabled) + int(vqLanUpRomEnabled));
            QVERIFY(host.entered.tryAcquire(1, 20000));
        }                          // closed while that listing is in flight
        QVERIFY(host.cycles > 0);  // it ended first
        for (const QPointer<QThread>& t : running)
            QVERIFY(t.isNull());  // joined and deleted with the window
    }
};

VQ_TEST_MAIN(TstSwitches)
#include "tst_switches.moc"
