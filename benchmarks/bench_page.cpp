// The one-key print page (grayscale, rotate, scale, canvas, PNG bytes) from a
// 1920 x 1080 screen-like and a noise picture: the monitor's pipeline against
// the straightforward Qt one in the same run, checking the pixels are equal.
// On a real display (e.g. under Xvfb) the screen grab is timed too.
// Usage: bench_page [rounds]
#include "vqonekeypage.h"
#include "vqscreenlike.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

static QImage noise()
{
    QImage img(1920, 1080, QImage::Format_RGB32);
    QRandomGenerator rng(7);
    for (int y = 0; y < img.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] = 0xff000000u | (rng.generate() & 0xffffffu);
    }
    return img;
}

// What one writes first with Qt: convert, rotate, scale, paint, save.
static QImage plainImage(const QImage& grab)
{
    QImage gray = grab.convertToFormat(QImage::Format_Grayscale8);
    if (gray.height() < gray.width())
        gray = gray.transformed(QTransform().rotate(90), Qt::FastTransformation);
    const QSize fit = vqPageFit(gray.width(), gray.height());
    const QImage scaled = gray.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage page(vqPageWidth, vqPageHeight, QImage::Format_Grayscale8);
    page.fill(Qt::white);
    QPainter p(&page);
    p.drawImage((vqPageWidth - fit.width()) / 2, (vqPageHeight - fit.height()) / 2, scaled);
    p.end();
    return page;
}

static QByteArray plainPng(const QImage& page)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    page.save(&buffer, "PNG");
    return bytes;
}

static double medianMs(int rounds, const std::function<void()>& f)
{
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QImage shot;
        const double ms = medianMs(rounds, [&] { shot = s->grabWindow(0).toImage(); });
        if (!shot.isNull())
            std::printf("grab %dx%d: %.1f ms\n", shot.width(), shot.height(), ms);
    }
    std::printf("%-12s %9s %9s %6s %9s %9s %9s %9s %s\n", "picture", "plain ms", "ours ms", "ratio", "image ms",
                "png ms", "plain KB", "ours KB", "pixels");
    bool allSame = true;
    for (const auto& named : {std::make_pair("screen-like", vqScreenLike()), std::make_pair("noise", noise())}) {
        const QImage& grab = named.second;
        QByteArray plain, ours;
        QImage plainPage, picture;
        const double tp = medianMs(rounds, [&] { plain = plainPng(plainPage = plainImage(grab)); });
        const double to = medianMs(rounds, [&] { ours = vqPagePng(picture = vqPagePicture(grab)); });
        const double toImage = medianMs(rounds, [&] { picture = vqPagePicture(grab); });
        const double toPng = medianMs(rounds, [&] { ours = vqPagePng(picture); });
        QImage a = QImage::fromData(plain, "PNG"), b = QImage::fromData(ours, "PNG");
        const bool same =
            a == b && a.format() == QImage::Format_Grayscale8 && a.size() == QSize(vqPageWidth, vqPageHeight);
        allSame = allSame && same;
        std::printf("%-12s %9.1f %9.1f %6.2f %9.1f %9.1f %9lld %9lld %s\n", named.first, tp, to, to / tp, toImage,
                    toPng, qint64(plain.size() / 1024), qint64(ours.size() / 1024), same ? "equal" : "DIFFERENT");
    }
    return allSame ? 0 : 1;
}
