// One-key print: the port loop's spacing and stop checks on a scripted clock,
// the page's geometry and pixels. The end-to-end run is in tst_onekeyprint_e2e.
#include "cvqonekeyprinttrd.h"
#include "vqonekeypage.h"
#include "vqportloop.h"

#include "vqtestsupport.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

namespace {
using StateMap = QMap<QString, CvqState>;

CvqState printer(const QString& port, bool connected = true)
{
    CvqState s;
    s.connected = connected;
    s.vqComName = port;
    return s;
}

// A loop on a scripted clock: each wait advances the tick; the loop is told
// to stop once the poll cycles run out.
struct CvqScriptedLoop
{
    QList<StateMap> cycles;
    quint32 now = 0;
    QStringList log;  // "pass PORT@tick" and "wait MS"

    void run()
    {
        CvqPortLoopSeams seams;
        int polled = 0;
        seams.poll = [&] { return cycles.value(polled++); };
        seams.tick = [&] { return now; };
        seams.wait = [&](int ms) {
            if (ms > 0) {
                log << QStringLiteral("wait %1").arg(ms);
                now += quint32(ms);
            }
            return polled > cycles.size();
        };
        vqRunPortLoop([&](const CvqState& s) {
            log << QStringLiteral("pass %1@%2").arg(s.vqComName).arg(now);
            now += 100;  // a pass takes a while
        }, seams);
    }
};
}  // namespace

class TstOneKeyPrint : public QObject
{
    Q_OBJECT

    // Qt's own pipeline, as one would write it first.
    static QImage plainPicture(const QImage& grab)
    {
        QImage gray = grab.convertToFormat(QImage::Format_Grayscale8);
        if (gray.height() < gray.width())
            gray = gray.transformed(QTransform().rotate(90), Qt::FastTransformation);
        const QSize fit = vqPageFit(gray.width(), gray.height());
        return gray.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_Grayscale8);
    }

private slots:
    void loop_data()
    {
        QTest::addColumn<QList<StateMap>>("cycles");
        QTest::addColumn<quint32>("start");
        QTest::addColumn<QStringList>("log");
        const StateMap two{{"a", printer("COM3")}, {"b", printer("COM4")}};
        QTest::newRow("two ports, both served each cycle, each spaced")
            << QList<StateMap>{two, two} << 0u
            << QStringList{"pass COM3@0", "pass COM4@100", "wait 800", "pass COM3@1000", "pass COM4@1100"};
        const StateMap shared{{"a", printer("COM3")}, {"b", printer("COM3")}};
        QTest::newRow("one port named twice is still spaced")
            << QList<StateMap>{shared} << 0u << QStringList{"pass COM3@0", "wait 900", "pass COM3@1000"};
        const StateMap idle{{"a", printer("")}, {"b", printer("COM5", false)}};
        QTest::newRow("no port or not connected: never served, the cycle waits")
            << QList<StateMap>{idle, StateMap()} << 0u << QStringList{"wait 1000", "wait 1000"};
        QTest::newRow("the tick wraps: no wait")
            << QList<StateMap>{StateMap{{"a", printer("COM3")}}, StateMap{{"a", printer("COM3")}}} << 0xFFFFFFF0u
            << QStringList{"pass COM3@4294967280", "pass COM3@84"};
    }
    void loop()
    {
        QFETCH(QList<StateMap>, cycles);
        QFETCH(quint32, start);
        CvqScriptedLoop l;
        l.cycles = cycles;
        l.now = start;
        l.run();
        QTEST(l.log, "log");
    }

    void fit_data()
    {
        QTest::addColumn<QSize>("upright");
        QTest::addColumn<QSize>("fit");
        QTest::newRow("landscape screen, turned") << QSize(1080, 1920) << QSize(3855, 6854);
        QTest::newRow("portrait wider than the box") << QSize(1080, 1200) << QSize(4800, 5333);
        QTest::newRow("exactly the box") << QSize(4800, 6854) << QSize(4800, 6854);
        QTest::newRow("one pixel") << QSize(1, 1) << QSize(4800, 4800);
        QTest::newRow("a hair: degenerate") << QSize(1, 100000) << QSize(0, 6854);
        QTest::newRow("empty") << QSize(0, 0) << QSize();
    }
    void fit()
    {
        QFETCH(QSize, upright);
        QTEST(vqPageFit(upright.width(), upright.height()), "fit");
    }

    // Ours must give Qt's pixels to the bit, enlarging or not.
    void picture_data()
    {
        QTest::addColumn<QSize>("grab");
        QTest::newRow("1920x1080") << QSize(1920, 1080);
        QTest::newRow("odd portrait") << QSize(37, 53);
        QTest::newRow("one pixel") << QSize(1, 1);
        QTest::newRow("larger than the box: shrunk") << QSize(9000, 5000);
    }
    void picture()
    {
        QFETCH(QSize, grab);
        QImage img(grab, QImage::Format_RGB32);
        QRandomGenerator rng(grab.width());
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                img.setPixel(x, y, 0xff000000u | (rng.generate() & 0xffffffu));
        const QImage ours = vqPagePicture(img).convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(ours.size(), vqPageFit(qMin(grab.width(), grab.height()), qMax(grab.width(), grab.height())));
        QVERIFY(ours == plainPicture(img));
    }

    // The page itself: white margins, the picture at its place, 8-bit gray.
    void page()
    {
        QImage grab(1920, 1080, QImage::Format_RGB32);
        grab.fill(Qt::black);
        const QImage page = QImage::fromData(vqPagePng(vqPagePicture(grab)), "PNG");
        QCOMPARE(page.size(), QSize(vqPageWidth, vqPageHeight));
        QCOMPARE(page.format(), QImage::Format_Grayscale8);
        QCOMPARE(page.copy(552, 80, 3855, 6854), page.copy(552, 80, 3855, 6854).convertToFormat(QImage::Format_Grayscale8));
        for (const QPoint& p : {QPoint(551, 80), QPoint(552, 79), QPoint(4407, 6933), QPoint(552, 6934)})
            QCOMPARE(qGray(page.pixel(p)), 255);
        for (const QPoint& p : {QPoint(552, 80), QPoint(4406, 6933)})
            QCOMPARE(qGray(page.pixel(p)), 0);
        QVERIFY(vqPagePng(vqPagePicture(QImage())).isEmpty());
        QVERIFY(vqPagePicture(QImage(1, 100000, QImage::Format_RGB32)).isNull());
    }
};

QTEST_MAIN(TstOneKeyPrint)
#include "tst_onekeyprint.moc"
